#pragma once

#include "codecs/VideoFrameDecoder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::isobmff {

class SampleMap;
struct Claim;

// Writes one claim of the media data (a sample, a run of tiny samples or an item extent) as its
// element, with the codec headers of a video frame decoded below it. What the frames of a track
// leave for the next ones (parameter sets, picture order, AV1 reference state) lives in the
// track's frame decoder, so that a sample is a function of its bytes and those decoders: the
// lazy path saves them at checkpoints and writes any sample again from there.
class SampleWriter {
 public:
  SampleWriter(ElementWriter& writer, const uint8_t* data, const SampleMap& map, bool decode_frames);

  struct Written {
    int64_t id = 0;     // of the claim's element
    int64_t size = 0;   // bytes inside the media data
    char picture = 0;   // TimingWriter::pictureLetter of the frame, 0 when not decoded
  };
  // `overlap`: the claim starts inside an earlier one, so its bytes are not decoded.
  // `summaries` false leaves the claim's own raw and readable values empty, for a writer that
  // only counts its rows: the elements and their number stay the same.
  Written write(const Claim& claim, int64_t mdat_end, bool overlap, bool summaries = true);

  // Whether write() hands this claim's bytes to its track's frame decoder: the claims that
  // change what later frames are decoded with (the others can be passed over on the way to one).
  bool decodesFrame(const Claim& claim, bool overlap) const;

  // A copy of the frame decoder of each track that decoded a frame since the last call; the
  // others still stand as that call left them.
  using TrackState = std::pair<size_t, std::shared_ptr<const codecs::VideoFrameDecoder>>;
  std::vector<TrackState> changedStates();
  // Sets the decoders of these tracks to copies of the states; every other track starts afresh
  // from its configuration record at its next frame.
  void restore(const std::vector<TrackState>& states);

 private:
  codecs::VideoFrameDecoder* frameDecoder(size_t track);

  ElementWriter& w;
  const uint8_t* data;
  const SampleMap& map;
  bool decode_frames;
  std::vector<std::unique_ptr<codecs::VideoFrameDecoder>> video_streams;  // by track index
  std::vector<bool> changed;  // by track: frames decoded since the last checkpoint
  std::string line, readable;  // reused for every sample: no allocation per sample
};

}  // namespace corvanta::isobmff
