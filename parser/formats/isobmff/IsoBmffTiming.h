#pragma once

#include <cstdint>
#include <vector>

namespace corvanta {
class TimingWriter;
}

namespace corvanta::isobmff {

class SampleMap;
struct Claim;

// The timing facts of an MP4: one stream per track (track ID, media timescale), declared at its
// first sample, and one frame per sample claim as the media data is written.
class SampleTiming {
 public:
  SampleTiming(TimingWriter& timing, const SampleMap& map);
  // A sample claim written as element `element_id` with `size` bytes in the file.
  void sample(int64_t element_id, const Claim& claim, int64_t size, char picture_type);

 private:
  TimingWriter& timing;
  const SampleMap& map;
  std::vector<int> streams;  // by track index, 0 before the first sample
};

}  // namespace corvanta::isobmff
