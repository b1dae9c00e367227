#pragma once

#include "FormatModule.h"
#include "formats/flv/FlvTagBodies.h"
#include "formats/flv/FlvTagTiming.h"
#include "formats/flv/FlvTagWalk.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace corvanta::flv {

// Writes an FLV file: its header, then every tag with the PreviousTagSize after it, and GARBAGE
// where the walk found no tag. On the lazy path each tag is a lazy unit, and what writing tag
// N again needs (the codec state and tag numbers before it) is kept every kCheckpointEvery tags.
class FlvWriter {
 public:
  static constexpr int64_t kCheckpointEvery = 256;

  // What the writer knows before tag kCheckpointEvery * i.
  struct Checkpoint {
    size_t stretch = 0;  // the tag's stretch
    int64_t audio_count = 0, video_count = 0, script_count = 0;
    std::shared_ptr<const FlvTagBodies> bodies;
  };

  explicit FlvWriter(ParseContext& context);

  // The whole file; `checkpoints` (when not null) makes every tag a lazy unit.
  void write(std::vector<Checkpoint>* checkpoints);

  // For writing tags again: the tags found by write(), and going back to a checkpoint; tag
  // `number` (from 0) is then written by writeTag once the tags between have been.
  const std::vector<FlvStretch>& stretches() const { return *walked; }
  void restore(const Checkpoint& checkpoint, std::shared_ptr<const std::vector<FlvStretch>> stretches);
  // Writes the next tag (and the stretches of garbage before it, dropped); its stretch.
  const FlvStretch* writeNextTag();
  std::shared_ptr<const std::vector<FlvStretch>> sharedStretches() const { return walked; }

 private:
  int64_t header();
  void previousTagSize(int64_t at, int64_t tag_size, int64_t seq);
  void tag(const FlvStretch& stretch);
  Checkpoint checkpoint(size_t stretch) const;

  ParseContext& ctx;
  ElementWriter& w;
  const uint8_t* data;
  int64_t size;
  std::shared_ptr<const std::vector<FlvStretch>> walked;
  std::unique_ptr<FlvTagBodies> bodies;
  size_t next_stretch = 0;
  int64_t audio_count = 0, video_count = 0, script_count = 0;
  FlvTagTiming tag_timing;
};

}  // namespace corvanta::flv
