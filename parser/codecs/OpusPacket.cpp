#include "codecs/OpusPacket.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/VorbisComment.h"

namespace corvanta::codecs {

namespace {

// Configurations 0-11 are SILK-only, 12-15 hybrid, 16-31 CELT-only; each group steps through
// bandwidths, four (two for hybrid) frame durations per bandwidth.
std::string configurationText(uint64_t config) {
  static const char* const kSilkBandwidths[] = {"NB", "MB", "WB"};
  static const char* const kCeltBandwidths[] = {"NB", "WB", "SWB", "FB"};
  static const char* const kSilkDurations[] = {"10 ms", "20 ms", "40 ms", "60 ms"};
  static const char* const kCeltDurations[] = {"2.5 ms", "5 ms", "10 ms", "20 ms"};
  if (config < 12) return std::string("SILK ") + kSilkBandwidths[config / 4] + " " + kSilkDurations[config % 4];
  if (config < 16)
    return std::string("Hybrid ") + (config < 14 ? "SWB " : "FB ") + (config % 2 ? "20 ms" : "10 ms");
  config -= 16;
  return std::string("CELT ") + kCeltBandwidths[config / 4] + " " + kCeltDurations[config % 4];
}

const char* frameCountText(uint64_t code) {
  switch (code) {
    case 0: return "1 frame";
    case 1: return "2 frames of equal size";
    case 2: return "2 frames of different sizes";
    default: return "an arbitrary number of frames";
  }
}

}  // namespace

std::string opusPacket(FieldReader& f) {
  if (!f.has(8)) {
    f.rest("packet_data");
    return "empty Opus packet";
  }
  const uint64_t config = f.uh("config", 5, configurationText);
  const bool stereo = f.flag("s", f.peek(1) ? "stereo" : "mono");
  const uint64_t code = f.u("c", 2, frameCountText(f.peek(2)));
  std::string summary = configurationText(config) + (stereo ? ", stereo, " : ", mono, ");
  if (code == 3 && f.has(8)) {
    f.uh("v", 1, [](uint64_t v) { return v ? "variable bitrate" : "constant bitrate"; });
    f.uh("p", 1, [](uint64_t v) { return v ? "padding present" : "no padding"; });
    const uint64_t count = f.u("M", 6, "frames");
    summary += numberText(count) + (count == 1 ? " frame" : " frames");
  } else {
    summary += code == 0 ? "1 frame" : code == 3 ? "frame count missing" : "2 frames";
  }
  f.rest("frame_data", "compressed frames");
  return summary;
}

std::string opusTags(FieldReader& f) {
  f.fixedString("MagicSignature", 8, TextEncoding::Latin1);
  const std::string comments = vorbisComment(f, false);
  if (!f.ok()) {
    f.recover();
    f.rest("data", "a field runs past the end of the packet");
  } else {
    f.rest("padding", "extra bytes after the comments");
  }
  return "Opus comments, " + comments;
}

}  // namespace corvanta::codecs
