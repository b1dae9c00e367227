#include "formats/ogg/OggLazyPages.h"

#include <algorithm>

namespace corvanta::ogg {

OggLazyPages::OggLazyPages(FileBytes file) : context{file, writer(), [](int64_t) {}, {}, true, false, nullptr} {}

void OggLazyPages::decode(int64_t unit, const LazyUnitPlace& place) {
  if (!replay) replay = std::make_unique<OggWriter>(context);
  replaying.decode(
      writer(), unit, place, context.file.size() * 8, int64_t(checkpoints.size()),
      [this](int64_t checkpoint) { replay->restore(checkpoints[size_t(checkpoint)], pages); },
      [this] { replay->writeNextPage(); });
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
