#include "codecs/LazyAudioFrames.h"

#include "FieldReader.h"

#include <algorithm>

namespace corvanta::codecs {

int64_t writeAudioFrame(ElementWriter& writer, const uint8_t* data, const AudioFrameStretch& frame, int64_t end,
                        int64_t index, AudioFrameDecoder& decoder) {
  // A frame cut short ends where the frames do (at the file's end or a trailing tag).
  const int64_t frame_end = std::min(frame.end, end);
  const int64_t id = writer.openUnit("frame", frame.begin * 8, (frame_end - frame.begin) * 8, {}, {}, index);
  FieldReader f(writer, data, frame.begin, frame_end);
  const std::string summary = decoder.frame(f, index);
  writer.setUnitValue(summary, frame.end > end ? "truncated" : "");
  writer.closeUnit();
  return id;
}

LazyAudioFrames::LazyAudioFrames(const uint8_t* data, int64_t end, const AudioFrameKind& kind,
                                 std::unique_ptr<AudioFrameDecoder> decoder)
    : data(data), end(end), kind(kind), decoder(std::move(decoder)) {}

void LazyAudioFrames::frameWritten(int64_t index, int64_t begin) {
  if (index % kCheckpointEvery == 0) checkpoints.push_back(begin);
}

bool LazyAudioFrames::find(int64_t unit, AudioFrameStretch& frame) const {
  const size_t checkpoint = size_t(unit / kCheckpointEvery);
  if (unit < 0 || checkpoint >= checkpoints.size()) return false;
  // The analysis's scan stood in a chain of frames at every frame it wrote.
  AudioFrameScanner scanner(kind, data, checkpoints[checkpoint], end, true);
  for (int64_t index = int64_t(checkpoint) * kCheckpointEvery; scanner.next(frame);) {
    if (frame.garbage) continue;
    if (index++ == unit) return true;
  }
  return false;
}

void LazyAudioFrames::decode(int64_t unit, const LazyUnitPlace& place) {
  AudioFrameStretch frame;
  if (!find(unit, frame)) return;
  writer().startCollecting(place);
  writeAudioFrame(writer(), data, frame, end, unit, *decoder);
}

void LazyAudioFrames::bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const {
  AudioFrameStretch frame;
  if (!find(unit, frame)) frame = {end, end, true};
  *bit_offset = frame.begin * 8;
  *bit_size = (std::min(frame.end, end) - frame.begin) * 8;
}

}  // namespace corvanta::codecs
