#pragma once

#include "formats/matroska/MatroskaEbml.h"
#include "formats/matroska/MatroskaElements.h"

#include <cstdint>

namespace corvanta::matroska {

class SegmentInfo;
struct TrackInfo;

// The master element whose children are being walked, with the facts its children need that
// the walk looked up ahead.
struct Scope {
  uint32_t id = kRoot;
  bool unknown_size = false;
  bool truncated = false;       // its declared size runs past its parent or the file
  int depth = 0;
  int64_t data = 0;             // first byte of its data
  int64_t end = 0;              // end of its data as declared; while the size is unknown, the most it may take
  int64_t data_end = 0;         // where its data really ends (its unit's end), once measured
  const TrackInfo* track = nullptr;  // TrackEntry: the track the CodecPrivate belongs to
  uint32_t seek_target = 0;          // Seek: the ID its SeekID names
  int64_t cluster_data = -1;         // CueTrackPositions: first data byte of the cue's Cluster
  mutable int crc = 0;               // set by a CRC-32 child: 1 ok, 2 mismatch
};

// What the writers of values and summaries may look at.
struct ValueContext {
  const uint8_t* data = nullptr;
  int64_t file_size = 0;
  EbmlLimits limits;
  const SegmentInfo* segment = nullptr;  // the enclosing Segment's look-ahead, or null
  bool has_cluster_timestamp = false;
  int64_t cluster_timestamp = 0;
  uint64_t timestampScale() const;
  int64_t segmentData() const;           // first data byte of the Segment (0 outside one)
};

}  // namespace corvanta::matroska
