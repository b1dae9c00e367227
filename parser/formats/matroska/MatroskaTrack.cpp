#include "formats/matroska/MatroskaTrack.h"

#include "TextForms.h"
#include "codecs/VideoFormat.h"
#include "formats/matroska/MatroskaElements.h"

#include <cmath>

namespace corvanta::matroska {

namespace {

// Only the frames' content encoding matters for their sizes: the first ContentEncoding that
// applies to them (scope bit 1) decides.
void readContentEncodings(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits, TrackInfo& t) {
  int64_t pos = begin;
  for (int i = 0; i < 64 && pos < end; ++i) {
    ElementHeader h;
    if (!readElementHeader(data, pos, end, limits, h) || h.unknown_size) return;
    pos = h.end;
    if (h.id != id::kContentEncoding) continue;
    const uint64_t scope = childUnsigned(data, h.data, h.end, limits, 0x5032, 1);
    if (!(scope & 1)) continue;
    const uint64_t type = childUnsigned(data, h.data, h.end, limits, id::kContentEncodingType, 0);
    if (type == 1) {
      t.encrypted = true;
      continue;
    }
    ElementHeader compression;
    if (type != 0 || !findChild(data, h.data, h.end, limits, id::kContentCompression, compression)) continue;
    t.compressed = true;
    t.compression_algo = childUnsigned(data, compression.data, compression.end, limits, id::kContentCompAlgo, 0);
    ElementHeader settings;
    if (t.compression_algo == 3 &&
        findChild(data, compression.data, compression.end, limits, id::kContentCompSettings, settings))
      t.stripped_bytes = settings.end - settings.data;
  }
}

}  // namespace

std::string TrackInfo::kindText() const {
  const ElementType* track_type = findElementType(id::kTrackType);
  const std::string name = track_type ? valueName(*track_type, type) : std::string();
  return name.empty() ? "track type " + numberText(type) : name;
}

std::string TrackInfo::summary() const {
  std::string out = "Track " + numberText(number) + ", " + kindText();
  if (!codec_id.empty()) out += ", " + codec_id;
  if (has_video && pixel_width && pixel_height) {
    out += ", " + numberText(pixel_width) + "x" + numberText(pixel_height);
    if (interlaced == 1) out += " interlaced";
  }
  if (has_video && default_duration) {
    const std::string rate = codecs::frameRateText(1000000000, default_duration);
    if (!rate.empty()) out += ", " + rate;
  }
  if (has_audio) {
    out += ", " + numberText(channels) + " ch";
    if (std::isfinite(sampling_frequency) && sampling_frequency > 0 && sampling_frequency < 1e10)
      out += " " + floatText(sampling_frequency) + " Hz";
  }
  if (!name.empty()) out += ", \"" + name + "\"";
  if (!language.empty() && language != "und") out += ", " + language;
  return out;
}

TrackInfo readTrackEntry(const uint8_t* data, int64_t begin, int64_t end, const EbmlLimits& limits) {
  TrackInfo t;
  t.number = childUnsigned(data, begin, end, limits, id::kTrackNumber, 0);
  t.type = childUnsigned(data, begin, end, limits, id::kTrackType, 0);
  t.codec_id = childText(data, begin, end, limits, id::kCodecId);
  t.name = childText(data, begin, end, limits, id::kName);
  t.language = childText(data, begin, end, limits, id::kLanguageBcp47);
  if (t.language.empty()) t.language = childText(data, begin, end, limits, id::kLanguage);
  t.default_duration = childUnsigned(data, begin, end, limits, id::kDefaultDuration, 0);
  ElementHeader h;
  if (findChild(data, begin, end, limits, id::kCodecPrivate, h) && !h.past_limit) {
    t.codec_private_begin = h.data;
    t.codec_private_end = h.end;
  }
  if (findChild(data, begin, end, limits, id::kVideo, h)) {
    t.has_video = true;
    t.pixel_width = childUnsigned(data, h.data, h.end, limits, id::kPixelWidth, 0);
    t.pixel_height = childUnsigned(data, h.data, h.end, limits, id::kPixelHeight, 0);
    t.interlaced = childUnsigned(data, h.data, h.end, limits, id::kFlagInterlaced, 0);
  }
  if (findChild(data, begin, end, limits, id::kAudio, h)) {
    t.has_audio = true;
    t.channels = childUnsigned(data, h.data, h.end, limits, id::kChannels, 1);
    t.sampling_frequency = childFloat(data, h.data, h.end, limits, id::kSamplingFrequency, 8000);
    t.bit_depth = childUnsigned(data, h.data, h.end, limits, id::kBitDepth, 0);
  }
  if (findChild(data, begin, end, limits, id::kContentEncodings, h)) readContentEncodings(data, h.data, h.end, limits, t);
  t.block_label = t.kindText() + ", " + t.codec_id;
  return t;
}

}  // namespace corvanta::matroska
