#include "formats/flv/FlvLazyTags.h"

#include <algorithm>

namespace corvanta::flv {

FlvLazyTags::FlvLazyTags(FileBytes file, bool decode_frames)
    : context{file, writer(), [](int64_t) {}, {}, true, false, nullptr} {
  context.decode_frames = decode_frames;
}

void FlvLazyTags::decode(int64_t unit, const LazyUnitPlace& place) {
  if (!replay) replay = std::make_unique<FlvWriter>(context);
  replaying.decode(
      writer(), unit, place, context.file.size() * 8, int64_t(checkpoints.size()),
      [this](int64_t checkpoint) { replay->restore(checkpoints[size_t(checkpoint)], stretches); },
      [this] { replay->writeNextTag(); });
}

void FlvLazyTags::bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const {
  *bit_offset = *bit_size = 0;
  const int64_t checkpoint = unit / FlvWriter::kCheckpointEvery;
  if (!stretches || unit < 0 || checkpoint >= int64_t(checkpoints.size())) return;
  int64_t tag = checkpoint * FlvWriter::kCheckpointEvery;
  for (size_t i = checkpoints[size_t(checkpoint)].stretch; i < stretches->size(); ++i) {
    const FlvStretch& stretch = (*stretches)[i];
    if (stretch.garbage) continue;
    if (tag++ < unit) continue;
    const int64_t end = std::min(stretch.end, context.file.size());
    *bit_offset = stretch.begin * 8;
    *bit_size = std::max<int64_t>(end - stretch.begin, 0) * 8;
    return;
  }
}

}  // namespace corvanta::flv
