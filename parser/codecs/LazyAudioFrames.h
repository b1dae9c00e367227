#pragma once

#include "LazyDecoder.h"
#include "codecs/AudioElementaryStream.h"
#include "codecs/AudioFrameScanner.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace corvanta::codecs {

// The frames of an audio elementary stream as lazy units. Frames need nothing from the frames
// before them but their number, so all a frame needs to be decoded again is where it starts: the
// start of every kCheckpointEvery-th frame is kept, and the frames after it are found by the same
// scan the analysis ran.
class LazyAudioFrames : public LazyDecoder {
 public:
  static constexpr int64_t kCheckpointEvery = 64;

  // Frames end at `end` of `data` (the file's end or a trailing tag), as the analysis found them.
  LazyAudioFrames(const uint8_t* data, int64_t end, const AudioFrameKind& kind,
                  std::unique_ptr<AudioFrameDecoder> decoder);

  // The analysis tells every frame it writes, in order.
  void frameWritten(int64_t index, int64_t begin);

  void decode(int64_t unit, const LazyUnitPlace& place) override;
  void bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const override;

 private:
  // The frame `unit` as the analysis's scan found it; false when the scan no longer finds it.
  bool find(int64_t unit, AudioFrameStretch& frame) const;

  const uint8_t* data;
  int64_t end;
  AudioFrameKind kind;
  std::unique_ptr<AudioFrameDecoder> decoder;
  std::vector<int64_t> checkpoints;  // start of frame i * kCheckpointEvery
};

// Writes frame `index` (the stretch `frame`, cut at `end`) as its unit "frame"; returns its id.
int64_t writeAudioFrame(ElementWriter& writer, const uint8_t* data, const AudioFrameStretch& frame, int64_t end,
                        int64_t index, AudioFrameDecoder& decoder);

}  // namespace corvanta::codecs
