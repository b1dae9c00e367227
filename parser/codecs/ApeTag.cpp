#include "codecs/ApeTag.h"

#include "ByteOrder.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"

#include <cstring>

namespace corvanta::codecs {

namespace {

constexpr int64_t kHeaderBytes = 32;
constexpr uint32_t kHasHeader = 1u << 31, kHasNoFooter = 1u << 30, kIsHeader = 1u << 29;

bool isPreamble(const uint8_t* p) {
  return std::memcmp(p, "APETAGEX", 8) == 0;
}


std::string versionHrf(uint64_t version) {
  return version == 1000 ? "APEv1" : version == 2000 ? "APEv2" : "unknown version";
}

// The header or footer; returns its flags.
uint32_t headerOrFooter(FieldReader& f, std::string_view name) {
  FieldUnit unit(f, name);
  f.fixedString("preamble", 8, TextEncoding::Latin1);
  f.uleh("version", 4, versionHrf);
  f.ule("tag_size", 4, "bytes of items and footer");
  f.ule("item_count", 4);
  const uint32_t flags = uint32_t(f.uleh("flags", 4, [](uint64_t v) {
    std::string text;
    if (v & kHasHeader) text += "has a header";
    if (v & kHasNoFooter) text += text.empty() ? "has no footer" : ", has no footer";
    if (v & kIsHeader) text += text.empty() ? "this is the header" : ", this is the header";
    if (v & 1) text += text.empty() ? "read only" : ", read only";
    return text;
  }));
  f.bytes("reserved", 8);
  return flags;
}

std::string itemType(uint64_t flags) {
  static const char* const kTypes[] = {"UTF-8 text", "binary", "external locator", "reserved"};
  return std::string(kTypes[(flags >> 1) & 3]) + (flags & 1 ? ", read only" : "");
}

// One item; false when it cannot be read.
bool item(FieldReader& f, int64_t seq, bool version1) {
  if (f.bytesLeft() < 9) return false;
  const uint64_t size = f.peekLe(4);
  FieldUnit unit(f, "item", seq);
  f.ule("value_size", 4, "bytes");
  const uint64_t flags = f.uleh("item_flags", 4, itemType);
  const std::string key = f.terminatedString("key", TextEncoding::Latin1);
  if (!f.ok()) return false;
  const bool cut = size > uint64_t(f.bytesLeft());
  const int64_t bytes = cut ? f.bytesLeft() : int64_t(size);
  const uint64_t type = version1 ? 0 : (flags >> 1) & 3;
  std::string value;
  if (type == 1) f.bytes("value", bytes, cut ? "truncated" : "");
  else value = f.fixedString("value", bytes, TextEncoding::Utf8, cut ? "truncated" : "");
  unit.setSummary(key, value);
  return !cut;
}

}  // namespace

int64_t apeTagBytesBefore(const uint8_t* data, int64_t begin, int64_t end) {
  if (end - begin < kHeaderBytes || !isPreamble(data + end - kHeaderBytes)) return 0;
  const uint8_t* footer = data + end - kHeaderBytes;
  const uint32_t flags = loadLe32(footer + 20);
  if (flags & kIsHeader) return 0;
  const int64_t size = loadLe32(footer + 12);
  if (size < kHeaderBytes) return 0;
  const int64_t total = size + (flags & kHasHeader ? kHeaderBytes : 0);
  return total <= end - begin ? total : 0;
}

int64_t apeTagBytesAt(const uint8_t* data, int64_t at, int64_t end) {
  if (end - at < kHeaderBytes || !isPreamble(data + at)) return 0;
  const uint32_t flags = loadLe32(data + at + 20);
  const int64_t size = loadLe32(data + at + 12);
  if (!(flags & kIsHeader) || size < kHeaderBytes) return 0;
  return kHeaderBytes + size;
}

std::string writeApeTag(ElementWriter& writer, const uint8_t* data, int64_t begin, int64_t end) {
  writer.openUnit("APE", begin * 8, (end - begin) * 8);
  const bool header_first = end - begin >= kHeaderBytes && isPreamble(data + begin) && (loadLe32(data + begin + 20) & kIsHeader);
  const bool footer_last = end - begin >= (header_first ? 2 : 1) * kHeaderBytes && isPreamble(data + end - kHeaderBytes) &&
                           !(loadLe32(data + end - kHeaderBytes + 20) & kIsHeader);
  const int64_t items_begin = begin + (header_first ? kHeaderBytes : 0);
  const int64_t items_end = footer_last ? end - kHeaderBytes : end;
  const uint8_t* described = footer_last ? data + end - kHeaderBytes : data + begin;
  const uint32_t version = end - begin >= kHeaderBytes ? loadLe32(described + 8) : 0;
  const uint32_t declared_items = end - begin >= kHeaderBytes ? loadLe32(described + 16) : 0;
  if (header_first) {
    FieldReader f(writer, data, begin, items_begin);
    headerOrFooter(f, "header");
  }
  FieldReader items(writer, data, items_begin, std::max(items_begin, items_end));
  int64_t count = 0;
  while (items.ok() && items.bytesLeft() > 0 && uint64_t(count) < declared_items)
    if (!item(items, count++, version == 1000)) break;
  if (items.ok() && items.bytesLeft() > 0) {
    writer.addGarbage(items.bitPos(), items.bitsLeft());
  } else if (!items.ok()) {
    items.recover();
    if (items.bytesLeft() > 0) writer.addGarbage(items.bitPos(), items.bitsLeft());
  }
  if (footer_last) {
    FieldReader f(writer, data, items_end, end);
    headerOrFooter(f, "footer");
  }
  const std::string summary = versionHrf(version) + ", " + numberText(uint64_t(count)) + (count == 1 ? " item" : " items");
  writer.setUnitValue(summary);
  writer.closeUnit();
  return summary;
}

}  // namespace corvanta::codecs
