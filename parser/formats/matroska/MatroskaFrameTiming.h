#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace corvanta {
class TimingWriter;
}

namespace corvanta::matroska {

struct TrackInfo;

// The timing facts of a Matroska file: one stream per track of a Segment (track number, one
// tick = TimestampScale ns), declared at its first block, and one frame per frame of a block,
// laced frames timed by the track's DefaultDuration. Matroska stores presentation times only,
// so the decode time stays unknown.
class BlockTiming {
 public:
  explicit BlockTiming(TimingWriter& timing) : timing(timing) {}

  // A new Segment: its tracks are new streams.
  void newSegment() { streams.clear(); }
  // Frame `index` (0-based) of a block of `track` written as element `element_id`. `ticks` is the
  // block's time in Segment ticks when `timed`; `key` 1, 0 or -1 (a Block, told by its group).
  void frame(int64_t element_id, int64_t byte_offset, int64_t size, uint64_t track_number, const TrackInfo* track,
             uint64_t scale, bool timed, int64_t ticks, int index, int key, char picture_type);
  // A BlockGroup ends: its Block is a key frame when it references no other, and lasts
  // `duration` ticks (BlockDuration) when that is known.
  void groupEnd(bool has_references, bool has_duration, uint64_t duration);
  void groupStart() { group_frames.clear(); }

 private:
  TimingWriter& timing;
  std::unordered_map<uint64_t, int> streams;  // by track number
  std::vector<int64_t> group_frames;          // frame handles of the BlockGroup's Block
};

}  // namespace corvanta::matroska
