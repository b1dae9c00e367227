#pragma once

#include "FormatModule.h"
#include "LazyDecoder.h"
#include "formats/flv/FlvWriter.h"

#include <memory>
#include <vector>

namespace corvanta::flv {

// The tags of an FLV file as lazy units: tag N is written again by restoring the writer to the
// checkpoint before it and writing the tags from there, their rows dropped. Reading on from the
// last tag written goes on from where the writer stands.
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
  int64_t next_tag = -1;  // the tag the replay stands before, -1 when none
};

}  // namespace corvanta::flv
