#pragma once

#include "codecs/VideoFrameDecoder.h"

#include <cstdint>
#include <map>
#include <memory>

namespace corvanta::matroska {

struct TrackInfo;

// The H.264, H.265 and AV1 streams of one Segment's tracks, so that the frames of their blocks
// can be decoded with what the CodecPrivate and the frames before them set up.
class MatroskaVideoStreams {
 public:
  // The decoder of a V_MPEG4/ISO/AVC, V_MPEGH/ISO/HEVC or V_AV1 track whose frames are stored as
  // they are (no header stripping, compression or encryption), set up from its CodecPrivate at
  // the first call; null for any other track.
  codecs::VideoFrameDecoder* forTrack(const TrackInfo& track, const uint8_t* data);
  // Forgets every stream: a new Segment has tracks of its own.
  void clear() { streams.clear(); }

 private:
  std::map<uint64_t, std::unique_ptr<codecs::VideoFrameDecoder>> streams;  // by track number
};

}  // namespace corvanta::matroska
