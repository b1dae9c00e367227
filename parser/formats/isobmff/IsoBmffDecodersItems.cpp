// Decoders of metadata items (ilst, data, keys) and of the HEIF item boxes.
#include "ElementWriter.h"
#include "formats/isobmff/IsoBmffBox.h"
#include "formats/isobmff/IsoBmffDecoders.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

namespace corvanta::isobmff::decode {

namespace {

const ValueName kDataTypes[] = {
    {0, "binary"}, {1, "UTF-8"}, {2, "UTF-16"}, {13, "JPEG"}, {14, "PNG"}, {21, "signed integer"},
    {22, "unsigned integer"}, {23, "32-bit float"}, {24, "64-bit float"}, {27, "BMP"},
    {28, "QuickTime metadata atom"},
};

std::string textAt(const uint8_t* data, int64_t begin, int64_t end) {
  return std::string(reinterpret_cast<const char*>(data + begin), size_t(end - begin));
}

// The value of a 'data' box as text, for the box itself and for its item's summary.
std::string dataValue(const uint8_t* data, uint32_t type, int64_t begin, int64_t end) {
  const int64_t size = end - begin;
  if (type == 1) return textAt(data, begin, end);
  if ((type == 21 || type == 22 || type == 0) && (size == 1 || size == 2 || size == 4 || size == 8)) {
    uint64_t value = 0;
    for (int64_t i = begin; i < end; ++i) value = (value << 8) | data[i];
    if (type == 21 && size < 8 && (value >> (size * 8 - 1)) & 1) value |= ~uint64_t(0) << (size * 8);
    return type == 21 ? signedText(int64_t(value)) : numberText(value);
  }
  return hexDump(data + begin, size);
}

void writeFieldsSized(FieldReader& f, const char* name, int bits) {
  if (bits > 0) f.u(name, bits);
}

}  // namespace

void data(BoxScope& b) {
  FieldReader& f = b.f;
  f.u("reserved", 8);
  const uint32_t type = uint32_t(f.uh("data_type", 24, [](uint64_t v) { return nameText(kDataTypes, v); }));
  f.u("locale", 32);
  if (!f.ok()) return;
  const int64_t begin = f.bytePos(), end = f.endByte();
  const std::string value = dataValue(f.fileData(), type, begin, end);
  if (type == 1 || type == 21 || type == 22 || (type == 0 && end - begin <= 8))
    f.text("value", (end - begin) * 8, value);
  else
    f.rest("value");
  b.summary = value;
}

void ilstItem(BoxScope& b) {
  // The item's value is in its first 'data' child; shown here so that the list reads at a glance.
  const uint8_t* bytes = b.f.fileData();
  int64_t pos = b.f.bytePos();
  const int64_t end = b.f.endByte();
  b.summary = fourCCText(b.box.type);
  for (int guard = 0; guard < 16 && pos + 16 <= end; ++guard) {
    const BoxItem item = nextBoxItem(bytes, pos, end);
    if (!item.is_box) return;
    if (item.header.type == fourCC("data") && item.header.payload + 8 <= item.header.end) {
      const uint32_t type = loadBe32(bytes + item.header.payload) & 0xffffff;
      b.summary += ": " + dataValue(bytes, type, item.header.payload + 8, item.header.end);
      return;
    }
    pos = item.header.end;
  }
}

void keys(BoxScope& b) {
  FieldReader& f = b.f;
  const uint64_t count = f.u("entry_count", 32);
  for (uint64_t i = 1; i <= count && f.ok() && f.bytesLeft() >= 8; ++i) {
    const uint64_t size = f.peek(32);
    if (size < 8 || int64_t(size) > f.bytesLeft()) {
      f.rest("data", "key size does not fit");
      return;
    }
    f.writer().openUnit("entry", f.bitPos(), int64_t(size) * 8, {}, {}, int64_t(i));
    f.u("key_size", 32);
    f.fourcc("key_namespace");
    const std::string key = textAt(f.fileData(), f.bytePos(), f.bytePos() + int64_t(size) - 8);
    f.text("key_value", (int64_t(size) - 8) * 8, key);
    f.writer().setUnitValue(key);
    f.writer().closeUnit();
  }
}

void text(BoxScope& b) {
  const int64_t begin = b.f.bytePos(), end = b.f.endByte();
  b.summary = textAt(b.f.fileData(), begin, end);
  b.f.text(b.box.type == fourCC("mean") ? "meaning" : "name", (end - begin) * 8, b.summary);
}

void pitm(BoxScope& b) {
  const uint64_t id = b.f.u("item_ID", b.version == 0 ? 16 : 32);
  b.summary = "Primary item " + numberText(id);
}

void iinf(BoxScope& b) {
  const uint64_t count = b.f.u("entry_count", b.version == 0 ? 16 : 32);
  b.summary = "Item information, " + numberText(count) + " items";
}

void infe(BoxScope& b) {
  FieldReader& f = b.f;
  if (b.version < 2) {
    const uint64_t id = f.u("item_ID", 16);
    f.u("item_protection_index", 16);
    const std::string name = f.cstring("item_name");
    const std::string type = f.cstring("content_type");
    if (f.bytesLeft() > 0) f.cstring("content_encoding");
    b.summary = "Item " + numberText(id) + " " + type + (name.empty() ? "" : " \"" + name + "\"");
    return;
  }
  const uint64_t id = f.u("item_ID", b.version == 2 ? 16 : 32);
  f.u("item_protection_index", 16);
  const uint32_t type = f.fourcc("item_type");
  const std::string name = f.ok() && f.bytesLeft() > 0 ? f.cstring("item_name") : std::string();
  if (type == fourCC("mime") && f.ok() && f.bytesLeft() > 0) {
    f.cstring("content_type");
    if (f.bytesLeft() > 0) f.cstring("content_encoding");
  } else if (type == fourCC("uri ") && f.ok() && f.bytesLeft() > 0) {
    f.cstring("item_uri_type");
  }
  b.summary = "Item " + numberText(id) + " " + fourCCText(type) + (name.empty() ? "" : " \"" + name + "\"");
}

void iloc(BoxScope& b) {
  FieldReader& f = b.f;
  const int offset_bits = int(f.u("offset_size", 4)) * 8;
  const int length_bits = int(f.u("length_size", 4)) * 8;
  const int base_bits = int(f.u("base_offset_size", 4)) * 8;
  const bool indexed = b.version == 1 || b.version == 2;
  const int index_bits = indexed ? int(f.u("index_size", 4)) * 8 : 0;
  if (!indexed) f.u("reserved", 4);
  auto valid = [](int bits) { return bits == 0 || bits == 32 || bits == 64; };
  if (!valid(offset_bits) || !valid(length_bits) || !valid(base_bits) || !valid(index_bits)) {
    f.rest("data", "field sizes must be 0, 4 or 8 bytes");
    return;
  }
  const uint64_t count = f.u("item_count", b.version < 2 ? 16 : 32);
  ElementWriter& w = f.writer();
  for (uint64_t i = 1; i <= count && f.ok() && f.bytesLeft() > 0; ++i) {
    const int64_t start = f.bitPos();
    w.openUnit("item", start, f.bitsLeft(), {}, {}, int64_t(i));
    const uint64_t id = f.u("item_ID", b.version < 2 ? 16 : 32);
    if (indexed) {
      f.u("reserved", 12);
      f.u("construction_method", 4, f.peek(4) == 0 ? "file offset" : f.peek(4) == 1 ? "idat offset" : "item offset");
    }
    f.u("data_reference_index", 16, f.peek(16) ? "" : "this file");
    writeFieldsSized(f, "base_offset", base_bits);
    const int extent_bits = index_bits + offset_bits + length_bits;
    const uint64_t extents = f.count("extent_count", 16, extent_bits ? extent_bits : 1);
    for (uint64_t e = 1; e <= extents && f.ok() && extent_bits; ++e) {
      w.openUnit("extent", f.bitPos(), extent_bits, {}, {}, int64_t(e));
      writeFieldsSized(f, "extent_index", index_bits);
      const uint64_t offset = offset_bits ? f.peek(offset_bits) : 0;
      writeFieldsSized(f, "extent_offset", offset_bits);
      const uint64_t length = length_bits ? f.peek(length_bits) : 0;
      writeFieldsSized(f, "extent_length", length_bits);
      w.setUnitValue("offset " + numberText(offset) + ", " + (length ? numberText(length) + " bytes" : "to the end"));
      w.closeUnit();
    }
    w.setUnitValue("item " + numberText(id) + ", " + numberText(extents) + " extents");
    w.closeUnit(f.bitPos() - start);
  }
  b.summary = "Item location, " + numberText(count) + " items";
}

void itemReference(BoxScope& b) {
  FieldReader& f = b.f;
  const int id_bits = b.parent_version == 0 ? 16 : 32;
  const uint64_t from = f.u("from_item_ID", id_bits);
  const uint64_t count = f.count("reference_count", 16, id_bits);
  std::string to;
  for (uint64_t i = 1; i <= count && f.ok(); ++i)
    to += (to.empty() ? "" : ", ") + numberText(f.u("to_item_ID", id_bits, {}, int64_t(i)));
  b.summary = "Reference " + fourCCText(b.box.type) + " from item " + numberText(from) + " to " + to;
}

void ipma(BoxScope& b) {
  FieldReader& f = b.f;
  const int index_bits = (b.flags & 1) ? 15 : 7;
  const uint64_t count = f.u("entry_count", 32);
  ElementWriter& w = f.writer();
  for (uint64_t i = 1; i <= count && f.ok() && f.bytesLeft() > 0; ++i) {
    const int64_t start = f.bitPos();
    w.openUnit("entry", start, f.bitsLeft(), {}, {}, int64_t(i));
    const uint64_t id = f.u("item_ID", b.version < 1 ? 16 : 32);
    const uint64_t associations = f.u("association_count", 8);
    std::string list;
    for (uint64_t a = 1; a <= associations && f.ok(); ++a) {
      const uint64_t essential = f.u("essential", 1, {}, int64_t(a));
      const uint64_t index = f.u("property_index", index_bits, {}, int64_t(a));
      list += (list.empty() ? "" : ", ") + numberText(index) + (essential ? "!" : "");
    }
    w.setUnitValue("item " + numberText(id) + ": properties " + list);
    w.closeUnit(f.bitPos() - start);
  }
  b.summary = "Item property association, " + numberText(count) + " items";
}

void ispe(BoxScope& b) {
  const uint64_t width = b.f.u("image_width", 32);
  const uint64_t height = b.f.u("image_height", 32);
  b.summary = "Image size " + numberText(width) + "x" + numberText(height);
}

void pixi(BoxScope& b) {
  const uint64_t channels = b.f.u("num_channels", 8);
  for (uint64_t i = 1; i <= channels && b.f.ok(); ++i) b.f.u("bits_per_channel", 8, {}, int64_t(i));
}

void irot(BoxScope& b) {
  b.f.u("reserved", 6);
  const uint64_t angle = b.f.uh("angle", 2, [](uint64_t v) { return numberText(v * 90) + "° anticlockwise"; });
  b.summary = "Image rotation " + numberText(angle * 90) + "°";
}

void auxC(BoxScope& b) {
  b.summary = "Auxiliary type " + b.f.cstring("aux_type");
  b.f.rest("aux_subtype");
}

}  // namespace corvanta::isobmff::decode
