#include "formats/flv/FlvTagBodies.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/AudioSpecificConfig.h"
#include "codecs/Av1Configuration.h"
#include "codecs/AvcConfiguration.h"
#include "codecs/HevcConfiguration.h"
#include "codecs/VpCodecConfiguration.h"
#include "formats/flv/Amf.h"

#include <algorithm>
#include <cmath>

namespace corvanta::flv {

namespace {

const ValueName kSoundFormats[] = {
    {0, "linear PCM, platform endian"}, {1, "ADPCM"}, {2, "MP3"}, {3, "linear PCM, little endian"},
    {4, "Nellymoser 16 kHz mono"}, {5, "Nellymoser 8 kHz mono"}, {6, "Nellymoser"}, {7, "G.711 A-law"},
    {8, "G.711 mu-law"}, {9, "extended header"}, {10, "AAC"}, {11, "Speex"}, {14, "MP3 8 kHz"},
    {15, "device-specific sound"},
};
const ValueName kSoundRates[] = {{0, "5.5 kHz"}, {1, "11 kHz"}, {2, "22 kHz"}, {3, "44 kHz"}};
const ValueName kSoundSizes[] = {{0, "8-bit"}, {1, "16-bit"}};
const ValueName kSoundTypes[] = {{0, "mono"}, {1, "stereo"}};
const ValueName kAacPacketTypes[] = {{0, "sequence header"}, {1, "raw"}};
const ValueName kFrameTypes[] = {
    {1, "key frame"}, {2, "inter frame"}, {3, "disposable inter frame"}, {4, "generated key frame"},
    {5, "video info/command frame"},
};
const ValueName kCodecIds[] = {
    {1, "JPEG"}, {2, "Sorenson H.263"}, {3, "screen video"}, {4, "On2 VP6"}, {5, "On2 VP6 with alpha"},
    {6, "screen video version 2"}, {7, "AVC"}, {12, "HEVC (unofficial)"},
};
const ValueName kAvcPacketTypes[] = {{0, "sequence header"}, {1, "NALU"}, {2, "end of sequence"}};
const ValueName kVideoCommands[] = {{0, "start of client-side seeking"}, {1, "end of client-side seeking"}};
const ValueName kVideoPacketTypes[] = {
    {0, "SequenceStart"}, {1, "CodedFrames"}, {2, "SequenceEnd"}, {3, "CodedFramesX"}, {4, "Metadata"},
    {5, "MPEG2TSSequenceStart"}, {6, "Multitrack"}, {7, "ModEx"},
};
const ValueName kAudioPacketTypes[] = {
    {0, "SequenceStart"}, {1, "CodedFrames"}, {2, "SequenceEnd"}, {4, "MultichannelConfig"}, {5, "Multitrack"},
    {7, "ModEx"},
};
const ValueName kH263PictureSizes[] = {
    {0, "custom, 8-bit"}, {1, "custom, 16-bit"}, {2, "352x288"}, {3, "176x144"}, {4, "128x96"}, {5, "320x240"},
    {6, "160x120"},
};
const ValueName kH263PictureTypes[] = {{0, "intra"}, {1, "inter"}, {2, "disposable inter"}};

constexpr uint64_t kAac = 10;
constexpr uint64_t kAudioExHeader = 9;
constexpr uint64_t kSorensonH263 = 2;
constexpr uint64_t kVp6 = 4;
constexpr uint64_t kVp6Alpha = 5;
constexpr uint64_t kAvc = 7;
constexpr uint64_t kHevcUnofficial = 12;
constexpr uint64_t kCommandFrame = 5;
constexpr uint64_t kSequenceStart = 0;
constexpr uint64_t kCodedFrames = 1;
constexpr uint64_t kCodedFramesX = 3;
constexpr uint64_t kVideoMetadata = 4;
// NAL units named one by one in a tag's summary; more are counted.

std::string joined(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += ", ";
    text += part;
  }
  return text;
}

// What is left of a body: its frame data as one field.
void frameData(FieldReader& f, std::string_view name = "data") {
  if (!f.ok()) {
    f.recover();
    f.rest("undecoded", "cut short or not understood");
    return;
  }
  f.rest(name);
}

}  // namespace

bool FlvTagBodies::isTagStart(double offset) const {
  if (!(offset >= 0) || offset != std::floor(offset) || offset > 9.0e18) return false;
  return std::binary_search(tag_starts->begin(), tag_starts->end(), static_cast<int64_t>(offset));
}

// A configuration record filling the rest of the body, as a unit decoded by a shared decoder.
std::string FlvTagBodies::record(FieldReader& f, std::string_view name, const Decoder& decode) {
  if (!f.ok()) return {};
  const int64_t begin = f.bytePos();
  const int64_t end = f.endByte();
  ElementWriter& w = f.writer();
  w.openUnit(name, begin * 8, (end - begin) * 8);
  FieldReader inner(w, f.fileData(), begin, end);
  const std::string summary = decode(inner);
  if (!inner.ok()) {
    inner.recover();
    inner.rest("undecoded", "not understood");
  } else {
    inner.rest("extra data");
  }
  w.setUnitValue(summary);
  w.closeUnit();
  f.skipBits((end - begin) * 8);
  return summary;
}

// Length-prefixed NAL units, decoded by the shared H.264 or H.265 stream decoder, so that IDR
// frames, picture types and parameter sets can be found.
std::string FlvTagBodies::nalUnits(FieldReader& f, bool is_hevc) {
  if (!decode_frames) {
    frameData(f, "frames");
    return {};
  }
  codecs::FramePicture picture;
  return (is_hevc ? hevc_video : avc_video).frame(f, picture);
}

std::string FlvTagBodies::nalConfiguration(FieldReader& f, bool is_hevc) {
  codecs::NalVideoStream& stream = is_hevc ? hevc_video : avc_video;
  return record(f, is_hevc ? "HEVCDecoderConfigurationRecord" : "AVCDecoderConfigurationRecord",
                [&stream](FieldReader& inner) { return stream.configuration(inner); });
}

// --- audio ----------------------------------------------------------------------------------

std::string FlvTagBodies::audio(FieldReader& f) {
  if (f.has(4) && f.peek(4) == kAudioExHeader) return enhancedAudio(f);
  const uint64_t format = f.uh("SoundFormat", 4, [](uint64_t v) { return nameText(kSoundFormats, v); });
  const uint64_t rate = f.uh("SoundRate", 2, [](uint64_t v) { return nameText(kSoundRates, v); });
  const uint64_t size = f.uh("SoundSize", 1, [](uint64_t v) { return nameText(kSoundSizes, v); });
  const uint64_t type = f.uh("SoundType", 1, [](uint64_t v) { return nameText(kSoundTypes, v); });
  std::string summary = joined({nameText(kSoundFormats, format), nameText(kSoundRates, rate),
                                nameText(kSoundSizes, size), nameText(kSoundTypes, type)});
  if (format == kAac && f.ok()) {
    const uint64_t packet = f.uh("AACPacketType", 8, [](uint64_t v) { return nameText(kAacPacketTypes, v); });
    summary = joined({"AAC " + nameText(kAacPacketTypes, packet)});
    if (packet == 0 && f.ok() && f.bytesLeft() > 0)
      return joined({summary, record(f, "AudioSpecificConfig", codecs::audioSpecificConfig)});
  }
  frameData(f, "frame");
  return summary;
}

std::string FlvTagBodies::enhancedAudio(FieldReader& f) {
  f.u("SoundFormat", 4, "extended header");
  const uint64_t packet = f.uh("AudioPacketType", 4, [](uint64_t v) { return nameText(kAudioPacketTypes, v); });
  const uint32_t code = f.fourcc("AudioFourCC", f.has(32) ? fourCCName(uint32_t(f.peek(32))) : "");
  std::string summary = joined({fourCCName(code).empty() ? fourCCText(code) : fourCCName(code),
                                nameText(kAudioPacketTypes, packet)});
  if (packet == kSequenceStart && code == fourCC("mp4a") && f.ok() && f.bytesLeft() > 0)
    return joined({summary, record(f, "AudioSpecificConfig", codecs::audioSpecificConfig)});
  frameData(f, packet == kSequenceStart ? "configuration" : "frames");
  return summary;
}

// --- video ----------------------------------------------------------------------------------

std::string FlvTagBodies::video(FieldReader& f) {
  if (f.has(1) && f.peek(1) == 1) return enhancedVideo(f);
  return legacyVideo(f);
}

std::string FlvTagBodies::legacyVideo(FieldReader& f) {
  const uint64_t frame = f.uh("FrameType", 4, [](uint64_t v) { return nameText(kFrameTypes, v); });
  const uint64_t codec = f.uh("CodecID", 4, [](uint64_t v) { return nameText(kCodecIds, v); });
  const std::string head = joined({nameText(kFrameTypes, frame), nameText(kCodecIds, codec)});
  if (!f.ok()) return head;
  if (frame == kCommandFrame && codec != kAvc && codec != kHevcUnofficial) {
    const uint64_t command = f.uh("command", 8, [](uint64_t v) { return nameText(kVideoCommands, v); });
    frameData(f);
    return joined({head, nameText(kVideoCommands, command)});
  }
  if (codec == kAvc || codec == kHevcUnofficial) return joined({head, avcStyleVideo(f, codec == kHevcUnofficial)});
  if (codec == kSorensonH263) return joined({head, h263Picture(f)});
  if (codec == kVp6 || codec == kVp6Alpha) {
    f.u("HorizontalAdjustment", 4);
    f.u("VerticalAdjustment", 4);
    if (codec == kVp6Alpha) f.u("OffsetToAlpha", 24);
  }
  frameData(f, "frame");
  return head;
}

// AVC packets, and the HEVC packets some servers send in the same form under codec id 12.
std::string FlvTagBodies::avcStyleVideo(FieldReader& f, bool is_hevc) {
  const uint64_t packet = f.uh("AVCPacketType", 8, [](uint64_t v) { return nameText(kAvcPacketTypes, v); });
  const int64_t composition = f.s("CompositionTime", 24, "ms");
  std::string summary = joined({nameText(kAvcPacketTypes, packet), composition ? "cts " + signedText(composition) + " ms" : ""});
  if (!f.ok()) return summary;
  if (packet == 0) {
    return joined({summary, nalConfiguration(f, is_hevc)});
  }
  if (packet == 1) return joined({summary, nalUnits(f, is_hevc)});
  frameData(f);
  return summary;
}

std::string FlvTagBodies::enhancedVideo(FieldReader& f) {
  f.u("IsExHeader", 1, "enhanced");
  const uint64_t frame = f.uh("FrameType", 3, [](uint64_t v) { return nameText(kFrameTypes, v); });
  const uint64_t packet = f.uh("PacketType", 4, [](uint64_t v) { return nameText(kVideoPacketTypes, v); });
  const uint32_t code = f.fourcc("FourCC", f.has(32) ? fourCCName(uint32_t(f.peek(32))) : "");
  const std::string codec = fourCCName(code).empty() ? fourCCText(code) : fourCCName(code);
  std::string summary = joined({nameText(kFrameTypes, frame), codec, nameText(kVideoPacketTypes, packet)});
  if (!f.ok()) return summary;
  const bool nal_based = code == fourCC("avc1") || code == fourCC("hvc1");
  const bool is_hevc = code == fourCC("hvc1");
  if (packet == kSequenceStart) {
    if (nal_based) {
      return joined({summary, nalConfiguration(f, is_hevc)});
    }
    if (code == fourCC("av01"))
      return joined({summary, record(f, "AV1CodecConfigurationRecord",
                                     [this](FieldReader& inner) { return av1_video.configuration(inner); })});
    if (code == fourCC("vp09") || code == fourCC("vp08"))
      return joined({summary, record(f, "VPCodecConfigurationRecord", codecs::vpCodecConfiguration)});
  } else if (packet == kCodedFrames || packet == kCodedFramesX) {
    if (nal_based) {
      if (packet == kCodedFrames) {
        const int64_t composition = f.s("CompositionTime", 24, "ms");
        if (composition) summary = joined({summary, "cts " + signedText(composition) + " ms"});
      }
      return joined({summary, nalUnits(f, is_hevc)});
    }
    if (code == fourCC("av01") && f.bytesLeft() > 0) {
      if (!decode_frames) {
        frameData(f, "frames");
        return summary;
      }
      codecs::FramePicture picture;
      return joined({summary, av1_video.frame(f, picture)});
    }
  } else if (packet == kVideoMetadata) {
    Amf amf(f);
    while (f.ok() && f.bytesLeft() > 0) amf.value0("metadata");
  }
  frameData(f, packet == kSequenceStart ? "configuration" : "frame");
  return summary;
}

// The Sorenson H.263 picture header: enough to see the picture's size and type.
std::string FlvTagBodies::h263Picture(FieldReader& f) {
  f.u("PictureStartCode", 17, f.has(17) && f.peek(17) == 1 ? "" : "not the start code");
  f.u("Version", 5);
  f.u("TemporalReference", 8);
  const uint64_t size = f.uh("PictureSize", 3, [](uint64_t v) { return nameText(kH263PictureSizes, v); });
  std::string dimensions = nameText(kH263PictureSizes, size);
  if (size <= 1) {
    const int bits = size == 0 ? 8 : 16;
    const uint64_t width = f.u("CustomWidth", bits);
    const uint64_t height = f.u("CustomHeight", bits);
    dimensions = numberText(width) + "x" + numberText(height);
  }
  const uint64_t type = f.uh("PictureType", 2, [](uint64_t v) { return nameText(kH263PictureTypes, v); });
  f.u("DeblockingFlag", 1);
  f.u("Quantizer", 5);
  frameData(f, "picture data");
  return joined({dimensions, nameText(kH263PictureTypes, type)});
}

// --- script data ----------------------------------------------------------------------------

std::string FlvTagBodies::script(FieldReader& f) {
  Amf amf(f, [this](const std::string& key, double value) {
    AmfNote note;
    if (key == "filepositions") {
      const bool start = isTagStart(value);
      note.text = start ? "tag start" : "not at a tag start";
      note.problem = !start;
    } else if (key == "times" || key == "duration" || key == "lasttimestamp" || key == "lastkeyframetimestamp") {
      note.text = floatText(value) + " s";
    }
    return note;
  });
  const std::string name = amf.value0("Name");
  for (int64_t index = 0; f.ok() && f.bytesLeft() > 0; ++index) amf.value0("Value", index ? index : -1);
  if (!f.ok()) frameData(f);
  return name;
}

std::string FlvTagBodies::fourCCName(uint32_t code) {
  switch (code) {
    case fourCC("avc1"): return "AVC";
    case fourCC("hvc1"): return "HEVC";
    case fourCC("av01"): return "AV1";
    case fourCC("vp09"): return "VP9";
    case fourCC("vp08"): return "VP8";
    case fourCC("Opus"): return "Opus";
    case fourCC("fLaC"): return "FLAC";
    case fourCC("ac-3"): return "AC-3";
    case fourCC("ec-3"): return "E-AC-3";
    case fourCC("mp4a"): return "AAC";
    case fourCC(".mp3"): return "MP3";
    default: return {};
  }
}

}  // namespace corvanta::flv
