#pragma once

#include "LazyDecoder.h"
#include "formats/flac/FlacFrameWalk.h"
#include "formats/flac/FlacFrameWriter.h"

#include <cstdint>
#include <vector>

namespace corvanta::flac {

// The frames of a FLAC file as lazy units. The start of every kCheckpointEvery-th frame is kept;
// the frames after it are found by the same walk the analysis ran.
class FlacLazyFrames : public LazyDecoder {
 public:
  static constexpr int64_t kCheckpointEvery = 64;

  FlacLazyFrames(const uint8_t* data, int64_t size, const codecs::FlacStreamParameters& info);

  // The analysis tells every frame it writes, in order.
  void frameWritten(int64_t index, int64_t begin);

  void decode(int64_t unit, const LazyUnitPlace& place) override;
  void bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const override;

 private:
  bool find(int64_t unit, FrameStretch& frame) const;

  int64_t size;
  FlacFrameWalk walk;
  FlacFrameWriter frames;
  std::vector<int64_t> checkpoints;
};

}  // namespace corvanta::flac
