#pragma once

#include <cstdint>
#include <unordered_map>

namespace corvanta {
class TimingWriter;
namespace codecs {
struct PesHeaderInfo;
}
}  // namespace corvanta

namespace corvanta::mpegps {

struct PsUnit;

// The timing facts of a program stream: one stream per stream_id (per sub-stream, 0xBDxx, for
// the DVD's private_stream_1), 90 kHz, and one frame per PES packet of an elementary stream:
// its payload bytes and its PTS and DTS where the header has them. Padding, maps, directories
// and private_stream_2 carry no frames.
class PsTiming {
 public:
  explicit PsTiming(TimingWriter& timing) : timing(timing) {}
  // The packet `unit` with header `info` and payload in `data`, written as element `element_id`.
  void packet(int64_t element_id, const PsUnit& unit, const codecs::PesHeaderInfo& info, const uint8_t* data);

 private:
  TimingWriter& timing;
  std::unordered_map<uint32_t, int> streams;  // by stream id, or 0xBD00 + sub-stream id
};

}  // namespace corvanta::mpegps
