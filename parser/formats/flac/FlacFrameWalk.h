#pragma once

#include "codecs/FlacFrame.h"

#include <cstdint>

namespace corvanta::flac {

// One stretch of the frame area: a frame, or bytes that are no frame.
struct FrameStretch {
  int64_t begin = 0;
  int64_t end = 0;
  bool garbage = false;
  codecs::FlacFrameLayout layout;  // of a frame
};

// Finds the frames after the metadata, one at a time. A frame ends where its subframes end when
// its CRC-16 checks there; otherwise at the next frame header whose bytes before it check, so
// that a false sync code inside the audio data never splits a frame; failing that, at the next
// frame header at all. Bytes before a frame header are one garbage stretch, and the walk resumes
// at a header whose whole frame checks.
class FlacFrameWalk {
 public:
  FlacFrameWalk(const uint8_t* data, int64_t size, const codecs::FlacStreamParameters& stream)
      : data(data), size(size), stream(stream) {}

  // The stretch that starts at `at` (< size).
  FrameStretch next(int64_t at) const;

 private:
  // True when a frame header that checks (CRC-8) starts at `at`.
  bool headerAt(int64_t at) const;
  // The end of the frame at `at` whose header is measured in `layout`.
  int64_t frameEnd(int64_t at, const codecs::FlacFrameLayout& layout) const;
  // The next position after `from` where a whole frame checks, or the end of the file.
  int64_t nextGoodFrame(int64_t from) const;

  const uint8_t* data;
  int64_t size;
  codecs::FlacStreamParameters stream;
};

}  // namespace corvanta::flac
