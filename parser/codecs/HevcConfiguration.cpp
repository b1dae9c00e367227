#include "codecs/HevcConfiguration.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/ParameterSets.h"

namespace corvanta::codecs {

namespace {

const ValueName kHevcProfiles[] = {
    {1, "Main"}, {2, "Main 10"}, {3, "Main Still Picture"}, {4, "Range extensions"},
    {5, "High throughput"}, {9, "Screen content coding"},
};

}  // namespace

std::string hevcConfiguration(FieldReader& f) {
  f.u("configurationVersion", 8);
  f.u("general_profile_space", 2);
  f.u("general_tier_flag", 1, f.peek(1) ? "High tier" : "Main tier");
  const uint64_t profile = f.uh("general_profile_idc", 5, [](uint64_t v) { return nameText(kHevcProfiles, v); });
  f.u("general_profile_compatibility_flags", 32);
  f.u("general_constraint_indicator_flags", 48);
  const uint64_t level = f.uh("general_level_idc", 8, [](uint64_t v) { return numberText(v / 30) + "." + numberText(v % 30 / 3); });
  f.u("reserved", 4);
  f.u("min_spatial_segmentation_idc", 12);
  f.u("reserved", 6);
  f.u("parallelismType", 2);
  f.u("reserved", 6);
  f.u("chromaFormat", 2);
  f.u("reserved", 5);
  f.u("bitDepthLumaMinus8", 3);
  f.u("reserved", 5);
  f.u("bitDepthChromaMinus8", 3);
  f.u("avgFrameRate", 16, "frames per 256 seconds");
  f.u("constantFrameRate", 2);
  f.u("numTemporalLayers", 3);
  f.u("temporalIdNested", 1);
  f.uh("lengthSizeMinusOne", 2, [](uint64_t v) { return numberText(v + 1) + "-byte NAL unit lengths"; });
  const uint64_t arrays = f.u("numOfArrays", 8);
  for (uint64_t i = 1; i <= arrays && f.ok() && f.bytesLeft() >= 3; ++i) {
    const int64_t start = f.bitPos();
    f.writer().openUnit("array", start, f.bitsLeft(), {}, {}, int64_t(i));
    f.u("array_completeness", 1);
    f.u("reserved", 1);
    const uint64_t nal_type = f.uh("NAL_unit_type", 6, [](uint64_t v) {
      return v == 32 ? std::string("VPS") : v == 33 ? std::string("SPS") : v == 34 ? std::string("PPS")
           : v == 39 || v == 40 ? std::string("SEI") : std::string();
    });
    const uint64_t nalus = f.u("numNalus", 16);
    for (uint64_t n = 1; n <= nalus && f.ok(); ++n) lengthPrefixedParameterSet(f, "nalUnitLength", "nalUnit", int64_t(n));
    f.writer().setUnitValue("NAL unit type " + numberText(nal_type) + ", " + numberText(nalus) + " units");
    f.writer().closeUnit(f.bitPos() - start);
  }
  return "HEVC configuration, " + nameText(kHevcProfiles, profile) + " level " + numberText(level / 30) + "." +
         numberText(level % 30 / 3);
}

}  // namespace corvanta::codecs
