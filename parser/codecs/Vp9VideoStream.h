#pragma once

#include "codecs/VideoFrameDecoder.h"

#include <array>
#include <cstdint>

namespace corvanta::codecs {

// VP9 as Matroska and WebM carry it: each block frame one frame or a superframe of several.
// Every frame's uncompressed header (VP9 bitstream specification 6.2) is decoded field by field;
// the compressed header and the tile data stay one field each. The sizes of the reference
// frames carry over from frame to frame, as a frame may take its size from one of them.
class Vp9VideoStream : public VideoFrameDecoder {
 public:
  std::string configuration(FieldReader& f) override;
  // The frames of the chunk (each one of a superframe, then its index); the picture type is
  // "key" or "inter" after the first frame of the chunk, "intra-only" for an intra-only frame.
  std::string frame(FieldReader& f, FramePicture& picture) override;
  std::unique_ptr<VideoFrameDecoder> clone() const override { return std::make_unique<Vp9VideoStream>(*this); }

  struct State {
    int profile = 0;
    bool subsampling_x = true, subsampling_y = true;
    int bit_depth = 8;
    std::array<uint32_t, 8> ref_width{}, ref_height{};
  };

 private:
  State state;
};

}  // namespace corvanta::codecs
