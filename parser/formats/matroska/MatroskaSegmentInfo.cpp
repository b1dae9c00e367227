#include "formats/matroska/MatroskaSegmentInfo.h"

#include "formats/matroska/MatroskaElements.h"

#include <algorithm>

namespace corvanta::matroska {

namespace {

// A hostile Tracks element may list any number of entries; the walk shows them all, but the
// look-ahead keeps this many.
constexpr size_t kMaxTracks = 4096;
// Top elements looked at before giving up on finding Info and Tracks by walking.
constexpr int kMaxTopElements = 1 << 20;

}  // namespace

void SegmentInfo::scan(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits) {
  data_begin = begin;
  int64_t pos = begin;
  for (int i = 0; i < kMaxTopElements && pos < end && !(found_info && found_tracks); ++i) {
    ElementHeader h;
    if (!readElementHeader(data, pos, end, limits, h)) break;
    if (h.id == id::kInfo && !found_info) readInfo(data, h, limits);
    else if (h.id == id::kTracks && !found_tracks) readTracks(data, h, limits);
    else if (h.id == id::kSeekHead) readSeekHead(data, h, limits);
    if (h.unknown_size || h.id == id::kEbml || h.id == id::kSegment) break;
    pos = h.end;
  }
  // Info or Tracks after a cluster of unknown size: found through the SeekHead.
  ElementHeader h;
  if (!found_info && info_at >= 0 && readElementHeader(data, info_at, end, limits, h) && h.id == id::kInfo)
    readInfo(data, h, limits);
  if (!found_tracks && tracks_at >= 0 && readElementHeader(data, tracks_at, end, limits, h) && h.id == id::kTracks)
    readTracks(data, h, limits);
}

const TrackInfo* SegmentInfo::track(uint64_t number) const {
  const auto it = std::lower_bound(track_list.begin(), track_list.end(), number,
                                   [](const TrackInfo& t, uint64_t n) { return t.number < n; });
  return it != track_list.end() && it->number == number ? &*it : nullptr;
}

void SegmentInfo::readInfo(const uint8_t* data, const ElementHeader& h, const EbmlLimits& limits) {
  found_info = true;
  const uint64_t scale = childUnsigned(data, h.data, h.end, limits, id::kTimestampScale, kDefaultTimestampScale);
  timestamp_scale = scale ? scale : kDefaultTimestampScale;
}

void SegmentInfo::readTracks(const uint8_t* data, const ElementHeader& tracks, const EbmlLimits& limits) {
  found_tracks = true;
  int64_t pos = tracks.data;
  while (pos < tracks.end && track_list.size() < kMaxTracks) {
    ElementHeader h;
    if (!readElementHeader(data, pos, tracks.end, limits, h) || h.unknown_size) break;
    if (h.id == id::kTrackEntry) track_list.push_back(readTrackEntry(data, h.data, h.end, limits));
    pos = h.end;
  }
  // Blocks find their track by number; the first entry of a number wins.
  std::stable_sort(track_list.begin(), track_list.end(),
                   [](const TrackInfo& a, const TrackInfo& b) { return a.number < b.number; });
  track_list.erase(std::unique(track_list.begin(), track_list.end(),
                               [](const TrackInfo& a, const TrackInfo& b) { return a.number == b.number; }),
                   track_list.end());
}

void SegmentInfo::readSeekHead(const uint8_t* data, const ElementHeader& seek_head, const EbmlLimits& limits) {
  int64_t pos = seek_head.data;
  for (int i = 0; i < 4096 && pos < seek_head.end; ++i) {
    ElementHeader h;
    if (!readElementHeader(data, pos, seek_head.end, limits, h) || h.unknown_size) break;
    pos = h.end;
    if (h.id != id::kSeek) continue;
    ElementHeader seek_id;
    if (!findChild(data, h.data, h.end, limits, id::kSeekId, seek_id)) continue;
    uint64_t target = 0;
    if (!readUnsigned(data + seek_id.data, seek_id.end - seek_id.data, target)) continue;
    const uint64_t position = childUnsigned(data, h.data, h.end, limits, id::kSeekPosition, ~uint64_t(0));
    if (position > uint64_t(INT64_MAX / 2)) continue;
    const int64_t at = data_begin + int64_t(position);
    if (target == id::kInfo && info_at < 0) info_at = at;
    if (target == id::kTracks && tracks_at < 0) tracks_at = at;
  }
}

}  // namespace corvanta::matroska
