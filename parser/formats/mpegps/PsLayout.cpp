#include "formats/mpegps/PsLayout.h"

#include "codecs/PesHeader.h"

#include <algorithm>
#include <cstring>

namespace corvanta::mpegps {

namespace {

bool startCodeAt(const uint8_t* data, int64_t size, int64_t at) {
  return at >= 0 && at + 4 <= size && data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1;
}

// A unit may follow here: the end of the file, or a system-level start code.
bool unitBoundary(const uint8_t* data, int64_t size, int64_t at) {
  return at == size || (startCodeAt(data, size, at) && data[at + 3] >= kProgramEndCode);
}

}  // namespace

int64_t packHeaderSize(const uint8_t* data, int64_t size, int64_t at) {
  if (!startCodeAt(data, size, at) || data[at + 3] != kPackStartCode || at + 5 > size) return 0;
  const uint8_t first = data[at + 4];
  if ((first >> 6) == 1) return at + 14 <= size ? 14 + (data[at + 13] & 7) : 14;
  if ((first >> 4) == 2) return 12;
  return 0;
}

namespace {

// The first start code at or after `from` whose last byte lies in [lowest, highest], or `size`.
int64_t findStartCode(const uint8_t* data, int64_t size, int64_t from, uint8_t lowest, uint8_t highest) {
  for (int64_t at = std::max<int64_t>(from, 0); at + 4 <= size;) {
    const void* hit = std::memchr(data + at + 2, 1, size_t(size - at - 2));
    if (!hit) break;
    const int64_t one = static_cast<const uint8_t*>(hit) - data;
    if (one + 1 < size && data[one - 1] == 0 && data[one - 2] == 0 && data[one + 1] >= lowest &&
        data[one + 1] <= highest)
      return one - 2;
    at = one - 1;
  }
  return size;
}

}  // namespace

int64_t findPackStart(const uint8_t* data, int64_t size, int64_t from) {
  return findStartCode(data, size, from, kPackStartCode, kPackStartCode);
}

std::vector<PsUnit> walkProgramStream(const uint8_t* data, int64_t size, int64_t first) {
  std::vector<PsUnit> units;
  if (first > 0) units.push_back({PsUnit::Kind::Garbage, 0, false, false, false, 0, std::min(first, size), 0});
  bool mpeg1 = false;
  int64_t at = first;
  while (at < size) {
    PsUnit unit;
    unit.begin = at;
    const uint8_t code = startCodeAt(data, size, at) ? data[at + 3] : 0;
    const int64_t pack = code == kPackStartCode ? packHeaderSize(data, size, at) : 0;
    if (pack > 0) {
      mpeg1 = pack == 12;
      unit.kind = PsUnit::Kind::PackHeader;
      unit.end = at + pack;
    } else if (code == kProgramEndCode) {
      unit.kind = PsUnit::Kind::ProgramEnd;
      unit.end = at + 4;
    } else if (code >= kSystemHeaderCode && at + 6 <= size) {
      unit.kind = code == kSystemHeaderCode ? PsUnit::Kind::SystemHeader : PsUnit::Kind::Packet;
      unit.end = at + 6 + ((int64_t(data[at + 4]) << 8) | data[at + 5]);
    } else {
      // No unit starts here: skip to the next pack, where the stream can be trusted again.
      unit.kind = PsUnit::Kind::Garbage;
      unit.end = findPackStart(data, size, at + 1);
    }
    unit.code = code;
    unit.mpeg1 = mpeg1;
    // A length that leads nowhere is cut at the next system start code inside the unit, which
    // elementary video never holds and other payloads seldom do.
    if (unit.kind == PsUnit::Kind::Packet || unit.kind == PsUnit::Kind::SystemHeader) {
      if (!unitBoundary(data, size, std::min(unit.end, size)) || unit.end > size) {
        const int64_t limit = std::min(unit.end, size);
        const int64_t next = findStartCode(data, limit, at + 6, kProgramEndCode, 0xFF);
        if (next < limit) {
          unit.end = next;
          unit.cut = true;
        }
      }
    }
    if (unit.end > size) {
      unit.end = size;
      unit.truncated = true;
    }
    if (unit.kind == PsUnit::Kind::Packet) {
      const int64_t header = codecs::pesHeaderLength(data + at, unit.end - at, mpeg1);
      unit.payload_begin = std::min(unit.end, at + std::max<int64_t>(header, 6));
    }
    units.push_back(unit);
    at = unit.end;
  }
  return units;
}

}  // namespace corvanta::mpegps
