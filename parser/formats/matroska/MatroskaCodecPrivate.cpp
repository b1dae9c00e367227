#include "formats/matroska/MatroskaCodecPrivate.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/AudioSpecificConfig.h"
#include "codecs/Av1Configuration.h"
#include "codecs/AvcConfiguration.h"
#include "codecs/BitmapInfoHeader.h"
#include "codecs/FlacMetadata.h"
#include "codecs/HevcConfiguration.h"
#include "codecs/OpusConfiguration.h"
#include "codecs/TheoraHeaders.h"
#include "codecs/VorbisHeaders.h"
#include "codecs/WaveFormatEx.h"
#include "codecs/XiphLacing.h"

#include <vector>

namespace corvanta::matroska {

namespace {

using PacketDecoder = std::string (*)(FieldReader&, int64_t);

// Vorbis and Theora keep their three header packets Xiph-laced: the packet count minus one,
// the sizes of all packets but the last, then the packets.
std::string xiphLacedPackets(FieldReader& f, PacketDecoder decode) {
  const uint64_t count =
      f.uh("packet_count_minus_1", 8, [](uint64_t v) { return numberText(v + 1) + " packets"; }) + 1;
  std::vector<int64_t> sizes;
  if (!f.ok() || !codecs::xiphLacedSizes(f, int(count) - 1, "packet_size", sizes)) return {};
  int64_t total = 0;
  for (int64_t size : sizes) total += size;
  if (total > f.bytesLeft()) {
    f.fail();
    return {};
  }
  sizes.push_back(f.bytesLeft() - total);
  std::string summary;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const int64_t begin = f.bytePos();
    FieldReader packet(f.writer(), f.fileData(), begin, begin + sizes[i]);
    const std::string packet_summary = decode(packet, int64_t(i + 1));
    if (i == 0) summary = packet_summary;
    f.skipBits(sizes[i] * 8);
  }
  return summary;
}

const ValueName kVp9Features[] = {{1, "profile"}, {2, "level"}, {3, "bit depth"}, {4, "chroma subsampling"}};

// The CodecPrivate of WebM VP9: features as (ID, length, value) triplets.
std::string vp9CodecFeatures(FieldReader& f) {
  std::string summary = "VP9";
  for (int64_t i = 1; f.ok() && f.bytesLeft() >= 2; ++i) {
    FieldUnit feature(f, "feature", i);
    const uint64_t id = f.uh("ID", 8, [](uint64_t v) { return nameText(kVp9Features, v); });
    const uint64_t length = f.u("length", 8, "bytes");
    if (length == 1 && f.has(8)) {
      const uint64_t value = f.u("value", 8);
      const char* name = nameOf(kVp9Features, id);
      if (name) summary += std::string(", ") + name + " " + numberText(value);
      feature.setSummary(name ? name + std::string(" ") + numberText(value) : numberText(value));
    } else if (f.ok() && length <= uint64_t(f.bytesLeft())) {
      f.bytes("value", int64_t(length));
    } else {
      f.fail();
    }
  }
  return summary;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

bool decodeCodecPrivate(FieldReader& f, const std::string& codec_id, std::string& summary) {
  if (codec_id == "V_MPEG4/ISO/AVC") summary = codecs::avcConfiguration(f);
  else if (codec_id == "V_MPEGH/ISO/HEVC") summary = codecs::hevcConfiguration(f);
  else if (codec_id == "V_AV1") summary = codecs::av1Configuration(f);
  else if (codec_id == "V_VP9") summary = vp9CodecFeatures(f);
  else if (startsWith(codec_id, "A_AAC")) summary = codecs::audioSpecificConfig(f);
  else if (codec_id == "A_OPUS") summary = codecs::opusHead(f);
  else if (codec_id == "A_VORBIS") summary = xiphLacedPackets(f, codecs::vorbisHeaderPacket);
  else if (codec_id == "V_THEORA") summary = xiphLacedPackets(f, codecs::theoraHeaderPacket);
  else if (codec_id == "A_FLAC") summary = codecs::flacMetadata(f);
  else if (codec_id == "V_MS/VFW/FOURCC") summary = codecs::bitmapInfoHeader(f);
  else if (codec_id == "A_MS/ACM") summary = codecs::waveFormatEx(f);
  else if (codec_id == "S_TEXT/ASS" || codec_id == "S_TEXT/SSA" || codec_id == "S_ASS" || codec_id == "S_SSA" ||
           codec_id == "S_VOBSUB" || codec_id == "S_TEXT/WEBVTT") {
    f.fixedString("header", f.bytesLeft(), TextEncoding::Utf8);
    summary = "subtitle header";
  } else {
    return false;
  }
  return true;
}

}  // namespace corvanta::matroska
