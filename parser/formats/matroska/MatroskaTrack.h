#pragma once

#include "formats/matroska/MatroskaEbml.h"

#include <cstdint>
#include <string>

namespace corvanta::matroska {

// What the walk needs to know about one track: to decode its CodecPrivate, to time and name
// its blocks, and to sum it up.
struct TrackInfo {
  uint64_t number = 0;
  uint64_t type = 0;               // TrackType
  std::string codec_id;
  std::string name;
  std::string language;
  uint64_t default_duration = 0;   // nanoseconds per frame; 0 when not given
  uint64_t pixel_width = 0, pixel_height = 0;
  uint64_t interlaced = 0;         // FlagInterlaced
  uint64_t channels = 1;
  double sampling_frequency = 8000;
  uint64_t bit_depth = 0;
  bool has_audio = false, has_video = false;
  bool compressed = false;         // a ContentCompression applies to the frames
  uint64_t compression_algo = 0;   // ContentCompAlgo
  int64_t stripped_bytes = 0;      // bytes removed from each frame by header stripping
  bool encrypted = false;
  int64_t codec_private_begin = -1;  // the CodecPrivate's data [begin, end) in the file
  int64_t codec_private_end = -1;
  std::string block_label;  // "video, V_VP9": what a block's track_number says, made once

  // "video", "audio", "subtitle", ... or "track type N".
  std::string kindText() const;
  // "Track 1, video, V_MPEG4/ISO/AVC, 160x120, 10 fps"
  std::string summary() const;
};

// Reads the track facts from the children of a TrackEntry in [begin, end).
TrackInfo readTrackEntry(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits);

}  // namespace corvanta::matroska
