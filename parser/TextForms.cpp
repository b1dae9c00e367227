#include "TextForms.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace corvanta {

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = unsigned(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = int64_t(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

// Beyond about ±35000 years a date says nothing a person could use.
constexpr int64_t kLargestDateSeconds = int64_t(1) << 40;

// `seconds` may be 60: a leap second.
std::string dateText(int64_t days, int hours, int minutes, int seconds, uint32_t nanoseconds) {
  int64_t year;
  unsigned month, day;
  civilFromDays(days, year, month, day);
  char buffer[64];
  int length = std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(year),
                             month, day, hours, minutes, seconds);
  if (nanoseconds)
    length += std::snprintf(buffer + length, sizeof buffer - size_t(length), ".%09u", unsigned(nanoseconds));
  return std::string(buffer, size_t(length)) + " UTC";
}

constexpr std::string_view kReplacementCharacter = "\xef\xbf\xbd";  // U+FFFD

void appendUtf8(std::string& out, uint32_t code_point) {
  if (code_point < 0x80) {
    out += char(code_point);
  } else if (code_point < 0x800) {
    out += char(0xc0 | (code_point >> 6));
    out += char(0x80 | (code_point & 0x3f));
  } else if (code_point < 0x10000) {
    out += char(0xe0 | (code_point >> 12));
    out += char(0x80 | ((code_point >> 6) & 0x3f));
    out += char(0x80 | (code_point & 0x3f));
  } else {
    out += char(0xf0 | (code_point >> 18));
    out += char(0x80 | ((code_point >> 12) & 0x3f));
    out += char(0x80 | ((code_point >> 6) & 0x3f));
    out += char(0x80 | (code_point & 0x3f));
  }
}

// The length of a UTF-8 sequence from its lead byte and the range its second byte must lie
// in (which rules out overlong forms, surrogates and code points past U+10FFFF); 0 when the
// byte cannot start a sequence.
int utf8SequenceLength(uint8_t lead, uint8_t& second_low, uint8_t& second_high) {
  second_low = 0x80;
  second_high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) return 2;
  if (lead == 0xe0) second_low = 0xa0;
  if (lead == 0xed) second_high = 0x9f;
  if (lead >= 0xe0 && lead <= 0xef) return 3;
  if (lead == 0xf0) second_low = 0x90;
  if (lead == 0xf4) second_high = 0x8f;
  if (lead >= 0xf0 && lead <= 0xf4) return 4;
  return 0;
}

}  // namespace

bool isPrintableFourCC(uint32_t four_cc) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned c = (four_cc >> shift) & 0xff;
    if (!(c >= 0x20 && c < 0x7f) && c != 0xa9) return false;
  }
  return true;
}

std::string fourCCText(uint32_t four_cc) {
  if (!isPrintableFourCC(four_cc)) return hexText(four_cc, 8);
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned c = (four_cc >> shift) & 0xff;
    if (c == 0xa9)
      out += "\xc2\xa9";  // © in UTF-8
    else
      out += char(c);
  }
  return out;
}

std::string numberText(uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, size_t(result.ptr - buffer));
}

std::string signedText(int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, size_t(result.ptr - buffer));
}

std::string hexText(uint64_t value, int digits) {
  if (digits < 0 || digits > 16) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return buffer;
  }
  // By hand rather than through snprintf: every EBML ID and many other fields come here.
  static const char kDigits[] = "0123456789ABCDEF";
  int width = 1;
  while (width < 16 && value >> (4 * width) != 0) ++width;
  width = std::max(width, digits);
  char buffer[18] = {'0', 'x'};
  for (int i = width - 1; i >= 0; --i, value >>= 4) buffer[2 + i] = kDigits[value & 15];
  return std::string(buffer, size_t(2 + width));
}

std::string uuidText(const uint8_t* bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(36);
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

std::string hexDump(const uint8_t* bytes, int64_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  const int64_t shown = size < 16 ? size : 16;
  std::string out;
  out.reserve(size_t(shown) * 3 + 4);
  for (int64_t i = 0; i < shown; ++i) {
    if (i) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  if (size > shown) out += " \xe2\x80\xa6";  // …
  return out;
}

std::string fixedText(int64_t value, int fraction_bits) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.6g", double(value) / double(int64_t(1) << fraction_bits));
  return buffer;
}

std::string floatText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "infinity" : "-infinity";
  char buffer[32];
  for (int precision = 6; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

std::string floatText(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "infinity" : "-infinity";
  char buffer[32];
  for (int precision = 6; precision <= 9; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, double(value));
    if (std::strtof(buffer, nullptr) == value) break;
  }
  return buffer;
}

std::string latin1Text(const uint8_t* data, int64_t size) {
  std::string out;
  out.reserve(size_t(size));
  for (int64_t i = 0; i < size; ++i) appendUtf8(out, data[i]);
  return out;
}

// Each maximal ill-formed part becomes one U+FFFD, as Unicode recommends.
std::string utf8Text(const uint8_t* data, int64_t size) {
  std::string out;
  out.reserve(size_t(size));
  int64_t i = 0;
  while (i < size) {
    const uint8_t lead = data[i];
    if (lead < 0x80) {
      out += char(lead);
      ++i;
      continue;
    }
    uint8_t low, high;
    const int length = utf8SequenceLength(lead, low, high);
    int64_t next = i + 1;  // stops at the first byte that does not continue the sequence
    bool complete = length > 0;
    for (int k = 1; complete && k < length; ++k) {
      complete = next < size && data[next] >= low && data[next] <= high;
      if (complete) ++next;
      low = 0x80;
      high = 0xbf;
    }
    if (complete)
      out.append(reinterpret_cast<const char*>(data + i), size_t(next - i));
    else
      out += kReplacementCharacter;
    i = next;
  }
  return out;
}

std::string utf16Text(const uint8_t* data, int64_t size, bool big_endian) {
  auto unitAt = [&](int64_t i) {
    return big_endian ? uint32_t(data[i] << 8 | data[i + 1]) : uint32_t(data[i + 1] << 8 | data[i]);
  };
  std::string out;
  out.reserve(size_t(size));
  int64_t i = 0;
  for (; i + 1 < size; i += 2) {
    const uint32_t unit = unitAt(i);
    if (unit < 0xd800 || unit > 0xdfff) {
      appendUtf8(out, unit);
    } else if (unit <= 0xdbff && i + 3 < size && unitAt(i + 2) >= 0xdc00 && unitAt(i + 2) <= 0xdfff) {
      appendUtf8(out, 0x10000 + ((unit - 0xd800) << 10) + (unitAt(i + 2) - 0xdc00));
      i += 2;
    } else {
      out += kReplacementCharacter;  // a surrogate without its partner
    }
  }
  if (i < size) out += kReplacementCharacter;  // half a code unit at the end
  return out;
}

std::string unixDateText(int64_t seconds, uint32_t nanoseconds) {
  if (seconds > kLargestDateSeconds || seconds < -kLargestDateSeconds) return "out of range";
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  return dateText(days, int(rest / 3600), int(rest / 60 % 60), int(rest % 60), nanoseconds);
}

std::string dateTextSince1904(uint64_t seconds) {
  constexpr int64_t kSeconds1904To1970 = 2082844800;
  if (seconds > uint64_t(kLargestDateSeconds)) return "out of range";
  return unixDateText(int64_t(seconds) - kSeconds1904To1970);
}

std::string dateTextSince2001(int64_t nanoseconds) {
  constexpr int64_t kSeconds1970To2001 = 978307200;
  int64_t seconds = nanoseconds / 1000000000;
  int64_t rest = nanoseconds % 1000000000;
  if (rest < 0) {
    rest += 1000000000;
    --seconds;
  }
  return unixDateText(seconds + kSeconds1970To2001, uint32_t(rest));
}

std::string mjdDateText(uint16_t mjd, uint32_t bcd_time) {
  constexpr int64_t kMjdOf1970 = 40587;
  int digits[6];
  for (int i = 0; i < 6; ++i) {
    digits[i] = int((bcd_time >> (20 - 4 * i)) & 0xf);
    if (digits[i] > 9) return "invalid BCD time";
  }
  const int hours = digits[0] * 10 + digits[1];
  const int minutes = digits[2] * 10 + digits[3];
  const int seconds = digits[4] * 10 + digits[5];
  if (hours > 23 || minutes > 59 || seconds > 60) return "invalid time";
  return dateText(int64_t(mjd) - kMjdOf1970, hours, minutes, seconds, 0);
}

std::string durationText(uint64_t ticks, uint32_t timescale) {
  if (timescale == 0) return "no timescale";
  const uint64_t seconds = ticks / timescale;
  const uint64_t millis = (ticks % timescale) * 1000 / timescale;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%llu:%02u:%02u.%03u", static_cast<unsigned long long>(seconds / 3600),
                unsigned(seconds / 60 % 60), unsigned(seconds % 60), unsigned(millis));
  return buffer;
}

std::string secondsText(int64_t ticks, uint32_t timescale) {
  if (timescale == 0) return "no timescale";
  // to_chars rounds as "%.6f" does, at a fraction of its cost: every PES header and PCR comes here.
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer - 2, double(ticks) / double(timescale), std::chars_format::fixed, 6);
  std::string text(buffer, result.ptr);
  text += " s";
  return text;
}

void appendNumber(std::string& out, uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, size_t(result.ptr - buffer));
}

void appendSigned(std::string& out, int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, size_t(result.ptr - buffer));
}

void appendHex(std::string& out, uint64_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  char buffer[20];
  int length = 0;
  do {
    buffer[length++] = kDigits[value & 15];
    value >>= 4;
  } while (value != 0 && length < 16);
  while (length < digits && length < 16) buffer[length++] = '0';
  out += "0x";
  while (length > 0) out += buffer[--length];
}

void appendSeconds(std::string& out, int64_t ticks, uint32_t rate) {
  if (rate == 0) {
    out += "no timescale";
    return;
  }
  uint64_t magnitude = ticks < 0 ? uint64_t(0) - uint64_t(ticks) : uint64_t(ticks);
  uint64_t whole = magnitude / rate;
  uint64_t micro = ((magnitude % rate) * 1000000 + rate / 2) / rate;
  if (micro == 1000000) {
    ++whole;
    micro = 0;
  }
  if (ticks < 0) out += '-';
  appendNumber(out, whole);
  char fraction[8] = {'.', '0', '0', '0', '0', '0', '0', ' '};
  for (int i = 6; i >= 1; --i, micro /= 10) fraction[i] = char('0' + micro % 10);
  out.append(fraction, sizeof fraction);
  out += 's';
}

std::string charsetText(const char* charset, const uint8_t* data, int64_t size) {
  iconv_t converter = iconv_open("UTF-8", charset);
  if (converter == iconv_t(-1)) return latin1Text(data, size);
  std::string out;
  out.reserve(size_t(size) * 2);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
  size_t in_left = size_t(size);
  char buffer[256];
  while (in_left > 0) {
    char* to = buffer;
    size_t to_left = sizeof buffer;
    const size_t result = iconv(converter, &in, &in_left, &to, &to_left);
    out.append(buffer, size_t(to - buffer));
    if (result != size_t(-1) || errno == E2BIG) continue;
    // An invalid or incomplete sequence: one replacement character, then on after its first byte.
    out += kReplacementCharacter;
    ++in;
    --in_left;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(converter);
  return out;
}

}  // namespace corvanta
