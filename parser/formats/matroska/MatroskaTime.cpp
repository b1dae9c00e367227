#include "formats/matroska/MatroskaTime.h"

#include <charconv>

namespace corvanta::matroska {

namespace {

// `value` in decimal with at least `width` digits (zeros in front).
void appendPadded(std::string& out, uint64_t value, int width) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  for (int digits = int(result.ptr - buffer); digits < width; ++digits) out += '0';
  out.append(buffer, result.ptr);
}

}  // namespace

// By hand rather than through snprintf: every block's time comes here.
std::string nanosecondsText(int64_t nanoseconds) {
  const bool negative = nanoseconds < 0;
  // The magnitude as unsigned, so that the most negative value has one too.
  const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(nanoseconds) : uint64_t(nanoseconds);
  const uint64_t seconds = magnitude / 1000000000;
  const auto fraction = unsigned(magnitude % 1000000000);
  std::string text;
  text.reserve(24);
  if (negative) text += '-';
  appendPadded(text, seconds / 3600, 1);
  text += ':';
  appendPadded(text, seconds / 60 % 60, 2);
  text += ':';
  appendPadded(text, seconds % 60, 2);
  text += '.';
  if (fraction % 1000000 == 0)
    appendPadded(text, fraction / 1000000, 3);
  else if (fraction % 1000 == 0)
    appendPadded(text, fraction / 1000, 6);
  else
    appendPadded(text, fraction, 9);
  return text;
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
