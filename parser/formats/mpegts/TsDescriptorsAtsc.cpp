// Decoders of the ATSC descriptors (A/52 Annex A, A/65), whose tags are user private elsewhere.
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/mpegts/TsDescriptors.h"
#include "codecs/StreamTypes.h"

namespace corvanta::mpegts::descriptor {

namespace {

const ValueName kAc3SampleRates[] = {{0, "48000 Hz"}, {1, "44100 Hz"}, {2, "32000 Hz"}, {4, "48000 or 44100 Hz"},
                                     {5, "48000 or 32000 Hz"}, {6, "44100 or 32000 Hz"}, {7, "48000, 44100 or 32000 Hz"}};
const ValueName kAc3Channels[] = {{0, "1+1"}, {1, "1/0"}, {2, "2/0"}, {3, "3/0"}, {4, "2/1"}, {5, "3/1"},
                                  {6, "2/2"}, {7, "3/2"}, {8, "1"}, {9, "up to 2"}, {10, "up to 3"},
                                  {11, "up to 4"}, {12, "up to 5"}, {13, "up to 6"}};

std::string ac3BitRate(uint64_t code) {
  static const int kRates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
  const uint64_t index = code & 0x1F;
  if (index >= sizeof kRates / sizeof kRates[0]) return "reserved";
  return std::string(code & 0x20 ? "up to " : "") + numberText(uint64_t(kRates[index])) + " kbit/s";
}

}  // namespace

void atscAc3Audio(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t rate = f.uh("sample_rate_code", 3, [](uint64_t v) { return nameText(kAc3SampleRates, v); });
  f.u("bsid", 5);
  f.uh("bit_rate_code", 6, ac3BitRate);
  f.u("surround_mode", 2);
  f.u("bsmod", 3);
  const uint64_t channels = f.uh("num_channels", 4, [](uint64_t v) { return nameText(kAc3Channels, v); });
  f.u("full_svc", 1);
  if (f.bytesLeft() > 0) f.bytes("additional_info", f.bytesLeft());
  d.summary = "AC-3 " + nameText(kAc3Channels, channels) + ", " + nameText(kAc3SampleRates, rate);
}

void captionService(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("reserved", 3);
  const uint64_t services = f.u("number_of_services", 5);
  std::string languages;
  for (uint64_t i = 0; i < services && f.ok() && f.bytesLeft() >= 6; ++i) {
    FieldUnit entry(f, "caption_service", int64_t(i));
    const std::string language = codeField(f, "language");
    const bool digital = f.uh("digital_cc", 1, [](uint64_t v) { return std::string(v ? "CEA-708" : "CEA-608"); });
    f.u("reserved", 1);
    uint64_t number = 0;
    if (digital) {
      number = f.u("caption_service_number", 6);
    } else {
      f.u("reserved", 5);
      f.u("line21_field", 1);
    }
    f.u("easy_reader", 1);
    f.u("wide_aspect_ratio", 1);
    f.u("reserved", 14);
    entry.setSummary(language + (digital ? ", service " + numberText(number) : ", line 21"));
    languages += (languages.empty() ? "" : ", ") + language;
  }
  d.summary = languages;
}

void serviceLocation(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("reserved", 3);
  f.uh("PCR_PID", 13, [](uint64_t v) { return hexText(v, 4); });
  const uint64_t elements = f.u("number_elements", 8);
  for (uint64_t i = 0; i < elements && f.ok() && f.bytesLeft() >= 6; ++i) {
    FieldUnit entry(f, "element", int64_t(i));
    const uint64_t type = f.uh("stream_type", 8, [](uint64_t v) { return std::string(codecs::streamType(uint8_t(v)).name); });
    f.u("reserved", 3);
    const uint64_t pid = f.uh("elementary_PID", 13, [](uint64_t v) { return hexText(v, 4); });
    const std::string language = codeField(f, "ISO_639_language_code");
    entry.setSummary("PID " + hexText(pid, 4) + " " + codecs::streamType(uint8_t(type)).name);
  }
  d.summary = numberText(elements) + " elements";
}

}  // namespace corvanta::mpegts::descriptor
