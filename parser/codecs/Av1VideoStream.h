#pragma once

#include "codecs/Av1Obu.h"
#include "codecs/VideoFrameDecoder.h"

namespace corvanta::codecs {

// One AV1 stream as MP4, Matroska and FLV carry it: an av1C record, then temporal units of
// OBUs. The sequence header of the record or of the stream carries over to the frame headers.
class Av1VideoStream : public VideoFrameDecoder {
 public:
  std::string configuration(FieldReader& f) override;
  // Every OBU of the temporal unit; the picture type is the frame_type of its first frame header.
  std::string frame(FieldReader& f, FramePicture& picture) override;
  std::unique_ptr<VideoFrameDecoder> clone() const override { return std::make_unique<Av1VideoStream>(*this); }

 private:
  Av1Context context;
};

}  // namespace corvanta::codecs
