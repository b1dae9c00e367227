#include "codecs/ColourCodePoints.h"

#include "ValueName.h"

namespace corvanta::codecs {

namespace {

const ValueName kColourPrimaries[] = {{1, "BT.709"}, {2, "unspecified"}, {5, "BT.601 625"}, {6, "BT.601 525"},
                                      {9, "BT.2020"}, {12, "Display P3"}};
const ValueName kTransfer[] = {{1, "BT.709"}, {2, "unspecified"}, {6, "BT.601"}, {13, "sRGB"},
                               {14, "BT.2020 10-bit"}, {16, "PQ"}, {18, "HLG"}};
const ValueName kMatrix[] = {{0, "identity (RGB)"}, {1, "BT.709"}, {2, "unspecified"}, {5, "BT.601 625"},
                             {6, "BT.601 525"}, {9, "BT.2020 non-constant"}};

}  // namespace

std::string colourPrimariesName(uint64_t value) { return nameText(kColourPrimaries, value); }
std::string transferCharacteristicsName(uint64_t value) { return nameText(kTransfer, value); }
std::string matrixCoefficientsName(uint64_t value) { return nameText(kMatrix, value); }

}  // namespace corvanta::codecs
