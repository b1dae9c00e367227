#pragma once

#include "formats/matroska/MatroskaEbml.h"
#include "formats/matroska/MatroskaTrack.h"

#include <cstdint>
#include <vector>

namespace corvanta::matroska {

// What the walk must know of a Segment before it reaches its clusters: the timestamp scale and
// the tracks. Found by a look-ahead over the Segment's top elements (without writing), or
// through its SeekHead when Info or Tracks stand after a cluster of unknown size.
class SegmentInfo {
 public:
  static constexpr uint64_t kDefaultTimestampScale = 1000000;

  // Looks at the Segment whose data spans [data_begin, end).
  void scan(const uint8_t* data, int64_t data_begin, int64_t end, const EbmlLimits& limits);

  int64_t dataBegin() const { return data_begin; }
  // Nanoseconds per segment tick (the default when Info does not say, or says 0).
  uint64_t timestampScale() const { return timestamp_scale; }
  bool hasTimestampScale() const { return found_info; }
  // The track with this number, or null.
  const TrackInfo* track(uint64_t number) const;
  const std::vector<TrackInfo>& tracks() const { return track_list; }

 private:
  void readInfo(const uint8_t* data, const ElementHeader& h, const EbmlLimits& limits);
  void readTracks(const uint8_t* data, const ElementHeader& h, const EbmlLimits& limits);
  void readSeekHead(const uint8_t* data, const ElementHeader& h, const EbmlLimits& limits);

  int64_t data_begin = 0;
  uint64_t timestamp_scale = kDefaultTimestampScale;
  bool found_info = false;
  bool found_tracks = false;
  int64_t info_at = -1, tracks_at = -1;  // file offsets from the SeekHead
  std::vector<TrackInfo> track_list;     // sorted by number
};

}  // namespace corvanta::matroska
