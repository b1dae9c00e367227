#pragma once

#include <cstdint>
#include <string>

namespace corvanta::codecs {

// The facts a person looks for first in a video sequence header, whatever the codec: they make
// the one-line summaries of H.264 and H.265 SPS and of the AV1 sequence header read alike.
struct VideoFormat {
  uint64_t coded_width = 0, coded_height = 0;
  uint64_t width = 0, height = 0;  // displayed (after cropping); equal to the coded size when not cropped
  std::string chroma;              // "4:2:0"; empty when unknown
  uint64_t bit_depth = 0;          // luma; 0 when unknown
  uint64_t rate_num = 0, rate_den = 0;  // frames per second as a fraction; 0 when not signalled
  bool interlaced = false;
};

// "4:2:0 8-bit, 160x120 (coded 160x128), 10 fps"
std::string videoFormatText(const VideoFormat& format);
// "160x120 (coded 160x128)", or "160x128" when nothing is cropped.
std::string frameSizeText(const VideoFormat& format);
// "160x120 displayed": the size left after cropping.
std::string displayedSizeText(const VideoFormat& format);
// "25 fps", "29.97 fps"; empty when the rate is unknown.
std::string frameRateText(uint64_t num, uint64_t den);
// chroma_format_idc of H.264 and H.265: "monochrome", "4:2:0", "4:2:2", "4:4:4".
std::string chromaFormatText(uint64_t chroma_format_idc);

}  // namespace corvanta::codecs
