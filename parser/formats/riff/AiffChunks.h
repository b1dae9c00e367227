#pragma once

#include "formats/riff/RiffWalk.h"

#include <cstdint>

namespace corvanta::riff {

// AIFF and AIFF-C (big-endian): the common chunk with its 80-bit sample rate, the sound data
// counted rather than listed, the format version, markers, instrument and comments.
std::string aiffCommon(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aiffSoundData(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aiffFormatVersion(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aiffMarkers(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aiffInstrument(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string aiffComments(RiffWalk& walk, const Chunk& chunk, FieldReader& f);

// An 80-bit IEEE 754 extended number (sign and 15-bit exponent, 64-bit mantissa with its
// explicit integer bit) as a double.
double extendedValue(uint16_t sign_exponent, uint64_t mantissa);

}  // namespace corvanta::riff
