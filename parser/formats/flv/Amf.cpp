#include "formats/flv/Amf.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"

#include <cmath>
#include <cstring>

namespace corvanta::flv {

namespace {

// Objects inside objects: enough for any real metadata, bounded for a hostile file.
constexpr int kMaxDepth = 24;
// Characters of a string shown in its unit's summary.
constexpr size_t kSummaryChars = 120;

enum Amf0 : uint64_t {
  kNumber0 = 0, kBoolean0 = 1, kString0 = 2, kObject0 = 3, kMovieClip0 = 4, kNull0 = 5, kUndefined0 = 6,
  kReference0 = 7, kEcmaArray0 = 8, kObjectEnd0 = 9, kStrictArray0 = 10, kDate0 = 11, kLongString0 = 12,
  kUnsupported0 = 13, kRecordSet0 = 14, kXmlDocument0 = 15, kTypedObject0 = 16, kAvmPlus0 = 17,
};

const ValueName kAmf0Types[] = {
    {kNumber0, "number"}, {kBoolean0, "boolean"}, {kString0, "string"}, {kObject0, "object"},
    {kMovieClip0, "movieclip (reserved)"}, {kNull0, "null"}, {kUndefined0, "undefined"},
    {kReference0, "reference"}, {kEcmaArray0, "ECMA array"}, {kObjectEnd0, "object end"},
    {kStrictArray0, "strict array"}, {kDate0, "date"}, {kLongString0, "long string"},
    {kUnsupported0, "unsupported"}, {kRecordSet0, "recordset (reserved)"}, {kXmlDocument0, "XML document"},
    {kTypedObject0, "typed object"}, {kAvmPlus0, "AMF3 value"},
};

enum Amf3 : uint64_t {
  kUndefined3 = 0, kNull3 = 1, kFalse3 = 2, kTrue3 = 3, kInteger3 = 4, kDouble3 = 5, kString3 = 6,
  kXmlDocument3 = 7, kDate3 = 8, kArray3 = 9, kObject3 = 10, kXml3 = 11, kByteArray3 = 12, kVectorInt3 = 13,
  kVectorUint3 = 14, kVectorDouble3 = 15, kVectorObject3 = 16, kDictionary3 = 17,
};

const ValueName kAmf3Types[] = {
    {kUndefined3, "undefined"}, {kNull3, "null"}, {kFalse3, "false"}, {kTrue3, "true"},
    {kInteger3, "integer"}, {kDouble3, "double"}, {kString3, "string"}, {kXmlDocument3, "XML document"},
    {kDate3, "date"}, {kArray3, "array"}, {kObject3, "object"}, {kXml3, "XML"}, {kByteArray3, "byte array"},
    {kVectorInt3, "vector of int"}, {kVectorUint3, "vector of uint"}, {kVectorDouble3, "vector of double"},
    {kVectorObject3, "vector of objects"}, {kDictionary3, "dictionary"},
};

std::string shortened(std::string text) {
  if (text.size() > kSummaryChars) {
    size_t cut = kSummaryChars;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // whole characters
    text.resize(cut);
    text += "…";
  }
  return text;
}

// Milliseconds since 1970 as a UTC date, when they are one.
std::string dateText(double milliseconds) {
  if (!std::isfinite(milliseconds) || std::fabs(milliseconds) > 8.64e15) return "not a date";
  const double seconds = std::floor(milliseconds / 1000.0);
  const auto nanoseconds = static_cast<uint32_t>((milliseconds - seconds * 1000.0) * 1e6);
  return unixDateText(static_cast<int64_t>(seconds), nanoseconds);
}

std::string countText(uint64_t count, const char* one, const char* many) {
  return numberText(count) + " " + (count == 1 ? one : many);
}

}  // namespace

// What an array's items were, for its summary.
struct Amf::ArrayTally {
  uint64_t count = 0;
  uint64_t numbers = 0;
  uint64_t problems = 0;
  double first = 0, last = 0;
  std::string problem_text;

  std::string summary() const {
    std::string text = countText(count, "value", "values");
    if (numbers == count && count > 0) text += ", " + floatText(first) + " … " + floatText(last);
    if (problems > 0) text += ", " + numberText(problems) + " of them " + problem_text;
    return text;
  }
};

double Amf::peekDouble() const {
  const uint64_t bits = f.peek(64);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The key of the AMF3 member at the reader, without reading it: members are named by it.
std::string Amf::peekKey3() const {
  const uint8_t* data = f.fileData() + f.bytePos();
  const int64_t available = f.bytesLeft();
  uint64_t header = 0;
  int64_t used = 0;
  for (; used < 4 && used < available; ++used) {
    const uint8_t byte = data[used];
    if (used == 3) {
      header = (header << 8) | byte;
      ++used;
      break;
    }
    header = (header << 7) | (byte & 0x7F);
    if (!(byte & 0x80)) {
      ++used;
      break;
    }
  }
  if (!(header & 1)) return header >> 1 < strings3.size() ? strings3[header >> 1] : std::string();
  const int64_t length = int64_t(header >> 1);
  return length <= available - used ? shortened(utf8Text(data + used, length)) : std::string();
}

bool Amf::enter() {
  if (depth >= kMaxDepth) {
    f.rest("nested", "nested too deep, not decoded");
    f.fail();
    return false;
  }
  ++depth;
  return true;
}

std::string Amf::value0(const std::string& name, int64_t seq) {
  if (!f.has(8)) {
    f.fail();
    return {};
  }
  FieldUnit unit(f, name, seq);
  const uint64_t marker = f.uh("type", 8, [](uint64_t v) { return nameText(kAmf0Types, v); });
  const std::string text = value0Body(marker, name);
  unit.setSummary(text, nameText(kAmf0Types, marker));
  return text;
}

std::string Amf::number(const std::string& key, double value, ArrayTally* tally) {
  AmfNote note;
  if (number_note) note = number_note(key, value);
  if (tally) {
    if (tally->numbers++ == 0) tally->first = value;
    tally->last = value;
    if (note.problem) {
      ++tally->problems;
      tally->problem_text = note.text;
    }
  }
  return note.text;
}

std::string Amf::text0(int length_bits) {
  const uint64_t length = f.u("length", length_bits);
  return shortened(f.fixedString("value", int64_t(length), TextEncoding::Utf8));
}

std::string Amf::value0Body(uint64_t marker, const std::string& key) {
  switch (marker) {
    case kNumber0: {
      if (!f.has(64)) break;
      const double value = peekDouble();
      f.floatBe("value", 64, number(key, value, nullptr));
      return floatText(value);
    }
    case kBoolean0: return f.u("value", 8, f.has(8) && f.peek(8) ? "true" : "false") ? "true" : "false";
    case kString0: return text0(16);
    case kLongString0:
    case kXmlDocument0: return text0(32);
    case kNull0: return "null";
    case kUndefined0: return "undefined";
    case kUnsupported0: return "unsupported";
    case kReference0: return "reference to #" + numberText(f.u("index", 16));
    case kObjectEnd0: return "object end";
    case kDate0: {
      if (!f.has(64 + 16)) break;
      const std::string text = dateText(peekDouble());
      f.floatBe("value", 64, text);
      f.s("time_zone", 16, "minutes, not used");
      return text;
    }
    case kObject0:
    case kEcmaArray0:
    case kTypedObject0: {
      if (!enter()) return {};
      std::string class_name;
      if (marker == kTypedObject0) class_name = text0(16) + ", ";
      if (marker == kEcmaArray0) f.u("count", 32, "as the writer announced it");
      const std::string text = class_name + properties0();
      --depth;
      return text;
    }
    case kStrictArray0: {
      if (!enter()) return {};
      const std::string text = strictArray0(key);
      --depth;
      return text;
    }
    case kAvmPlus0: return value3("AMF3 value", key);
    default: break;
  }
  // A reserved type or a value cut short: its length is unknown, so nothing after it can be read.
  f.fail();
  return {};
}

std::string Amf::peekKey0() const {
  if (!f.has(16)) return {};
  const int64_t length = int64_t(f.peek(16));
  if (!f.has(16 + length * 8)) return {};
  return shortened(utf8Text(f.fileData() + f.bytePos() + 2, length));
}

std::string Amf::properties0() {
  uint64_t count = 0;
  while (f.ok()) {
    if (!f.has(24)) {
      f.fail();
      break;
    }
    if (f.peek(24) == kObjectEnd0) {
      f.u("object_end", 24, "end of the properties");
      break;
    }
    const std::string key = peekKey0();
    FieldUnit property(f, key);
    const uint64_t length = f.u("name_length", 16);
    f.fixedString("name", int64_t(length), TextEncoding::Utf8);
    const uint64_t marker = f.uh("type", 8, [](uint64_t v) { return nameText(kAmf0Types, v); });
    if (!f.ok()) break;
    const std::string text = value0Body(marker, key);
    property.setSummary(text, nameText(kAmf0Types, marker));
    ++count;
  }
  return countText(count, "property", "properties");
}

std::string Amf::strictArray0(const std::string& key) {
  const uint64_t announced = f.u("count", 32);
  ArrayTally tally;
  for (uint64_t i = 0; i < announced && f.ok(); ++i) {
    if (!f.has(8)) {
      f.fail();
      break;
    }
    FieldUnit item(f, "item", int64_t(i));
    const uint64_t marker = f.uh("type", 8, [](uint64_t v) { return nameText(kAmf0Types, v); });
    if (!f.ok()) break;
    std::string text;
    if (marker == kNumber0 && f.has(64)) {
      const double value = peekDouble();
      f.floatBe("value", 64, number(key, value, &tally));
      text = floatText(value);
    } else {
      text = value0Body(marker, key);
    }
    item.setSummary(text, nameText(kAmf0Types, marker));
    ++tally.count;
  }
  return tally.summary();
}

// --- AMF3 -----------------------------------------------------------------------------------

// U29: up to three bytes of 7 bits with a continuation bit, then a byte of 8 bits.
uint64_t Amf::u29(const char* name, const char* hrf) {
  uint64_t value = 0;
  int bytes = 0;
  for (; bytes < 4; ++bytes) {
    if (!f.has((bytes + 1) * 8)) {
      f.fail();
      return 0;
    }
    const uint64_t byte = (f.peek((bytes + 1) * 8)) & 0xFF;
    if (bytes == 3) {
      value = (value << 8) | byte;
      ++bytes;
      break;
    }
    value = (value << 7) | (byte & 0x7F);
    if (!(byte & 0x80)) {
      ++bytes;
      break;
    }
  }
  f.text(name, bytes * 8, numberText(value), hrf ? hrf : "");
  return value;
}

std::string Amf::string3(const char* name) {
  const uint64_t header = u29("header", nullptr);
  if (!f.ok()) return {};
  if (!(header & 1)) {
    const uint64_t index = header >> 1;
    std::string text = index < strings3.size() ? strings3[index] : "unknown string #" + numberText(index);
    return text;
  }
  std::string text = f.fixedString(name, int64_t(header >> 1), TextEncoding::Utf8);
  if (!text.empty() && f.ok()) strings3.push_back(text);
  return text;
}

std::string Amf::value3(const std::string& name, const std::string& key, int64_t seq) {
  if (!f.has(8)) {
    f.fail();
    return {};
  }
  FieldUnit unit(f, name, seq);
  const uint64_t marker = f.uh("type", 8, [](uint64_t v) { return nameText(kAmf3Types, v); });
  if (!f.ok()) return {};
  const std::string text = value3Body(marker, key);
  unit.setSummary(shortened(text), nameText(kAmf3Types, marker));
  return text;
}

std::string Amf::value3Body(uint64_t marker, const std::string& key) {
  switch (marker) {
    case kUndefined3: return "undefined";
    case kNull3: return "null";
    case kFalse3: return "false";
    case kTrue3: return "true";
    case kInteger3: {
      const uint64_t raw = u29("value");
      // 29-bit two's complement.
      return signedText(raw & 0x10000000 ? int64_t(raw) - (int64_t(1) << 29) : int64_t(raw));
    }
    case kDouble3: {
      if (!f.has(64)) break;
      const double value = peekDouble();
      f.floatBe("value", 64, number(key, value, nullptr));
      return floatText(value);
    }
    case kString3: return shortened(string3("value"));
    case kXmlDocument3:
    case kXml3: return bytes3(true);
    case kByteArray3: return bytes3(false);
    case kDate3: {
      const uint64_t header = u29("header");
      if (!(header & 1)) return "reference to #" + numberText(header >> 1);
      if (!f.has(64)) break;
      const std::string text = dateText(peekDouble());
      f.floatBe("value", 64, text);
      return text;
    }
    case kArray3: {
      if (!enter()) return {};
      const std::string text = array3(key);
      --depth;
      return text;
    }
    case kObject3: {
      if (!enter()) return {};
      const std::string text = object3();
      --depth;
      return text;
    }
    case kVectorInt3:
    case kVectorUint3:
    case kVectorDouble3:
    case kVectorObject3: {
      if (!enter()) return {};
      const std::string text = vector3(marker);
      --depth;
      return text;
    }
    case kDictionary3: {
      if (!enter()) return {};
      const std::string text = dictionary3();
      --depth;
      return text;
    }
    default: break;
  }
  f.fail();
  return {};
}

std::string Amf::bytes3(bool as_text) {
  const uint64_t header = u29("header");
  if (!f.ok()) return {};
  if (!(header & 1)) return "reference to #" + numberText(header >> 1);
  const int64_t length = int64_t(header >> 1);
  if (as_text) return shortened(f.fixedString("value", length, TextEncoding::Utf8));
  f.bytes("value", length);
  return countText(uint64_t(length), "byte", "bytes");
}

// Named members until the empty name; each a unit named by its key.
std::string Amf::members3(ArrayTally* tally) {
  uint64_t count = 0;
  while (f.ok()) {
    if (!f.has(8)) {
      f.fail();
      break;
    }
    if (f.peek(8) == 0x01) {
      f.u("end", 8, "empty name: end of the named members");
      break;
    }
    FieldUnit member(f, peekKey3());
    const std::string key = string3("name");
    if (!f.ok()) break;
    const uint64_t marker = f.uh("type", 8, [](uint64_t v) { return nameText(kAmf3Types, v); });
    if (!f.ok()) break;
    const std::string text = value3Body(marker, key);
    member.setSummary(shortened(text), nameText(kAmf3Types, marker));
    ++count;
  }
  if (tally) tally->count += count;
  return countText(count, "named member", "named members");
}

std::string Amf::array3(const std::string& key) {
  const uint64_t header = u29("header");
  if (!f.ok()) return {};
  if (!(header & 1)) return "reference to #" + numberText(header >> 1);
  const std::string named = members3(nullptr);
  ArrayTally tally;
  const uint64_t dense = header >> 1;
  for (uint64_t i = 0; i < dense && f.ok() && f.has(8); ++i) {
    FieldUnit item(f, "item", int64_t(i));
    const uint64_t marker = f.uh("type", 8, [](uint64_t v) { return nameText(kAmf3Types, v); });
    if (!f.ok()) break;
    std::string text;
    if (marker == kDouble3 && f.has(64)) {
      const double value = peekDouble();
      f.floatBe("value", 64, number(key, value, &tally));
      text = floatText(value);
    } else {
      text = value3Body(marker, key);
    }
    item.setSummary(shortened(text), nameText(kAmf3Types, marker));
    ++tally.count;
  }
  if (dense > tally.count && f.ok()) f.fail();
  return tally.summary() + ", " + named;
}

bool Amf::traits3(uint64_t header, Traits& traits) {
  if ((header & 3) == 1) {
    const uint64_t index = header >> 2;
    if (index >= traits3_table.size()) return false;
    traits = traits3_table[index];
    return true;
  }
  traits.externalizable = (header & 4) != 0;
  traits.dynamic = (header & 8) != 0;
  string3("class_name");
  const uint64_t sealed = header >> 4;
  for (uint64_t i = 0; i < sealed && f.ok(); ++i) traits.sealed.push_back(string3("sealed_name"));
  if (!f.ok()) return false;
  traits3_table.push_back(traits);
  return true;
}

std::string Amf::object3() {
  const uint64_t header = u29("header");
  if (!f.ok()) return {};
  if (!(header & 1)) return "reference to #" + numberText(header >> 1);
  Traits traits;
  if (!traits3(header, traits) || traits.externalizable) {
    // Externalizable objects are read by their class's own code; nothing here knows it.
    f.rest("externalizable", "class-specific data, not decoded");
    f.fail();
    return {};
  }
  for (const std::string& name : traits.sealed) {
    if (!f.ok()) break;
    value3(name.empty() ? std::string("member") : name, name);
  }
  std::string text = countText(traits.sealed.size(), "sealed member", "sealed members");
  if (traits.dynamic) text += ", " + members3(nullptr);
  return text;
}

std::string Amf::vector3(uint64_t marker) {
  const uint64_t header = u29("header");
  if (!f.ok()) return {};
  if (!(header & 1)) return "reference to #" + numberText(header >> 1);
  const uint64_t count = header >> 1;
  f.u("fixed_vector", 8);
  if (marker == kVectorObject3) string3("type_name");
  const int item_bits = marker == kVectorDouble3 ? 64 : 32;
  uint64_t read = 0;
  for (; read < count && f.ok() && f.has(8); ++read) {
    if (marker == kVectorObject3)
      value3("item", {}, int64_t(read));
    else if (marker == kVectorDouble3)
      f.floatBe("item", 64, {}, int64_t(read));
    else if (marker == kVectorInt3)
      f.s("item", item_bits, {}, int64_t(read));
    else
      f.u("item", item_bits, {}, int64_t(read));
  }
  if (read < count && f.ok()) f.fail();
  return countText(read, "item", "items");
}

std::string Amf::dictionary3() {
  const uint64_t header = u29("header");
  if (!f.ok()) return {};
  if (!(header & 1)) return "reference to #" + numberText(header >> 1);
  const uint64_t count = header >> 1;
  f.u("weak_keys", 8);
  uint64_t read = 0;
  for (; read < count && f.ok() && f.has(8); ++read) {
    FieldUnit entry(f, "entry", int64_t(read));
    value3("key", {});
    value3("value", {});
  }
  if (read < count && f.ok()) f.fail();
  return countText(read, "entry", "entries");
}

}  // namespace corvanta::flv
