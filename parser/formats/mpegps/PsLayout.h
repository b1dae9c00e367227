#pragma once

#include <cstdint>
#include <vector>

namespace corvanta::mpegps {

inline constexpr uint8_t kPackStartCode = 0xBA, kSystemHeaderCode = 0xBB, kProgramEndCode = 0xB9;

// One stretch of a program stream, found by start-code arithmetic: each unit's length comes
// from its own header.
struct PsUnit {
  enum class Kind : uint8_t { PackHeader, SystemHeader, Packet, ProgramEnd, Garbage };
  Kind kind = Kind::Garbage;
  uint8_t code = 0;       // the start code's last byte (a packet's stream_id)
  bool mpeg1 = false;     // pack header: ISO/IEC 11172-1; packet: in an MPEG-1 pack
  bool truncated = false;   // the declared end lies past the file (end is clamped)
  bool cut = false;         // the declared end led nowhere: cut at the next system start code
  int64_t begin = 0;      // file bytes
  int64_t end = 0;
  int64_t payload_begin = 0;  // packet: the first byte after its PES header (clamped to end)
};

// Walks a program stream from `first` (a pack start code) to the end of the file. Bytes that
// start no unit are one Garbage stretch up to the next pack start code.
std::vector<PsUnit> walkProgramStream(const uint8_t* data, int64_t size, int64_t first);

// The size of a pack header at `at` (12 for MPEG-1, 14 and its stuffing for MPEG-2), or 0 when the
// bytes there are no pack header; may reach past `size`.
int64_t packHeaderSize(const uint8_t* data, int64_t size, int64_t at);

// The first pack start code at or after `from`, or `size`.
int64_t findPackStart(const uint8_t* data, int64_t size, int64_t from);

}  // namespace corvanta::mpegps
