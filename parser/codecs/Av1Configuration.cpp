#include "codecs/Av1Configuration.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/Av1Obu.h"

namespace corvanta::codecs {

std::string av1Configuration(FieldReader& f) {
  Av1Context context;
  return av1Configuration(f, context);
}

std::string av1Configuration(FieldReader& f, Av1Context& context) {
  f.u("marker", 1);
  f.u("version", 7);
  const uint64_t profile = f.uh("seq_profile", 3, av1ProfileName);
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
  av1Obus(f, context);
  std::string summary = "AV1 configuration, " + av1ProfileName(profile) + " level index " + numberText(level);
  if (context.has_sequence_header) summary += ", max " + frameSizeText(av1VideoFormat(context.sequence_header));
  return summary;
}

}  // namespace corvanta::codecs
