#include "formats/ogg/OggPageWalk.h"

#include "ByteOrder.h"
#include "Checksums.h"

#include <cstring>

namespace corvanta::ogg {

namespace {

constexpr int64_t kChecksumAt = 22;

// The page checksum is taken with its own field as zero.
bool checksumMatches(const uint8_t* page, int64_t bytes) {
  static const uint8_t kZeros[4] = {0, 0, 0, 0};
  uint32_t crc = crc32Ogg(page, kChecksumAt);
  crc = crc32Ogg(kZeros, 4, crc);
  crc = crc32Ogg(page + kChecksumAt + 4, bytes - kChecksumAt - 4, crc);
  return crc == loadLe32(page + kChecksumAt);
}

// True when another capture pattern, or the end of the file, follows the page: in a file whose
// every page is damaged, no checksum holds, but the chain of pages still does.
bool chainContinues(const uint8_t* data, int64_t size, const OggPage& page) {
  return page.end == size || (page.end + 4 <= size && std::memcmp(data + page.end, "OggS", 4) == 0);
}

// The next capture pattern from `from` whose page checks, runs past the end of the file, or is
// followed by the next page; or `size`. Reserved flags set rule a candidate out early.
int64_t nextGoodPage(const uint8_t* data, int64_t size, int64_t from) {
  for (int64_t at = from; at + 4 <= size; ++at) {
    const void* found = std::memchr(data + at, 'O', size_t(size - at));
    if (!found) break;
    at = static_cast<const uint8_t*>(found) - data;
    OggPage page;
    if (!pageAt(data, size, at, page) || (page.flags & 0xf8)) continue;
    if (page.cut(size) || page.crc_ok || chainContinues(data, size, page)) return at;
  }
  return size;
}

}  // namespace

bool pageAt(const uint8_t* data, int64_t size, int64_t at, OggPage& page) {
  if (at < 0 || size - at < kPageHeaderBytes || std::memcmp(data + at, "OggS", 4) != 0 || data[at + 4] != 0)
    return false;
  const uint8_t* p = data + at;
  page = OggPage();
  page.begin = at;
  page.flags = p[5];
  page.granule = int64_t(loadLe64(p + 6));
  page.serial = loadLe32(p + 14);
  page.sequence = loadLe32(p + 18);
  page.segments = p[26];
  int64_t end = at + kPageHeaderBytes + page.segments;
  if (end > size) {
    page.end = end;  // the segment table is cut short: what the page holds is not known
    return true;
  }
  for (int i = 0; i < page.segments; ++i) end += p[kPageHeaderBytes + i];
  page.end = end;
  page.crc_ok = end <= size && checksumMatches(p, end - at);
  return true;
}

std::vector<OggPage> walkOggPages(const uint8_t* data, int64_t size) {
  std::vector<OggPage> pages;
  int64_t at = 0;
  while (at < size) {
    OggPage page;
    if (pageAt(data, size, at, page)) {
      pages.push_back(page);
      at = page.end;
      continue;
    }
    OggPage garbage;
    garbage.begin = at;
    garbage.end = nextGoodPage(data, size, at + 1);
    garbage.garbage = true;
    pages.push_back(garbage);
    at = garbage.end;
  }
  return pages;
}

}  // namespace corvanta::ogg
