#include "formats/IsoBmffFields.h"

#include "ElementWriter.h"

#include <charconv>
#include <cstdio>

namespace corvanta::isobmff {

namespace {

std::string_view toChars(char (&buffer)[24], uint64_t value) {
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return {buffer, size_t(result.ptr - buffer)};
}

std::string_view toChars(char (&buffer)[24], int64_t value) {
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return {buffer, size_t(result.ptr - buffer)};
}

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

}  // namespace

bool isPrintableCode(uint32_t four_cc) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned c = (four_cc >> shift) & 0xff;
    if (!(c >= 0x20 && c < 0x7f) && c != 0xa9) return false;
  }
  return true;
}

std::string codeText(uint32_t four_cc) {
  if (!isPrintableCode(four_cc)) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", four_cc);
    return buffer;
  }
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
  return std::string(toChars(buffer, value));
}

std::string signedText(int64_t value) {
  char buffer[24];
  return std::string(toChars(buffer, value));
}

std::string dateText(uint64_t seconds_since_1904) {
  constexpr int64_t kSeconds1904To1970 = 2082844800;
  if (seconds_since_1904 > uint64_t(1) << 40) return "out of range";
  const int64_t unix_seconds = int64_t(seconds_since_1904) - kSeconds1904To1970;
  int64_t days = unix_seconds / 86400;
  int64_t rest = unix_seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  int64_t year;
  unsigned month, day;
  civilFromDays(days, year, month, day);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02d:%02d:%02d UTC", static_cast<long long>(year),
                month, day, int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
  return buffer;
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
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.6f s", double(ticks) / double(timescale));
  return buffer;
}

std::string languageText(uint16_t packed) {
  if (packed < 0x400) return "Macintosh language " + numberText(packed);
  if (packed == 0x7fff) return "unspecified";
  std::string out;
  for (int shift = 10; shift >= 0; shift -= 5) out += char(((packed >> shift) & 0x1f) + 0x60);
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

std::string sampleFlagsText(uint32_t flags) {
  static const char* const kDependsOn[] = {"depends on: unknown", "depends on others",
                                           "depends on no other", "depends on: reserved"};
  std::string out = (flags & 0x10000) ? "non-sync" : "sync";
  out += ", ";
  out += kDependsOn[(flags >> 24) & 3];
  const unsigned leading = (flags >> 26) & 3;
  if (leading) out += ", is_leading " + numberText(leading);
  const unsigned padding = (flags >> 17) & 7;
  if (padding) out += ", padding " + numberText(padding);
  if (flags & 0xffff) out += ", degradation priority " + numberText(flags & 0xffff);
  return out;
}

Fields::Fields(ElementWriter& writer, const uint8_t* file_data, int64_t begin, int64_t end)
    : w(writer), data(file_data), bit(begin * 8), end_bit(end * 8) {
  if (end < begin) end_bit = bit;
}

bool Fields::need(int64_t bits) {
  if (!has(bits)) good = false;
  return good;
}

uint64_t Fields::peek(int bits) const {
  if (bits <= 0 || bits > 64 || bits > end_bit - bit) return 0;
  uint64_t value = 0;
  if ((bit & 7) == 0 && (bits & 7) == 0) {
    const uint8_t* p = data + (bit >> 3);
    for (int i = 0; i < bits / 8; ++i) value = (value << 8) | p[i];
    return value;
  }
  for (int64_t b = bit; b < bit + bits; ++b) value = (value << 1) | ((data[b >> 3] >> (7 - (b & 7))) & 1u);
  return value;
}

uint64_t Fields::read(int bits) {
  if (!need(bits)) return 0;
  const uint64_t value = peek(bits);
  bit += bits;
  return value;
}

void Fields::skipBits(int64_t bits) {
  if (need(bits)) bit += bits;
}

uint64_t Fields::u(std::string_view name, int bits, std::string_view hrf, int64_t seq) {
  if (!need(bits)) return 0;
  const uint64_t value = peek(bits);
  char buffer[24];
  w.addField(name, bit, bits, toChars(buffer, value), hrf, seq);
  bit += bits;
  return value;
}

int64_t Fields::s(std::string_view name, int bits, std::string_view hrf, int64_t seq) {
  if (!need(bits)) return 0;
  uint64_t raw = peek(bits);
  if (bits < 64 && (raw >> (bits - 1)) & 1) raw |= ~uint64_t(0) << bits;
  const int64_t value = int64_t(raw);
  char buffer[24];
  w.addField(name, bit, bits, toChars(buffer, value), hrf, seq);
  bit += bits;
  return value;
}

uint32_t Fields::fourcc(std::string_view name, std::string_view hrf, int64_t seq) {
  if (!need(32)) return 0;
  const uint32_t value = uint32_t(peek(32));
  w.addField(name, bit, 32, codeText(value), hrf, seq);
  bit += 32;
  return value;
}

int64_t Fields::fixed(std::string_view name, int bits, int fraction_bits, bool is_signed) {
  if (!need(bits)) return 0;
  uint64_t raw = peek(bits);
  if (is_signed && (raw >> (bits - 1)) & 1) raw |= ~uint64_t(0) << bits;
  const int64_t value = int64_t(raw);
  char buffer[24];
  w.addField(name, bit, bits, is_signed ? toChars(buffer, value) : toChars(buffer, raw),
             fixedText(value, fraction_bits));
  bit += bits;
  return value;
}

uint64_t Fields::time(std::string_view name, int bits) {
  return uh(name, bits, [](uint64_t v) { return v ? dateText(v) : std::string("not set"); });
}

uint64_t Fields::duration(std::string_view name, int bits, uint32_t timescale) {
  const uint64_t all_ones = bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1;
  return uh(name, bits, [&](uint64_t v) {
    return v == all_ones ? std::string("unknown") : durationText(v, timescale);
  });
}

void Fields::matrix(std::string_view name) {
  if (!need(36 * 8)) return;
  std::string raw;
  int64_t values[9];
  for (int i = 0; i < 9; ++i) {
    values[i] = int32_t(uint32_t(peek(32)));
    bit += 32;
    if (i) raw += ' ';
    raw += signedText(values[i]);
  }
  bit -= 36 * 8;
  const int64_t one = 0x10000;
  std::string hrf;
  if (values[0] == one && values[1] == 0 && values[3] == 0 && values[4] == one) hrf = "identity";
  else if (values[0] == 0 && values[1] == one && values[3] == -one && values[4] == 0) hrf = "rotate 90°";
  else if (values[0] == -one && values[1] == 0 && values[3] == 0 && values[4] == -one) hrf = "rotate 180°";
  else if (values[0] == 0 && values[1] == -one && values[3] == one && values[4] == 0) hrf = "rotate 270°";
  text(name, 36 * 8, raw, hrf);
}

std::string Fields::cstring(std::string_view name) {
  if ((bit & 7) || !good) {
    good = false;
    return {};
  }
  const int64_t begin = bit >> 3;
  const int64_t end = end_bit >> 3;
  int64_t stop = begin;
  while (stop < end && data[stop] != 0) ++stop;
  const std::string value(reinterpret_cast<const char*>(data + begin), size_t(stop - begin));
  const int64_t length = (stop < end ? stop + 1 : stop) - begin;
  text(name, length * 8, value);
  return value;
}

std::string Fields::pstring(std::string_view name, int total) {
  if (!need(8) || (total > 0 && !need(int64_t(total) * 8))) return {};
  const int length = int(peek(8));
  const int64_t available = total > 0 ? total - 1 : bytesLeft() - 1;
  if (length > available) {
    good = false;
    return {};
  }
  const std::string value(reinterpret_cast<const char*>(data + (bit >> 3) + 1), size_t(length));
  text(name, (total > 0 ? total : length + 1) * int64_t(8), value);
  return value;
}

void Fields::bytes(std::string_view name, int64_t count, std::string_view hrf, int64_t seq) {
  if (count < 0 || count > (int64_t(1) << 56) || !need(count * 8)) return;
  if (bit & 7) {
    good = false;
    return;
  }
  std::string own_hrf;
  if (hrf.empty()) {
    own_hrf = numberText(uint64_t(count)) + " bytes";
    hrf = own_hrf;
  }
  w.addField(name, bit, count * 8, hexDump(data + (bit >> 3), count), hrf, seq);
  bit += count * 8;
}

void Fields::rest(std::string_view name, std::string_view hrf) {
  if (!good || bit >= end_bit) return;
  if (bit & 7) {
    text(name, end_bit - bit, {}, hrf);
    return;
  }
  bytes(name, bytesLeft(), hrf);
}

void Fields::text(std::string_view name, int64_t bits, std::string_view raw, std::string_view hrf,
                  int64_t seq) {
  if (!need(bits)) return;
  w.addField(name, bit, bits, raw, hrf, seq);
  bit += bits;
}

uint64_t Fields::count(std::string_view name, int bits, int64_t entry_bits) {
  if (!need(bits)) return 0;
  const uint64_t declared = peek(bits);
  const int64_t room = bitsLeft() - bits;
  const uint64_t fits = entry_bits > 0 ? uint64_t(room / entry_bits) : declared;
  if (declared <= fits) return u(name, bits);
  u(name, bits, "more than the box holds: only " + numberText(fits) + " entries present");
  return fits;
}

}  // namespace corvanta::isobmff
