#include "formats/flac/FlacLazyFrames.h"

namespace corvanta::flac {

FlacLazyFrames::FlacLazyFrames(const uint8_t* data, int64_t size, const codecs::FlacStreamParameters& info)
    : size(size), walk(data, size, info), frames(data, size, info) {}

void FlacLazyFrames::frameWritten(int64_t index, int64_t begin) {
  if (index % kCheckpointEvery == 0) checkpoints.push_back(begin);
}

bool FlacLazyFrames::find(int64_t unit, FrameStretch& frame) const {
  const size_t checkpoint = size_t(unit / kCheckpointEvery);
  if (unit < 0 || checkpoint >= checkpoints.size()) return false;
  int64_t index = int64_t(checkpoint) * kCheckpointEvery;
  for (int64_t at = checkpoints[checkpoint]; at < size; at = frame.end) {
    frame = walk.next(at);
    if (frame.garbage) continue;
    if (index++ == unit) return true;
  }
  return false;
}

void FlacLazyFrames::decode(int64_t unit, const LazyUnitPlace& place) {
  FrameStretch frame;
  if (!find(unit, frame)) return;
  writer().startCollecting(place);
  frames.write(writer(), frame, unit);
}

void FlacLazyFrames::bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const {
  FrameStretch frame;
  if (!find(unit, frame)) frame.begin = frame.end = size;
  *bit_offset = frame.begin * 8;
  *bit_size = (frame.end - frame.begin) * 8;
}

}  // namespace corvanta::flac
