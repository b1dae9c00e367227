#pragma once

#include <cstdint>
#include <string>

// The colour code points of ISO/IEC 23091-2 (H.273), shared by every codec and
// container that signals them: VUI, vpcC, colr, AV1 colour config, Matroska Colour.
namespace corvanta::codecs {

std::string colourPrimariesName(uint64_t value);
std::string transferCharacteristicsName(uint64_t value);
std::string matrixCoefficientsName(uint64_t value);

}  // namespace corvanta::codecs
