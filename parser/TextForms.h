#pragma once

#include <cstdint>
#include <string>

// Text forms shared by every decoder, so that a number, a date or a code reads the same
// whatever format it comes from.
namespace corvanta {

// Builds a four-character code from a literal: fourCC("moov").
constexpr uint32_t fourCC(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
         (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

bool isPrintableFourCC(uint32_t four_cc);
std::string fourCCText(uint32_t four_cc);            // "moov", "©too" or "0x00000001"
std::string numberText(uint64_t value);
std::string signedText(int64_t value);
std::string hexText(uint64_t value, int digits);     // "0x01AB" with at least `digits` digits
std::string uuidText(const uint8_t* bytes);          // 16 bytes in network order: "3f2504e0-4f89-11d3-..."
std::string hexDump(const uint8_t* data, int64_t size);  // first bytes, "…" when longer
std::string fixedText(int64_t value, int fraction_bits);  // 16.16 and 8.8 numbers
std::string floatText(double value);                 // shortest form that reads back the same
std::string floatText(float value);                  // the same for a binary32 value

// Text from a file as valid UTF-8, whatever its bytes: what does not decode reads U+FFFD.
std::string latin1Text(const uint8_t* data, int64_t size);
std::string utf8Text(const uint8_t* data, int64_t size);
std::string utf16Text(const uint8_t* data, int64_t size, bool big_endian);

// Dates, always shown in UTC: "2024-01-31 12:00:00 UTC" (with ".123456789" when the
// nanoseconds are not zero).
std::string unixDateText(int64_t seconds, uint32_t nanoseconds = 0);
std::string dateTextSince1904(uint64_t seconds);     // ISO base media, QuickTime
std::string dateTextSince2001(int64_t nanoseconds);  // Matroska DateUTC
// Modified Julian Date and a 24-bit BCD hh:mm:ss, as DVB time tables carry them.
std::string mjdDateText(uint16_t mjd, uint32_t bcd_time);

std::string durationText(uint64_t ticks, uint32_t timescale);  // "0:01:02.345"
std::string secondsText(int64_t ticks, uint32_t timescale);    // "62.345000 s"

// Appending forms for summaries made once per packet or sample into a reused string, so that
// they cost no allocation.
void appendNumber(std::string& out, uint64_t value);
void appendSigned(std::string& out, int64_t value);
void appendHex(std::string& out, uint64_t value, int digits);      // "0x01AB"
void appendSeconds(std::string& out, int64_t ticks, uint32_t rate);  // "62.345000 s", rounded

// Text in a character set that iconv knows by this name ("ISO-8859-5", "ISO_6937", "GB2312");
// what does not decode reads U+FFFD. Latin-1 when iconv does not know the set.
std::string charsetText(const char* charset, const uint8_t* data, int64_t size);

}  // namespace corvanta
