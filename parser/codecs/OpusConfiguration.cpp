#include "codecs/OpusConfiguration.h"

#include "FieldReader.h"
#include "TextForms.h"

namespace corvanta::codecs {

std::string opusSpecificBox(FieldReader& f) {
  f.u("Version", 8);
  const uint64_t channels = f.u("OutputChannelCount", 8);
  f.u("PreSkip", 16, "samples at 48 kHz");
  // Some muxers wrote this box little-endian; say so when only that reading makes sense.
  const uint64_t stored = f.peek(32);
  const uint64_t swapped = ((stored & 0xff) << 24) | ((stored & 0xff00) << 8) | ((stored >> 8) & 0xff00) | (stored >> 24);
  const bool looks_swapped = stored > 768000 && swapped > 0 && swapped <= 768000;
  const uint64_t rate = f.u("InputSampleRate", 32,
                            looks_swapped ? "Hz; written little-endian? then " + numberText(swapped) + " Hz" : "Hz");
  f.s("OutputGain", 16, "Q7.8 dB");
  const uint64_t family = f.u("ChannelMappingFamily", 8);
  if (family != 0 && f.ok()) {
    f.u("StreamCount", 8);
    f.u("CoupledCount", 8);
    for (uint64_t i = 1; i <= channels && f.ok(); ++i) f.u("ChannelMapping", 8, {}, int64_t(i));
  }
  return "Opus, " + numberText(channels) + " ch, input " + numberText(rate) + " Hz";
}

std::string opusHead(FieldReader& f) {
  f.fixedString("MagicSignature", 8, TextEncoding::Latin1);
  const uint64_t version = f.u("Version", 8, f.peek(8) >> 4 ? "incompatible version" : "");
  const uint64_t channels = f.u("OutputChannelCount", 8);
  f.ule("PreSkip", 2, "samples at 48 kHz");
  const uint64_t rate = f.ule("InputSampleRate", 4, "Hz");
  f.sle("OutputGain", 2, "Q7.8 dB");
  const uint64_t family = f.u("ChannelMappingFamily", 8);
  if (family != 0 && f.ok()) {
    f.u("StreamCount", 8);
    f.u("CoupledCount", 8);
    for (uint64_t i = 1; i <= channels && f.ok(); ++i) f.u("ChannelMapping", 8, {}, int64_t(i));
  }
  if (!f.ok()) return "Opus identification header";
  return "Opus v" + numberText(version) + ", " + numberText(channels) + " ch, input " + numberText(rate) + " Hz";
}

}  // namespace corvanta::codecs
