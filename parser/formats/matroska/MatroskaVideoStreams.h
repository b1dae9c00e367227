#pragma once

#include "codecs/NalVideoStream.h"

#include <cstdint>
#include <map>
#include <memory>

namespace corvanta::matroska {

struct TrackInfo;

// The H.264 and H.265 streams of one Segment's tracks, so that the frames of their blocks can
// be decoded with the parameter sets of the CodecPrivate and of the frames before them.
class MatroskaVideoStreams {
 public:
  // The stream of a V_MPEG4/ISO/AVC or V_MPEGH/ISO/HEVC track whose frames are stored as they
  // are (no header stripping, compression or encryption), primed from its CodecPrivate at the
  // first call; null for any other track.
  codecs::NalVideoStream* forTrack(const TrackInfo& track, const uint8_t* data);
  // Forgets every stream: a new Segment has tracks of its own.
  void clear() { streams.clear(); }

 private:
  std::map<uint64_t, std::unique_ptr<codecs::NalVideoStream>> streams;  // by track number
};

}  // namespace corvanta::matroska
