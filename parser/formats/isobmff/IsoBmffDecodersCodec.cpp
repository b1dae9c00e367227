// Decoders of sample entries and of the codec configuration boxes inside them.
#include "ElementWriter.h"
#include "formats/isobmff/IsoBmffBox.h"
#include "formats/isobmff/IsoBmffDecoders.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/isobmff/IsoBmffSamples.h"
#include "codecs/ColourCodePoints.h"

#include <cstring>

namespace corvanta::isobmff::decode {

namespace {

const ValueName kVisualCodes[] = {
    {fourCC("avc1"), ""}, {fourCC("avc3"), ""}, {fourCC("hvc1"), ""}, {fourCC("hev1"), ""}, {fourCC("av01"), ""},
    {fourCC("vp08"), ""}, {fourCC("vp09"), ""}, {fourCC("mp4v"), ""}, {fourCC("jpeg"), ""}, {fourCC("mjpa"), ""},
    {fourCC("s263"), ""}, {fourCC("encv"), ""}, {fourCC("apch"), ""}, {fourCC("apcn"), ""}, {fourCC("dvh1"), ""},
};

const ValueName kAudioCodes[] = {
    {fourCC("mp4a"), ""}, {fourCC("Opus"), ""}, {fourCC("ac-3"), ""}, {fourCC("ec-3"), ""}, {fourCC("fLaC"), ""},
    {fourCC("samr"), ""}, {fourCC("sawb"), ""}, {fourCC("alac"), ""}, {fourCC("lpcm"), ""}, {fourCC("sowt"), ""},
    {fourCC("twos"), ""}, {fourCC("enca"), ""}, {fourCC("ulaw"), ""}, {fourCC("alaw"), ""}, {fourCC("in24"), ""},
};

void visualEntry(BoxScope& b) {
  FieldReader& f = b.f;
  f.u("pre_defined", 16);
  f.u("reserved", 16);
  f.bytes("pre_defined", 12);
  const uint64_t width = f.u("width", 16);
  const uint64_t height = f.u("height", 16);
  f.fixed("horizresolution", 32, 16);
  f.fixed("vertresolution", 32, 16);
  f.u("reserved", 32);
  f.u("frame_count", 16);
  std::string compressor;
  if (f.has(32 * 8) && f.peek(8) <= 31)
    compressor = f.pstring("compressorname", 32);
  else
    f.bytes("compressorname", 32);
  f.uh("depth", 16, [](uint64_t v) { return v == 0x18 ? std::string("colour, no alpha") : std::string(); });
  f.s("pre_defined", 16);
  if (!f.ok()) return;
  b.summary = fourCCText(b.box.type) + " " + numberText(width) + "x" + numberText(height);
  if (!compressor.empty()) b.summary += " \"" + compressor + "\"";
}

void audioEntry(BoxScope& b) {
  FieldReader& f = b.f;
  const uint64_t version = f.u("entry_version", 16);
  // QuickTime sound descriptions 1 and 2 extend the entry; ISO files keep version 0.
  const bool quicktime_layout =
      version == 2 || (version == 1 && (b.map.isQuickTime() ||
                                        isPlausibleBox(f.fileData(), f.bytePos() + 34, f.endByte())));
  if (quicktime_layout) {
    f.u("revision_level", 16);
    f.fourcc("vendor");
  } else {
    f.bytes("reserved", 6);
  }
  uint64_t channels = f.u("channelcount", 16);
  f.u("samplesize", 16, "bits");
  f.s(quicktime_layout ? "compression_id" : "pre_defined", 16);
  f.u(quicktime_layout ? "packet_size" : "reserved", 16);
  uint64_t rate = f.uh("samplerate", 32, [](uint64_t v) { return numberText(v >> 16) + " Hz"; }) >> 16;
  if (quicktime_layout && version == 1) {
    f.u("samples_per_packet", 32);
    f.u("bytes_per_packet", 32);
    f.u("bytes_per_frame", 32);
    f.u("bytes_per_sample", 32);
  } else if (quicktime_layout && version == 2) {
    f.u("sizeOfStructOnly", 32);
    double sample_rate = 0;
    if (f.has(64)) {
      const uint64_t bits = f.peek(64);
      std::memcpy(&sample_rate, &bits, sizeof sample_rate);
    }
    f.u("audioSampleRate", 64, numberText(uint64_t(sample_rate > 0 && sample_rate < 1e9 ? sample_rate : 0)) + " Hz");
    rate = uint64_t(sample_rate > 0 && sample_rate < 1e9 ? sample_rate : 0);
    channels = f.u("numAudioChannels", 32);
    f.u("always7F000000", 32);
    f.u("constBitsPerChannel", 32);
    f.u("formatSpecificFlags", 32);
    f.u("constBytesPerAudioPacket", 32);
    f.u("constLPCMFramesPerAudioPacket", 32);
  }
  if (!f.ok()) return;
  b.summary = fourCCText(b.box.type) + " " + numberText(channels) + " ch " + numberText(rate) + " Hz";
}

}  // namespace

void sampleEntry(BoxScope& b) {
  FieldReader& f = b.f;
  f.bytes("reserved", 6);
  f.u("data_reference_index", 16);
  const uint32_t handler = b.track ? b.track->handler : 0;
  const uint32_t type = b.box.type;
  const bool visual = handler == fourCC("vide") || handler == fourCC("pict") || handler == fourCC("auxv") ||
                      (!handler && nameOf(kVisualCodes, type));
  const bool audio = handler == fourCC("soun") || (!handler && nameOf(kAudioCodes, type));
  if (visual) return visualEntry(b);
  if (audio) return audioEntry(b);
  // Text, timecode, metadata and hint entries: their fields stay one opaque stretch.
  f.rest("data", "format-specific fields");
  b.summary = fourCCText(type) + " sample entry";
}

void pasp(BoxScope& b) {
  const uint64_t h = b.f.u("hSpacing", 32);
  const uint64_t v = b.f.u("vSpacing", 32);
  b.summary = "Pixel aspect ratio " + numberText(h) + ":" + numberText(v);
}

void colr(BoxScope& b) {
  FieldReader& f = b.f;
  const uint32_t type = f.fourcc("colour_type");
  if (type == fourCC("nclx") || type == fourCC("nclc")) {
    f.uh("colour_primaries", 16, codecs::colourPrimariesName);
    f.uh("transfer_characteristics", 16, codecs::transferCharacteristicsName);
    f.uh("matrix_coefficients", 16, codecs::matrixCoefficientsName);
    if (type == fourCC("nclx")) {
      f.u("full_range_flag", 1);
      f.u("reserved", 7);
    }
  } else if (type == fourCC("rICC") || type == fourCC("prof")) {
    f.rest("ICC_profile");
  }
  b.summary = "Colour information " + fourCCText(type);
}

void btrt(BoxScope& b) {
  b.f.u("bufferSizeDB", 32, "bytes");
  const uint64_t max = b.f.u("maxBitrate", 32, "bit/s");
  const uint64_t avg = b.f.u("avgBitrate", 32, "bit/s");
  b.summary = "Bit rate, average " + numberText(avg) + " bit/s, maximum " + numberText(max) + " bit/s";
}

void clap(BoxScope& b) {
  static const char* const kNames[] = {"cleanApertureWidthN", "cleanApertureWidthD", "cleanApertureHeightN",
                                       "cleanApertureHeightD", "horizOffN", "horizOffD", "vertOffN", "vertOffD"};
  for (const char* name : kNames) b.f.s(name, 32);
}

void fiel(BoxScope& b) {
  b.f.u("fields", 8, b.f.peek(8) == 1 ? "progressive" : "interlaced");
  b.f.u("detail", 8);
}

}  // namespace corvanta::isobmff::decode
