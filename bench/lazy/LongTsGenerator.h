#pragma once

#include <cstdint>
#include <string>

// Writes a long, valid transport stream fast enough to be limited by the disk: several programs,
// each with H.264 video and AAC audio in PES packets (PTS and DTS, a PCR on the video PID at the
// start of each PES packet), PAT, one PMT per program and a DVB SDT repeated every
// kTablesEvery packets, continuity counters in order on every PID. Packets are composed straight
// into a large buffer; the payload bytes are a fixed pattern, which the parser does not decode.
class LongTsGenerator {
 public:
  static constexpr int kPrograms = 3;
  static constexpr int kTablesEvery = 2000;  // packets

  // Writes `bytes` (rounded down to whole packets) to `path`; false with a message in `error`.
  bool write(const std::string& path, int64_t bytes, std::string* error);
};
