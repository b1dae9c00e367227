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
  void clear() {
    streams.clear();
    saved.reset();
  }

  // The state of every stream as it stands, to decode the frames from here on again later
  // (see restore). Streams that decoded nothing since the last snapshot share their copy with
  // it, and a snapshot with no stream changed is the last one itself.
  using Snapshot = std::map<uint64_t, std::shared_ptr<const codecs::VideoFrameDecoder>>;
  std::shared_ptr<const Snapshot> snapshot();
  // Sets every stream to the state of `saved` (null: no stream set up yet).
  void restore(const std::shared_ptr<const Snapshot>& saved);
  // Whether a stream may have changed since the last snapshot (or there is none).
  bool changedSinceSnapshot() const;
  // How many times a decoder was handed out for a frame so far.
  uint64_t framesDecoded() const { return frames_decoded; }

 private:
  struct Stream {
    std::unique_ptr<codecs::VideoFrameDecoder> decoder;  // null: a track whose frames stay opaque
    std::shared_ptr<const codecs::VideoFrameDecoder> copy;  // its state at the last snapshot
    bool changed = true;                                    // since that snapshot
  };
  std::map<uint64_t, Stream> streams;  // by track number
  std::shared_ptr<const Snapshot> saved;  // the last snapshot
  uint64_t frames_decoded = 0;
};

}  // namespace corvanta::matroska
