#pragma once

#include "FormatModule.h"
#include "LazyDecoder.h"
#include "LazyReplay.h"
#include "formats/flv/FlvWriter.h"

#include <memory>
#include <vector>

namespace corvanta::flv {

// The tags of an FLV file as lazy units, written again by a replay from the checkpoint before them.
class FlvLazyTags : public LazyDecoder {
 public:
  FlvLazyTags(FileBytes file, bool decode_frames);

  std::vector<FlvWriter::Checkpoint> checkpoints;
  std::shared_ptr<const std::vector<FlvStretch>> stretches;

  void decode(int64_t unit, const LazyUnitPlace& place) override;
  void bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const override;

 private:
  ParseContext context;
  std::unique_ptr<FlvWriter> replay;
  LazyReplay replaying{FlvWriter::kCheckpointEvery};
};

}  // namespace corvanta::flv
