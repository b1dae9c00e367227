#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::matroska {

class SegmentInfo;
class MatroskaVideoStreams;
class BlockTiming;

// What a block needs from the walk: its Segment's tracks and timestamp scale, its Cluster's
// timestamp. A function of these and the block's bytes only, so that a block can be decoded
// on its own.
struct BlockContext {
  const SegmentInfo* segment = nullptr;  // null for a block outside any Segment
  bool has_cluster_timestamp = false;
  int64_t cluster_timestamp = 0;         // segment ticks
  bool simple = true;                    // SimpleBlock (with keyframe and discardable flags) or Block
  // The H.264/H.265 streams whose frames are decoded; null to leave every frame one field. The
  // parameter sets a frame brings change what later frames decode to, as in the stream.
  MatroskaVideoStreams* video = nullptr;
  // Where each frame's time and size go; null for none.
  BlockTiming* timing = nullptr;
};

// What the block said, for its summary and its BlockGroup's.
struct BlockFacts {
  bool ok = false;
  uint64_t track = 0;
  int frames = 0;
  bool keyframe = false;
  std::string picture;  // of the first frame, when its codec is decoded: "IDR", "P", ...
  std::string summary;  // "track 1, 0:00:00.064, keyframe, 8 frames (Xiph lacing)"
};

// The data of a SimpleBlock or Block, from the reader's position to its end: track number,
// relative timestamp, flags as bit fields, the lacing header with every frame's size field,
// then each frame as a field numbered from 1.
BlockFacts decodeBlock(FieldReader& f, const BlockContext& context);

}  // namespace corvanta::matroska
