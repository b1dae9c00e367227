#include "codecs/Av1Configuration.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

namespace corvanta::codecs {

namespace {

const ValueName kAv1Profiles[] = {{0, "Main"}, {1, "High"}, {2, "Professional"}};

}  // namespace

std::string av1Configuration(FieldReader& f) {
  f.u("marker", 1);
  f.u("version", 7);
  const uint64_t profile = f.uh("seq_profile", 3, [](uint64_t v) { return nameText(kAv1Profiles, v); });
  const uint64_t level = f.u("seq_level_idx_0", 5);
  f.u("seq_tier_0", 1);
  f.u("high_bitdepth", 1);
  f.u("twelve_bit", 1);
  f.u("monochrome", 1);
  f.u("chroma_subsampling_x", 1);
  f.u("chroma_subsampling_y", 1);
  f.u("chroma_sample_position", 2);
  f.u("reserved", 3);
  const uint64_t delay_present = f.u("initial_presentation_delay_present", 1);
  f.u(delay_present ? "initial_presentation_delay_minus_one" : "reserved", 4);
  f.rest("configOBUs");
  return "AV1 configuration, " + nameText(kAv1Profiles, profile) + " level index " + numberText(level);
}

}  // namespace corvanta::codecs
