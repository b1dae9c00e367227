#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

// The header of a PES packet (ISO/IEC 13818-1, 2.4.3.6), whatever carries it: transport stream
// packets hand over the header's bytes (gathered when they are split), a program stream its
// packs. MPEG-1 system stream headers (ISO/IEC 11172-1, 2.4.3.3) are read too where the carrier
// allows them.
namespace corvanta::codecs {

// What a PES header says, for the summaries of the units around it.
struct PesHeaderInfo {
  uint8_t stream_id = 0;
  uint64_t packet_length = 0;  // PES_packet_length; 0 = not specified (video in a transport stream)
  bool mpeg1 = false;          // MPEG-1 syntax
  bool has_pts = false;
  bool has_dts = false;
  uint64_t pts = 0;            // 90 kHz
  uint64_t dts = 0;
  bool complete = false;       // every field was read
};

// The names of a 33-bit time stamp's unit and of its three parts: {"PTS", {"PTS[32..30]", ...}}.
struct TimeStampNames {
  const char* unit;
  const char* parts[3];
};

// A 33-bit time stamp in three parts, each followed by a marker bit, as PES headers and adaptation
// fields carry PTS, DTS, TREF and DTS_next_AU: a unit over the `prefix_bits` bits of a prefix
// named `prefix_name` (expected `prefix`; none when 0) and the 36 bits of the parts, whose value is
// the whole stamp, readable in seconds of the 90 kHz clock. Returns the stamp.
uint64_t timeStamp(FieldReader& f, const TimeStampNames& names, const char* prefix_name = nullptr, int prefix_bits = 0,
                   uint64_t prefix = 0);

// The bytes the header takes, from packet_start_code_prefix to the first data byte, judged from
// the `available` bytes at `bytes`. When those do not tell yet, the result is larger than
// `available`: gather that many and ask again (the answer only grows). 0 when the bytes do not
// start with a packet start code prefix.
int64_t pesHeaderLength(const uint8_t* bytes, int64_t available, bool mpeg1_allowed);

// Writes the header's fields from the reader's position, up to the first data byte or the end of
// the reader. `mpeg1_allowed`: a header without the MPEG-2 '10' bits is read as MPEG-1.
PesHeaderInfo pesHeader(FieldReader& f, bool mpeg1_allowed = false);

// "stream 0xE0, PTS 1.400000 s, DTS 1.366667 s"
std::string pesHeaderSummary(const PesHeaderInfo& info);

// The readable name of a stream_id: "video stream 0", "private_stream_1", "padding_stream".
std::string streamIdName(uint8_t stream_id);
// False for the stream_ids whose packets carry data right after PES_packet_length
// (program_stream_map, padding_stream, private_stream_2, ECM, EMM, DSMCC, H.222.1 type E,
// program_stream_directory).
bool hasOptionalPesHeader(uint8_t stream_id);

}  // namespace corvanta::codecs
