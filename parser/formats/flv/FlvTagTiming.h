#pragma once

#include <cstdint>

namespace corvanta {
class TimingWriter;
}

namespace corvanta::flv {

// The timing facts of an FLV file: one stream per tag type (audio, video, script data), in
// milliseconds, and one frame per tag that carries one: configuration records and sequence ends
// are no frames. The frame is the tag's data after its codec header (SoundFormat, FrameType,
// AVCPacketType and CompositionTime, or the enhanced header); a video frame's presentation time
// adds its CompositionTime, and its key flag is FrameType 1 (key frame).
class FlvTagTiming {
 public:
  explicit FlvTagTiming(TimingWriter& timing) : timing(timing) {}
  // The tag in [begin, end) of `data`, written as element `element_id`.
  void tag(int64_t element_id, const uint8_t* data, int64_t begin, int64_t end);

 private:
  int& streamOf(uint8_t type) { return type == 8 ? audio : type == 9 ? video : script; }

  TimingWriter& timing;
  int audio = 0, video = 0, script = 0;
};

}  // namespace corvanta::flv
