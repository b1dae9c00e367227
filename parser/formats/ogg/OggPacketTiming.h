#pragma once

#include "formats/ogg/OggStream.h"

#include <cstdint>
#include <unordered_map>

namespace corvanta {
class TimingWriter;
}

namespace corvanta::ogg {

// The timing facts of an Ogg file: one stream per logical stream (serial number), and one frame
// per data packet (header packets are none), on the element of its first piece.
//
// A granule position marks the end of the last packet completed on its page, so the packet after
// it starts there: samples for Vorbis, FLAC and Speex (one tick per sample), samples at 48 kHz
// less the pre-skip for Opus, the frame count for Theora (one tick per frame). Later packets of
// the page follow by their duration where it is cheap to know (an Opus packet's TOC byte, one
// frame of Theora); otherwise their time stays unknown until the next page's granule.
class OggPacketTiming {
 public:
  explicit OggPacketTiming(TimingWriter& timing) : timing(timing) {}

  // Packet `number` of `stream` (its first bytes at `head`, `head_bytes` of them readable),
  // written from element `element_id` on.
  void packet(const OggStreamInfo& stream, int64_t number, int64_t element_id, int64_t byte_offset, int64_t size,
              const uint8_t* head, int64_t head_bytes);
  // A page of `stream` on which at least one packet ends, with its granule position. On the
  // stream's last page the granule cuts the last packet short (the samples after it are padding).
  void pageEnd(const OggStreamInfo& stream, int64_t granule, bool last_page);
  // A first page starts the stream of its serial number anew (a chain).
  void restart(uint32_t serial) { streams.erase(serial); }

 private:
  struct State {
    int stream = 0;
    int64_t next_time;
    int64_t last_frame = -1;  // handle and time of the last frame added
    int64_t last_time;
  };
  State& stateOf(const OggStreamInfo& stream);

  TimingWriter& timing;
  std::unordered_map<uint32_t, State> streams;  // by serial number
};

}  // namespace corvanta::ogg
