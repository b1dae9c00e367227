#include "codecs/VpCodecConfiguration.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/ColourCodePoints.h"

namespace corvanta::codecs {

std::string vpCodecConfiguration(FieldReader& f) {
  const uint64_t profile = f.u("profile", 8);
  f.u("level", 8);
  const uint64_t depth = f.u("bitDepth", 4);
  f.u("chromaSubsampling", 3);
  f.u("videoFullRangeFlag", 1);
  f.uh("colourPrimaries", 8, colourPrimariesName);
  f.uh("transferCharacteristics", 8, transferCharacteristicsName);
  f.uh("matrixCoefficients", 8, matrixCoefficientsName);
  const uint64_t size = f.u("codecIntializationDataSize", 16);
  if (f.ok() && int64_t(size) <= f.bytesLeft()) f.bytes("codecIntializationData", int64_t(size));
  return "VP codec configuration, profile " + numberText(profile) + ", " + numberText(depth) + " bit";
}

}  // namespace corvanta::codecs
