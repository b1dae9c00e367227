#include "codecs/AvcConfiguration.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/ParameterSets.h"

namespace corvanta::codecs {

namespace {

const ValueName kAvcProfiles[] = {
    {44, "CAVLC 4:4:4 Intra"}, {66, "Baseline"}, {77, "Main"}, {88, "Extended"}, {100, "High"},
    {110, "High 10"}, {122, "High 4:2:2"}, {244, "High 4:4:4 Predictive"}, {118, "Multiview High"},
    {128, "Stereo High"},
};

std::string levelText(uint64_t level) {
  return numberText(level / 10) + "." + numberText(level % 10);
}

}  // namespace

std::string avcConfiguration(FieldReader& f) {
  f.u("configurationVersion", 8);
  const uint64_t profile = f.uh("AVCProfileIndication", 8, [](uint64_t v) { return nameText(kAvcProfiles, v); });
  f.u("profile_compatibility", 8);
  const uint64_t level = f.uh("AVCLevelIndication", 8, levelText);
  f.u("reserved", 6);
  f.uh("lengthSizeMinusOne", 2, [](uint64_t v) { return numberText(v + 1) + "-byte NAL unit lengths"; });
  f.u("reserved", 3);
  const uint64_t sps = f.u("numOfSequenceParameterSets", 5);
  for (uint64_t i = 1; i <= sps && f.ok(); ++i)
    lengthPrefixedParameterSet(f, "sequenceParameterSetLength", "sequenceParameterSetNALUnit", int64_t(i));
  const uint64_t pps = f.u("numOfPictureParameterSets", 8);
  for (uint64_t i = 1; i <= pps && f.ok(); ++i)
    lengthPrefixedParameterSet(f, "pictureParameterSetLength", "pictureParameterSetNALUnit", int64_t(i));
  if (f.ok() && f.bytesLeft() >= 4 && (profile == 100 || profile == 110 || profile == 122 || profile == 144)) {
    f.u("reserved", 6);
    f.uh("chroma_format", 2, [](uint64_t v) {
      static const char* const kFormats[] = {"monochrome", "4:2:0", "4:2:2", "4:4:4"};
      return std::string(kFormats[v & 3]);
    });
    f.u("reserved", 5);
    f.u("bit_depth_luma_minus8", 3);
    f.u("reserved", 5);
    f.u("bit_depth_chroma_minus8", 3);
    const uint64_t ext = f.u("numOfSequenceParameterSetExt", 8);
    for (uint64_t i = 1; i <= ext && f.ok(); ++i)
      lengthPrefixedParameterSet(f, "sequenceParameterSetExtLength", "sequenceParameterSetExtNALUnit", int64_t(i));
  }
  return "AVC configuration, " + nameText(kAvcProfiles, profile) + "@" + levelText(level);
}

}  // namespace corvanta::codecs
