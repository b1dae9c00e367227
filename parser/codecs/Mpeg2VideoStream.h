#pragma once

#include "codecs/Mpeg2Video.h"
#include "codecs/VideoFrameDecoder.h"

namespace corvanta::codecs {

// MPEG-1 or MPEG-2 video as Matroska carries it (V_MPEG1, V_MPEG2): the sequence header and its
// extensions in the CodecPrivate, then one picture per frame with the headers before it.
class Mpeg2VideoStream : public VideoFrameDecoder {
 public:
  std::string configuration(FieldReader& f) override;
  // The frame's start-code units; the picture type is that of its first picture header.
  std::string frame(FieldReader& f, FramePicture& picture) override;
  std::unique_ptr<VideoFrameDecoder> clone() const override { return std::make_unique<Mpeg2VideoStream>(*this); }

 private:
  MpegVideoContext context;
};

}  // namespace corvanta::codecs
