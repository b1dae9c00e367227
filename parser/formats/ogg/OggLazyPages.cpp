#include "formats/ogg/OggLazyPages.h"

#include <algorithm>

namespace corvanta::ogg {

OggLazyPages::OggLazyPages(FileBytes file) : context{file, writer(), [](int64_t) {}, {}, true, false, nullptr} {}

void OggLazyPages::decode(int64_t unit, const LazyUnitPlace& place) {
  const int64_t checkpoint = unit / OggWriter::kCheckpointEvery;
  if (unit < 0 || checkpoint >= int64_t(checkpoints.size())) return;
  if (!replay) replay = std::make_unique<OggWriter>(context);
  const int64_t checkpoint_unit = checkpoint * OggWriter::kCheckpointEvery;
  if (next_unit < checkpoint_unit || next_unit > unit) {
    replay->restore(checkpoints[size_t(checkpoint)], pages);
    next_unit = checkpoint_unit;
  }
  LazyUnitPlace anywhere;
  anywhere.high = context.file.size() * 8;
  for (; next_unit < unit; ++next_unit) {
    // Only the stream state these pages leave matters; their rows are dropped.
    writer().startCollecting(anywhere);
    replay->writeNextPage();
  }
  writer().startCollecting(place);
  replay->writeNextPage();
  next_unit = unit + 1;
}

void OggLazyPages::bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const {
  *bit_offset = *bit_size = 0;
  const int64_t checkpoint = unit / OggWriter::kCheckpointEvery;
  if (!pages || unit < 0 || checkpoint >= int64_t(checkpoints.size())) return;
  int64_t number = checkpoint * OggWriter::kCheckpointEvery;
  for (size_t i = checkpoints[size_t(checkpoint)].page; i < pages->size(); ++i) {
    const OggPage& page = (*pages)[i];
    if (page.garbage || number++ < unit) continue;
    *bit_offset = page.begin * 8;
    *bit_size = std::max<int64_t>(std::min(page.end, context.file.size()) - page.begin, 0) * 8;
    return;
  }
}

}  // namespace corvanta::ogg
