#include "codecs/AudioSpecificConfig.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

namespace corvanta::codecs {

namespace {

const ValueName kAudioObjectTypes[] = {{1, "AAC Main"}, {2, "AAC LC"}, {3, "AAC SSR"}, {4, "AAC LTP"},
                                       {5, "SBR (HE-AAC)"}, {29, "PS (HE-AAC v2)"}, {23, "ER AAC LD"},
                                       {39, "ER AAC ELD"}, {42, "USAC"}};

const uint32_t kSamplingRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                   22050, 16000, 12000, 11025, 8000,  7350};

}  // namespace

std::string audioSpecificConfig(FieldReader& f) {
  uint64_t type = f.uh("audioObjectType", 5, [](uint64_t v) { return nameText(kAudioObjectTypes, v); });
  if (type == 31) type = 32 + f.u("audioObjectTypeExt", 6);
  const uint64_t index = f.uh("samplingFrequencyIndex", 4, [](uint64_t v) {
    return v < 13 ? numberText(kSamplingRates[v]) + " Hz" : std::string(v == 15 ? "explicit" : "reserved");
  });
  uint64_t rate = index < 13 ? kSamplingRates[index] : 0;
  if (index == 15) rate = f.u("samplingFrequency", 24, "Hz");
  const uint64_t channels = f.u("channelConfiguration", 4);
  std::string summary;
  if (f.ok()) {
    summary = nameText(kAudioObjectTypes, type);
    summary += (summary.empty() ? "" : ", ") + numberText(channels) + " ch " + numberText(rate) + " Hz";
  }
  f.rest("GASpecificConfig", "remaining bits of the audio configuration");
  return summary;
}

}  // namespace corvanta::codecs
