#include "formats/isobmff/IsoBmffBox.h"

#include "formats/isobmff/IsoBmffBoxTable.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

namespace corvanta::isobmff {

namespace {

// Declared size of the box at `pos` (0 when the header is not valid), without clamping.
uint64_t declaredSize(const uint8_t* data, int64_t pos, int64_t end, int64_t& header_size) {
  const int64_t room = end - pos;
  if (room < 8) return 0;
  const uint32_t size32 = loadBe32(data + pos);
  const uint32_t type = loadBe32(data + pos + 4);
  header_size = 8;
  uint64_t size = size32;
  if (size32 == 1) {
    if (room < 16) return 0;
    size = loadBe64(data + pos + 8);
    header_size = 16;
  } else if (size32 == 0) {
    size = uint64_t(room);
  }
  if (type == fourCC("uuid")) header_size += 16;
  if (size < uint64_t(header_size) || header_size > room) return 0;
  return size;
}

int64_t nextPlausibleBox(const uint8_t* data, int64_t from, int64_t end) {
  for (int64_t p = from; p + 8 <= end; ++p)
    if (isPlausibleBox(data, p, end)) return p;
  return end;
}

}  // namespace

bool isPlausibleBox(const uint8_t* data, int64_t pos, int64_t end) {
  if (end - pos < 8) return false;
  const uint32_t size32 = loadBe32(data + pos);
  if (size32 == 0) return false;  // "to the end" proves nothing while searching
  if (!isKnownBoxType(loadBe32(data + pos + 4))) return false;
  int64_t header_size = 0;
  const uint64_t size = declaredSize(data, pos, end, header_size);
  return size != 0 && size <= uint64_t(end - pos);
}

BoxItem nextBoxItem(const uint8_t* data, int64_t pos, int64_t end, bool any_type) {
  BoxItem item;
  const int64_t room = end - pos;
  if (room == 4 && loadBe32(data + pos) == 0) {
    item.terminator = true;
    item.garbage_end = end;
    return item;
  }
  int64_t header_size = 0;
  const uint64_t size = declaredSize(data, pos, end, header_size);
  const uint32_t type = room >= 8 ? loadBe32(data + pos + 4) : 0;
  const bool type_ok = any_type || isPrintableFourCC(type) || (type == 0 && size == 8);
  // An unknown code whose size does not fit is more likely junk than a cut-off box.
  const bool fits = size <= uint64_t(room);
  if (size == 0 || !type_ok || (!fits && !any_type && !isKnownBoxType(type))) {
    item.garbage_end = nextPlausibleBox(data, pos + 1, end);
    return item;
  }
  BoxHeader& h = item.header;
  item.is_box = true;
  h.offset = pos;
  h.size32 = loadBe32(data + pos);
  h.type = type;
  h.has_largesize = h.size32 == 1;
  h.has_usertype = type == fourCC("uuid");
  h.payload = pos + header_size;
  h.declared_size = size;
  h.truncated = size > uint64_t(room);
  h.end = h.truncated ? end : pos + int64_t(size);
  return item;
}

bool metaIsFullBox(const uint8_t* data, int64_t payload, int64_t end) {
  if (end - payload < 12) return true;
  const uint32_t first_size = loadBe32(data + payload);
  return !(first_size >= 8 && isKnownBoxType(loadBe32(data + payload + 4)));
}

}  // namespace corvanta::isobmff
