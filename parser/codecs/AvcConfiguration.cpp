#include "codecs/AvcConfiguration.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/H264ParameterSets.h"
#include "codecs/NalUnits.h"
#include "codecs/VideoFormat.h"

namespace corvanta::codecs {

namespace {

// Every profile but Baseline, Main and Extended has the chroma format, bit depths and SPS
// extensions after the parameter sets (a 4:4:4 record has them too).
bool hasExtensionFields(uint64_t profile) { return profile != 66 && profile != 77 && profile != 88; }

}  // namespace

std::string avcConfiguration(FieldReader& f) {
  H264Context context;
  return avcConfiguration(f, context);
}

std::string avcConfiguration(FieldReader& f, H264Context& context) {
  f.u("configurationVersion", 8);
  const uint64_t profile = f.uh("AVCProfileIndication", 8, h264ProfileName);
  f.u("profile_compatibility", 8);
  const uint64_t level = f.uh("AVCLevelIndication", 8, h264LevelText);
  f.u("reserved", 6);
  f.uh("lengthSizeMinusOne", 2, [](uint64_t v) { return numberText(v + 1) + "-byte NAL unit lengths"; });
  f.u("reserved", 3);
  const NalUnitDecoder decode = [&context](FieldReader& unit) { return h264NalUnit(unit, context); };
  const uint64_t sps = f.u("numOfSequenceParameterSets", 5);
  for (uint64_t i = 1; i <= sps && f.ok(); ++i)
    lengthPrefixedNalUnit(f, "sequenceParameterSetLength", "sequenceParameterSetNALUnit", int64_t(i), decode);
  const uint64_t pps = f.u("numOfPictureParameterSets", 8);
  for (uint64_t i = 1; i <= pps && f.ok(); ++i)
    lengthPrefixedNalUnit(f, "pictureParameterSetLength", "pictureParameterSetNALUnit", int64_t(i), decode);
  if (f.ok() && f.bytesLeft() >= 4 && hasExtensionFields(profile)) {
    f.u("reserved", 6);
    f.uh("chroma_format", 2, chromaFormatText);
    f.u("reserved", 5);
    f.u("bit_depth_luma_minus8", 3);
    f.u("reserved", 5);
    f.u("bit_depth_chroma_minus8", 3);
    const uint64_t ext = f.u("numOfSequenceParameterSetExt", 8);
    for (uint64_t i = 1; i <= ext && f.ok(); ++i)
      lengthPrefixedNalUnit(f, "sequenceParameterSetExtLength", "sequenceParameterSetExtNALUnit", int64_t(i), decode);
  }
  std::string summary = "AVC configuration, " + h264ProfileName(profile) + "@" + h264LevelText(level);
  if (!context.sps.empty()) summary += ", " + frameSizeText(h264VideoFormat(context.sps.begin()->second));
  return summary;
}

}  // namespace corvanta::codecs
