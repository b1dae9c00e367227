#include "codecs/Lyrics3Tag.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"

#include <cstring>

namespace corvanta::codecs {

namespace {

constexpr int64_t kBeginBytes = 11;  // "LYRICSBEGIN"
constexpr int64_t kEndBytes = 15;    // six size digits and "LYRICS200"
constexpr int kFieldSizeDigits = 5;

// The value of `count` decimal digits, or -1 when one is not a digit.
int64_t digitsValue(const uint8_t* p, int count) {
  int64_t value = 0;
  for (int i = 0; i < count; ++i) {
    if (p[i] < '0' || p[i] > '9') return -1;
    value = value * 10 + (p[i] - '0');
  }
  return value;
}

struct FieldName {
  const char* id;
  const char* name;
};

const FieldName kFields[] = {
    {"IND", "Indications"},    {"LYR", "Lyrics"},   {"INF", "Information"}, {"AUT", "Author"},
    {"EAL", "Extended album"}, {"EAR", "Extended artist"}, {"ETT", "Extended title"}, {"IMG", "Images"},
};

std::string fieldName(const std::string& id) {
  for (const FieldName& entry : kFields)
    if (id == entry.id) return entry.name;
  return {};
}

// A number written as decimal digits.
uint64_t digitsField(FieldReader& f, std::string_view name, int count) {
  if (!f.has(count * 8)) {
    f.fail();
    return 0;
  }
  const int64_t value = digitsValue(f.fileData() + f.bytePos(), count);
  f.fixedString(name, count, TextEncoding::Latin1, value < 0 ? "not a number" : "bytes");
  return value < 0 ? 0 : uint64_t(value);
}

}  // namespace

int64_t lyrics3v2BytesBefore(const uint8_t* data, int64_t begin, int64_t end) {
  if (end - begin < kBeginBytes + kEndBytes || std::memcmp(data + end - 9, "LYRICS200", 9) != 0) return 0;
  const int64_t size = digitsValue(data + end - kEndBytes, 6);
  if (size < kBeginBytes || size > end - begin - kEndBytes) return 0;
  const int64_t start = end - kEndBytes - size;
  return std::memcmp(data + start, "LYRICSBEGIN", kBeginBytes) == 0 ? size + kEndBytes : 0;
}

std::string writeLyrics3v2Tag(ElementWriter& writer, const uint8_t* data, int64_t begin, int64_t end) {
  writer.openUnit("Lyrics3v2", begin * 8, (end - begin) * 8);
  FieldReader f(writer, data, begin, end);
  f.fixedString("begin", kBeginBytes, TextEncoding::Latin1);
  FieldReader fields = f.sub(f.bytesLeft() - kEndBytes);
  int64_t count = 0;
  while (fields.ok() && fields.bytesLeft() >= 3 + kFieldSizeDigits) {
    const std::string id = latin1Text(data + fields.bytePos(), 3);
    FieldUnit unit(fields, id, -1);
    fields.fixedString("field_id", 3, TextEncoding::Latin1, fieldName(id));
    const uint64_t size = digitsField(fields, "field_size", kFieldSizeDigits);
    if (!fields.ok()) break;
    const bool cut = size > uint64_t(fields.bytesLeft());
    const std::string value =
        fields.fixedString("value", cut ? fields.bytesLeft() : int64_t(size), TextEncoding::Latin1, cut ? "truncated" : "");
    unit.setSummary(value.substr(0, 60), fieldName(id));
    ++count;
  }
  fields.recover();
  if (fields.bytesLeft() > 0) writer.addGarbage(fields.bitPos(), fields.bitsLeft());
  f.skipPast(fields);
  f.skipBits(fields.endBit() - f.bitPos());
  digitsField(f, "size", 6);
  f.fixedString("end", 9, TextEncoding::Latin1);
  const std::string summary = numberText(uint64_t(count)) + (count == 1 ? " field" : " fields");
  writer.setUnitValue(summary);
  writer.closeUnit();
  return summary;
}

}  // namespace corvanta::codecs
