#pragma once

#include <cstdint>
#include <vector>

namespace corvanta::ogg {

constexpr int64_t kPageHeaderBytes = 27;
constexpr uint8_t kContinued = 1, kFirstPage = 2, kLastPage = 4;

// One stretch of an Ogg file: a page (its header values read), or bytes that are no page.
struct OggPage {
  int64_t begin = 0;
  int64_t end = 0;       // as the page declares it: past the end of the file for a page cut short
  bool garbage = false;
  bool crc_ok = false;
  int segments = 0;      // lacing values declared
  uint8_t flags = 0;
  int64_t granule = 0;
  uint32_t serial = 0;
  uint32_t sequence = 0;
  bool cut(int64_t file_size) const { return end > file_size; }
};

// Reads the page header at `at` into `page`; false when no page starts there (no capture pattern,
// an unknown stream_structure_version, or a header cut short by the end of the file).
bool pageAt(const uint8_t* data, int64_t size, int64_t at, OggPage& page);

// Every page of the file in order. A page follows the previous one wherever it starts with a
// capture pattern, its checksum right or not; bytes that do not start a page become one garbage
// stretch up to the next capture pattern whose page checks, is followed by another capture
// pattern (or the end of the file), or is cut short by the end of the file.
std::vector<OggPage> walkOggPages(const uint8_t* data, int64_t size);

}  // namespace corvanta::ogg
