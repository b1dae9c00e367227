#pragma once

#include "FormatModule.h"
#include "LazyDecoder.h"
#include "LazyReplay.h"
#include "formats/ogg/OggWriter.h"

#include <memory>
#include <vector>

namespace corvanta::ogg {

// The pages of an Ogg file as lazy units, written again by a replay from the checkpoint before
// them.
class OggLazyPages : public LazyDecoder {
 public:
  explicit OggLazyPages(FileBytes file);

  std::vector<OggWriter::Checkpoint> checkpoints;
  std::shared_ptr<const std::vector<OggPage>> pages;

  void decode(int64_t unit, const LazyUnitPlace& place) override;
  void bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const override;

 private:
  ParseContext context;
  std::unique_ptr<OggWriter> replay;
  LazyReplay replaying{OggWriter::kCheckpointEvery};
};

}  // namespace corvanta::ogg
