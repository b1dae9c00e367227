#pragma once

#include <cstdint>
#include <string>

namespace corvanta::matroska {

struct ValueContext;

// What stands where a SeekHead or Cues entry points: `found` when an element with one of the
// expected IDs starts at the file offset, and a text that says so or what is wrong ("file offset
// 4151, Info there"; "file offset 4151: no Info there, a Cluster").
struct TargetCheck {
  bool found = false;
  int64_t offset = -1;  // the file offset pointed to, -1 when it does not fit
  std::string text;
};

// A Segment position (SeekPosition, CueClusterPosition) of an element with ID `expected`.
TargetCheck checkSegmentPosition(const ValueContext& context, uint64_t position, uint32_t expected);

// A CueRelativePosition inside the Cluster whose data starts at `cluster_data`: a SimpleBlock
// or BlockGroup must stand there.
TargetCheck checkClusterPosition(const ValueContext& context, int64_t cluster_data, uint64_t position);

// First data byte of the Cluster at a Segment position, or -1 when there is none.
int64_t clusterDataAt(const ValueContext& context, uint64_t position);

}  // namespace corvanta::matroska
