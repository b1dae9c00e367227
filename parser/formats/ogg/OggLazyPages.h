#pragma once

#include "FormatModule.h"
#include "LazyDecoder.h"
#include "formats/ogg/OggWriter.h"

#include <memory>
#include <vector>

namespace corvanta::ogg {

// The pages of an Ogg file as lazy units: page N is written again by restoring the writer to the
// checkpoint before it and writing the pages from there, their rows dropped. Reading on from the
// last page written goes on from where the writer stands.
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
  int64_t next_unit = -1;  // the page the replay stands before, -1 when none
};

}  // namespace corvanta::ogg
