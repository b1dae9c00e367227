#pragma once

#include "FileBytes.h"
#include "LazyDecoder.h"
#include "formats/isobmff/IsoBmffSampleWriter.h"

#include <memory>
#include <vector>

namespace corvanta::isobmff {

class SampleMap;

// The lazy path of an MP4: each sample whose frame is decoded is a lazy unit, numbered in the
// order the analysis wrote them. The analysis tells
// which claim each unit is and, about every kCheckpointEvery units, takes a checkpoint: a copy of
// the frame decoder of each track that decoded a frame since the checkpoint before (the samples
// of all tracks come in file order, so a checkpoint must restore them all; a track that decoded
// nothing keeps its earlier copy). A sample is written again by restoring the checkpoint before it
// and writing the samples from there; reading on from the last sample written goes on from where
// it stands.
class LazySamples : public LazyDecoder {
 public:
  static constexpr int64_t kCheckpointEvery = 64;
  // Copies kept beyond one per kStatesPerUnit units widen the checkpoints' spacing instead: a
  // hostile file of thousands of video tracks must not keep a copy of each at every checkpoint.
  static constexpr int64_t kStatesPerUnit = 8;
  static constexpr int64_t kStatesFloor = 4096;

  LazySamples(FileBytes file, std::shared_ptr<const SampleMap> map, bool decode_frames);

  // The analysis, before it writes claim `claim` of a media data box ending at `mdat_end` as the
  // next unit with `writer`.
  void beforeUnit(SampleWriter& writer, size_t claim, int64_t mdat_end, bool overlap);

  void decode(int64_t unit, const LazyUnitPlace& place) override;
  void bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const override;

 private:
  // Units in a row of one media data box, whose claims follow each other in the map.
  struct Run {
    int64_t first_unit = 0;
    size_t first_claim = 0;
    int64_t mdat_end = 0;
  };
  const Run* runOf(int64_t unit) const;
  size_t claimOf(const Run& run, int64_t unit) const { return run.first_claim + size_t(unit - run.first_unit); }
  // Writes unit `unit`; `only_state`: only for what it leaves in the frame decoders, so a unit
  // that decodes no frame is passed over.
  void writeUnit(int64_t unit, bool only_state = false);

  FileBytes file;
  std::shared_ptr<const SampleMap> map;
  std::vector<Run> runs;
  std::vector<bool> overlaps;  // by unit
  // The last checkpoint at or before `unit`, -1 when none.
  int64_t checkpointBefore(int64_t unit) const;
  void restore(int64_t checkpoint);

  std::vector<int64_t> checkpoint_units;  // the unit each checkpoint stands before, increasing
  // By track: (checkpoint, the decoder's state there) at each checkpoint where it changed.
  std::vector<std::vector<std::pair<int64_t, std::shared_ptr<const codecs::VideoFrameDecoder>>>> states;
  int64_t saved_states = 0;
  SampleWriter replay;
  int64_t next_unit = -1;  // the unit the replay's state stands before, -1 when none
};

}  // namespace corvanta::isobmff
