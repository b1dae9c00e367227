#pragma once

#include "codecs/Av1VideoStream.h"
#include "codecs/NalVideoStream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {
class FieldReader;
}

namespace corvanta::flv {

// The bodies of FLV tags: audio and video tag headers (legacy and enhanced), the codec
// configurations and NAL units inside them, and script data. Parameter sets and the NAL
// length size carry over from tag to tag, as they do in the stream.
class FlvTagBodies {
 public:
  // `tag_starts`: sorted file offsets of every tag, to check keyframe positions against.
  // `decode_frames`: whether the NAL units of video frames are decoded or stay one field.
  // A copy carries the codec state so far, and shares the tag offsets.
  FlvTagBodies(std::shared_ptr<const std::vector<int64_t>> tag_starts, bool decode_frames)
      : tag_starts(std::move(tag_starts)), decode_frames(decode_frames) {}

  // Each decodes a body from the reader's position to its end and returns the tag's summary.
  std::string audio(FieldReader& f);
  std::string video(FieldReader& f);
  std::string script(FieldReader& f);

  // The codec that an enhanced tag's FourCC names ("AVC", "HEVC", "AAC", ...), or empty.
  static std::string fourCCName(uint32_t code);

 private:
  using Decoder = std::function<std::string(FieldReader&)>;

  std::string legacyVideo(FieldReader& f);
  std::string enhancedVideo(FieldReader& f);
  std::string enhancedAudio(FieldReader& f);
  std::string avcStyleVideo(FieldReader& f, bool hevc);
  std::string h263Picture(FieldReader& f);
  std::string record(FieldReader& f, std::string_view name, const Decoder& decode);
  std::string nalConfiguration(FieldReader& f, bool hevc);
  std::string nalUnits(FieldReader& f, bool hevc);
  bool isTagStart(double offset) const;

  std::shared_ptr<const std::vector<int64_t>> tag_starts;
  bool decode_frames;
  codecs::NalVideoStream avc_video{false};
  codecs::NalVideoStream hevc_video{true};
  codecs::Av1VideoStream av1_video;
};

}  // namespace corvanta::flv
