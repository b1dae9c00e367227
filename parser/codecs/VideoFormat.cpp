#include "codecs/VideoFormat.h"

#include "TextForms.h"

#include <cstdio>

namespace corvanta::codecs {

std::string chromaFormatText(uint64_t chroma_format_idc) {
  static const char* const kFormats[] = {"monochrome", "4:2:0", "4:2:2", "4:4:4"};
  return chroma_format_idc < 4 ? kFormats[chroma_format_idc] : "";
}

std::string frameRateText(uint64_t num, uint64_t den) {
  if (num == 0 || den == 0) return {};
  if (num % den == 0) return numberText(num / den) + " fps";
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.3f", double(num) / double(den));
  std::string text = buffer;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text + " fps";
}

std::string displayedSizeText(const VideoFormat& format) {
  return numberText(format.width) + "x" + numberText(format.height) + " displayed";
}

std::string frameSizeText(const VideoFormat& format) {
  const std::string coded = numberText(format.coded_width) + "x" + numberText(format.coded_height);
  if (format.width == format.coded_width && format.height == format.coded_height) return coded;
  return numberText(format.width) + "x" + numberText(format.height) + " (coded " + coded + ")";
}

std::string videoFormatText(const VideoFormat& format) {
  std::string text = format.chroma;
  if (format.bit_depth) text += (text.empty() ? "" : " ") + numberText(format.bit_depth) + "-bit";
  text += (text.empty() ? "" : ", ") + frameSizeText(format);
  if (format.interlaced) text += " interlaced";
  const std::string rate = frameRateText(format.rate_num, format.rate_den);
  if (!rate.empty()) text += ", " + rate;
  return text;
}

}  // namespace corvanta::codecs
