#pragma once

#include "codecs/VideoFrameDecoder.h"

namespace corvanta::codecs {

// VP8 as Matroska and WebM carry it: every frame stands on its own, its frame tag decoded.
class Vp8VideoStream : public VideoFrameDecoder {
 public:
  // VP8 has no configuration record: whatever is there stays one field.
  std::string configuration(FieldReader& f) override;
  std::string frame(FieldReader& f, FramePicture& picture) override;
  std::unique_ptr<VideoFrameDecoder> clone() const override { return std::make_unique<Vp8VideoStream>(*this); }
};

}  // namespace corvanta::codecs
