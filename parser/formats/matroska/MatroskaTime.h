#pragma once

#include <cstdint>
#include <string>

// Matroska times: nanoseconds, and ticks of the segment's TimestampScale.
namespace corvanta::matroska {

// "1:02:03.040" with as many fraction digits as the value needs (3, 6 or 9); "-0:00:00.010".
std::string nanosecondsText(int64_t nanoseconds);

// `ticks` × `scale` nanoseconds; false when it does not fit in 64 bits.
bool ticksToNanoseconds(int64_t ticks, uint64_t scale, int64_t& nanoseconds);

// The time of `ticks` ticks of `scale`, or "beyond the time range" when it does not fit.
std::string ticksText(int64_t ticks, uint64_t scale);

}  // namespace corvanta::matroska
