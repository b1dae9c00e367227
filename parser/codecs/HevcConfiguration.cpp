#include "codecs/HevcConfiguration.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/HevcParameterSets.h"
#include "codecs/NalUnits.h"

namespace corvanta::codecs {

std::string hevcConfiguration(FieldReader& f) {
  HevcContext context;
  return hevcConfiguration(f, context);
}

std::string hevcConfiguration(FieldReader& f, HevcContext& context) {
  f.u("configurationVersion", 8);
  f.u("general_profile_space", 2);
  f.u("general_tier_flag", 1, f.peek(1) ? "High tier" : "Main tier");
  const uint64_t profile = f.uh("general_profile_idc", 5, hevcProfileName);
  f.u("general_profile_compatibility_flags", 32);
  f.u("general_constraint_indicator_flags", 48);
  const uint64_t level = f.uh("general_level_idc", 8, hevcLevelText);
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
  const NalUnitDecoder decode = [&context](FieldReader& unit) { return hevcNalUnit(unit, context); };
  const uint64_t arrays = f.u("numOfArrays", 8);
  for (uint64_t i = 1; i <= arrays && f.ok() && f.bytesLeft() >= 3; ++i) {
    const int64_t start = f.bitPos();
    f.writer().openUnit("array", start, f.bitsLeft(), {}, {}, int64_t(i));
    f.u("array_completeness", 1);
    f.u("reserved", 1);
    const uint64_t nal_type = f.uh("NAL_unit_type", 6, hevcNalUnitTypeName);
    const uint64_t nalus = f.u("numNalus", 16);
    for (uint64_t n = 1; n <= nalus && f.ok(); ++n) lengthPrefixedNalUnit(f, "nalUnitLength", "nalUnit", int64_t(n), decode);
    f.writer().setUnitValue("NAL unit type " + numberText(nal_type) + ", " + numberText(nalus) + " units");
    f.writer().closeUnit(f.bitPos() - start);
  }
  std::string summary = "HEVC configuration, " + hevcProfileName(profile) + " level " + hevcLevelText(level);
  if (!context.sps.empty()) summary += ", " + frameSizeText(hevcVideoFormat(context.sps.begin()->second));
  return summary;
}

}  // namespace corvanta::codecs
