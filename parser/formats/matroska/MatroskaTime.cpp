#include "formats/matroska/MatroskaTime.h"

#include <cstdio>

namespace corvanta::matroska {

std::string nanosecondsText(int64_t nanoseconds) {
  const bool negative = nanoseconds < 0;
  // The magnitude as unsigned, so that the most negative value has one too.
  const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(nanoseconds) : uint64_t(nanoseconds);
  const uint64_t seconds = magnitude / 1000000000;
  const auto fraction = unsigned(magnitude % 1000000000);
  char buffer[64];
  int length = std::snprintf(buffer, sizeof buffer, "%s%llu:%02u:%02u", negative ? "-" : "",
                             static_cast<unsigned long long>(seconds / 3600), unsigned(seconds / 60 % 60),
                             unsigned(seconds % 60));
  if (fraction % 1000000 == 0)
    std::snprintf(buffer + length, sizeof buffer - size_t(length), ".%03u", fraction / 1000000);
  else if (fraction % 1000 == 0)
    std::snprintf(buffer + length, sizeof buffer - size_t(length), ".%06u", fraction / 1000);
  else
    std::snprintf(buffer + length, sizeof buffer - size_t(length), ".%09u", fraction);
  return buffer;
}

bool ticksToNanoseconds(int64_t ticks, uint64_t scale, int64_t& nanoseconds) {
  if (scale > uint64_t(INT64_MAX)) return false;
  return !__builtin_mul_overflow(ticks, int64_t(scale), &nanoseconds);
}

std::string ticksText(int64_t ticks, uint64_t scale) {
  int64_t nanoseconds = 0;
  return ticksToNanoseconds(ticks, scale, nanoseconds) ? nanosecondsText(nanoseconds) : "beyond the time range";
}

}  // namespace corvanta::matroska
