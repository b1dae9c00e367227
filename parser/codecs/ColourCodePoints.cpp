#include "codecs/ColourCodePoints.h"

#include "ValueName.h"

namespace corvanta::codecs {

namespace {

const ValueName kColourPrimaries[] = {
    {1, "BT.709"}, {2, "unspecified"}, {4, "BT.470 System M"}, {5, "BT.601 625"}, {6, "BT.601 525"},
    {7, "SMPTE 240M"}, {8, "generic film"}, {9, "BT.2020"}, {10, "SMPTE ST 428-1 (XYZ)"}, {11, "DCI P3"},
    {12, "Display P3"}, {22, "EBU Tech 3213-E"}};
const ValueName kTransfer[] = {
    {1, "BT.709"}, {2, "unspecified"}, {4, "gamma 2.2"}, {5, "gamma 2.8"}, {6, "BT.601"}, {7, "SMPTE 240M"},
    {8, "linear"}, {9, "logarithmic 100:1"}, {10, "logarithmic 316:1"}, {11, "IEC 61966-2-4"}, {12, "BT.1361"},
    {13, "sRGB"}, {14, "BT.2020 10-bit"}, {15, "BT.2020 12-bit"}, {16, "PQ"}, {17, "SMPTE ST 428-1"},
    {18, "HLG"}};
const ValueName kMatrix[] = {
    {0, "identity (RGB)"}, {1, "BT.709"}, {2, "unspecified"}, {4, "FCC"}, {5, "BT.601 625"}, {6, "BT.601 525"},
    {7, "SMPTE 240M"}, {8, "YCgCo"}, {9, "BT.2020 non-constant"}, {10, "BT.2020 constant"},
    {11, "SMPTE ST 2085"}, {12, "chromaticity-derived non-constant"}, {13, "chromaticity-derived constant"},
    {14, "ICtCp"}};

}  // namespace

std::string colourPrimariesName(uint64_t value) { return nameText(kColourPrimaries, value); }
std::string transferCharacteristicsName(uint64_t value) { return nameText(kTransfer, value); }
std::string matrixCoefficientsName(uint64_t value) { return nameText(kMatrix, value); }

}  // namespace corvanta::codecs
