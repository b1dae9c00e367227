#include "codecs/MpegAudioInfoTag.h"

#include "Checksums.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"

#include <cstring>

namespace corvanta::codecs {

namespace {

constexpr int64_t kVbriOffset = 36;       // from the frame's first byte
constexpr int64_t kLameExtensionBytes = 36;
constexpr uint64_t kMostTocEntries = 4096;

const ValueName kVbrMethods[] = {
    {0, "unknown"}, {1, "constant bitrate"}, {2, "average bitrate"}, {3, "variable bitrate (old/rh)"},
    {4, "variable bitrate (mtrh)"}, {5, "variable bitrate (mt)"}, {6, "variable bitrate"},
    {8, "constant bitrate, two passes"}, {9, "average bitrate, two passes"}, {15, "reserved"},
};

const ValueName kStereoModes[] = {{0, "mono"},  {1, "stereo"}, {2, "dual"},      {3, "joint"},
                                  {4, "force"}, {5, "auto"},   {6, "intensity"}, {7, "undefined"}};

bool letters(const uint8_t* p, int count) {
  for (int i = 0; i < count; ++i)
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  return true;
}

std::string replayGain(FieldReader& f, std::string_view name) {
  FieldUnit unit(f, name);
  const uint64_t code = f.uh("name_code", 3, [](uint64_t v) {
    return std::string(v == 0 ? "not set" : v == 1 ? "radio" : v == 2 ? "audiophile" : "reserved");
  });
  f.uh("originator_code", 3, [](uint64_t v) {
    static const char* const kNames[] = {"not set", "set by artist", "set by user", "set by model", "set by RMS average"};
    return std::string(v < 5 ? kNames[v] : "reserved");
  });
  const bool negative = f.flag("sign_bit");
  const uint64_t tenths = f.u("replay_gain_adjustment", 9, "tenths of a dB");
  if (code == 0) return {};
  const std::string gain = std::string(negative ? "-" : "+") + numberText(tenths / 10) + "." + numberText(tenths % 10) + " dB";
  unit.setSummary(gain);
  return gain;
}

void lameExtension(FieldReader& f, int64_t frame_begin) {
  FieldUnit unit(f, "LAME extension");
  const std::string encoder = f.fixedString("encoder_version", 9, TextEncoding::Latin1);
  f.u("info_tag_revision", 4);
  const uint64_t method = f.uh("vbr_method", 4, [](uint64_t v) { return nameText(kVbrMethods, v); });
  f.uh("lowpass_filter", 8, [](uint64_t v) { return v ? numberText(v * 100) + " Hz" : std::string("unknown"); });
  f.uh("peak_signal_amplitude", 32, [](uint64_t v) { return v ? floatText(double(v) / double(1 << 23)) : std::string("unknown"); });
  replayGain(f, "radio_replay_gain");
  replayGain(f, "audiophile_replay_gain");
  f.flag("nogap_previous");
  f.flag("nogap_next");
  f.flag("nssafejoint");
  f.flag("nspsytune");
  f.u("ath_type", 4);
  f.uh("bitrate", 8, [method](uint64_t v) {
    const char* meaning = method == 2 || method == 9 ? "average" : method == 1 || method == 8 ? "constant" : "minimum";
    return numberText(v) + " kbit/s " + meaning + (v == 255 ? " or more" : "");
  });
  const uint64_t delay = f.u("encoder_delay", 12, "samples");
  const uint64_t padding = f.u("encoder_padding", 12, "samples");
  f.uh("source_frequency", 2, [](uint64_t v) {
    static const char* const kNames[] = {"32 kHz or less", "44.1 kHz", "48 kHz", "more than 48 kHz"};
    return std::string(kNames[v & 3]);
  });
  f.flag("unwise_settings");
  f.uh("stereo_mode", 3, [](uint64_t v) { return nameText(kStereoModes, v); });
  f.u("noise_shaping", 2);
  f.s("mp3_gain", 8, "steps of 1.5 dB");
  f.u("unused", 2);
  f.u("surround_info", 3);
  f.u("preset", 11);
  f.u("music_length", 32, "bytes");
  f.uh("music_crc", 16, [](uint64_t v) { return hexText(v, 4); });
  const uint8_t* data = f.fileData();
  // The check covers the frame's bytes before it (190 in an MPEG-1 stereo frame).
  const bool checkable = f.ok() && f.has(16);
  const uint16_t computed = checkable ? crc16Arc(data + frame_begin, f.bytePos() - frame_begin) : 0;
  f.uh("info_tag_crc", 16, [&](uint64_t v) {
    if (!checkable) return std::string();
    return v == computed ? std::string("ok") : "mismatch, computed " + hexText(computed, 4);
  });
  unit.setSummary(encoder, "delay " + numberText(delay) + ", padding " + numberText(padding));
}

std::string xingHeader(FieldReader& f, int64_t frame_begin) {
  FieldUnit unit(f, "Xing header");
  const std::string id = f.fixedString("id", 4, TextEncoding::Latin1, {});
  const uint64_t flags = f.uh("flags", 32, [](uint64_t v) {
    std::string text;
    const char* const kNames[] = {"frames", "bytes", "TOC", "quality"};
    for (int i = 0; i < 4; ++i)
      if (v & (1u << i)) text += (text.empty() ? "" : ", ") + std::string(kNames[i]);
    return text;
  });
  uint64_t frames = 0;
  if (flags & 1) frames = f.u("frames", 32);
  if (flags & 2) f.u("bytes", 32);
  if (flags & 4) {
    FieldUnit toc(f, "toc");
    for (int i = 0; i < 100 && f.ok(); ++i) f.u("entry", 8, {}, i);
  }
  if (flags & 8) f.u("quality", 32, "0 best, 100 worst");
  if (f.ok() && f.has(kLameExtensionBytes * 8) && letters(f.fileData() + f.bytePos(), 4))
    lameExtension(f, frame_begin);
  const std::string summary = id + " header" + (flags & 1 ? ", " + numberText(frames) + " frames" : "");
  unit.setSummary(summary, id == "Info" ? "constant bitrate" : "variable bitrate");
  return summary;
}

std::string vbriHeader(FieldReader& f) {
  FieldUnit unit(f, "VBRI header");
  f.fixedString("id", 4, TextEncoding::Latin1);
  f.u("version", 16);
  f.u("delay", 16);
  f.u("quality", 16);
  f.u("bytes", 32);
  const uint64_t frames = f.u("frames", 32);
  const uint64_t entries = f.u("toc_entries", 16);
  f.u("toc_scale", 16);
  const uint64_t entry_bytes = f.u("toc_entry_size", 16, "bytes");
  f.u("frames_per_entry", 16);
  if (f.ok() && entry_bytes >= 1 && entry_bytes <= 4) {
    FieldUnit toc(f, "toc");
    for (uint64_t i = 0; i < entries && i < kMostTocEntries && f.ok(); ++i) f.u("entry", int(entry_bytes * 8), {}, int64_t(i));
  }
  const std::string summary = "VBRI header, " + numberText(frames) + " frames";
  unit.setSummary(summary);
  return summary;
}

}  // namespace

std::string writeMpegAudioInfoTag(FieldReader& f, int64_t frame_begin) {
  if (!f.byteAligned() || !f.has(32)) return {};
  const uint8_t* data = f.fileData();
  const uint8_t* here = data + f.bytePos();
  if (std::memcmp(here, "Xing", 4) == 0 || std::memcmp(here, "Info", 4) == 0) return xingHeader(f, frame_begin);
  const int64_t vbri = frame_begin + kVbriOffset;
  if (f.bytePos() > vbri || (vbri + 4) * 8 > f.endBit() || std::memcmp(data + vbri, "VBRI", 4) != 0) return {};
  if (f.bytePos() < vbri) f.bytes("reserved", vbri - f.bytePos());
  return vbriHeader(f);
}

}  // namespace corvanta::codecs
