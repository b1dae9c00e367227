#include "codecs/VideoFrameDecoder.h"

#include "codecs/Av1VideoStream.h"
#include "codecs/Mpeg2VideoStream.h"
#include "codecs/Vp8VideoStream.h"
#include "codecs/Vp9VideoStream.h"
#include "codecs/NalVideoStream.h"

namespace corvanta::codecs {

std::unique_ptr<VideoFrameDecoder> VideoFrameDecoder::forRecord(const std::string& record_type) {
  if (record_type == "avcC") return std::make_unique<NalVideoStream>(false);
  if (record_type == "hvcC") return std::make_unique<NalVideoStream>(true);
  if (record_type == "av1C") return std::make_unique<Av1VideoStream>();
  if (record_type == "mpeg-video") return std::make_unique<Mpeg2VideoStream>();
  if (record_type == "vpcC-vp9") return std::make_unique<Vp9VideoStream>();
  if (record_type == "vpcC-vp8") return std::make_unique<Vp8VideoStream>();
  return nullptr;
}

}  // namespace corvanta::codecs
