#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvanta {

class ElementWriter;

namespace isobmff {

// Builds a four-character code from a literal: code("moov").
constexpr uint32_t code(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
         (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// A value and its readable name, for the lists that give field values a meaning.
struct ValueName {
  uint32_t value;
  const char* name;
};

template <size_t N>
const char* nameOf(const ValueName (&table)[N], uint64_t value) {
  for (const ValueName& entry : table)
    if (entry.value == value) return entry.name;
  return nullptr;
}

// Text forms shared by the decoders.
bool isPrintableCode(uint32_t four_cc);
std::string codeText(uint32_t four_cc);              // "moov", "©too" or "0x00000001"
std::string numberText(uint64_t value);
std::string signedText(int64_t value);
std::string dateText(uint64_t seconds_since_1904);   // "2024-01-31 12:00:00 UTC"
std::string durationText(uint64_t ticks, uint32_t timescale);  // "0:01:02.345"
std::string secondsText(int64_t ticks, uint32_t timescale);    // "62.345 s"
std::string languageText(uint16_t packed);           // "eng"
std::string hexDump(const uint8_t* data, int64_t size);  // first bytes, "…" when longer
std::string fixedText(int64_t value, int fraction_bits);  // 16.16 and 8.8 numbers
std::string sampleFlagsText(uint32_t flags);         // trun/trex/tfhd sample_flags

// Reads the fields of one box payload in [begin, end) (byte offsets in the file) and
// writes each as an element. Bit-exact: byte-aligned reads take a fast path, bit fields
// get their own offsets. The error is sticky: a read that would pass the end writes
// nothing, leaves the position where it was and makes every later read fail too.
class Fields {
 public:
  Fields(ElementWriter& writer, const uint8_t* file_data, int64_t begin, int64_t end);

  ElementWriter& writer() { return w; }
  const uint8_t* fileData() const { return data; }
  bool ok() const { return good; }
  int64_t bitPos() const { return bit; }
  int64_t bytePos() const { return bit >> 3; }
  int64_t endByte() const { return end_bit >> 3; }
  int64_t bytesLeft() const { return (end_bit - bit) >> 3; }
  int64_t bitsLeft() const { return end_bit - bit; }
  bool has(int64_t bits) const { return good && bits >= 0 && bits <= end_bit - bit; }
  // Fails (sticky) unless `bits` more can be read.
  bool need(int64_t bits);
  void fail() { good = false; }
  // Clears the error, so that what is left can still be shown as one opaque field.
  void recover() { good = true; }

  // Reads without writing an element.
  uint64_t read(int bits);
  uint64_t peek(int bits) const;
  void skipBits(int64_t bits);

  // Unsigned field with decimal raw text; `hrf` is the readable form or empty.
  uint64_t u(std::string_view name, int bits, std::string_view hrf = {}, int64_t seq = -1);
  // Unsigned field whose readable form is made from the value.
  template <class Hrf>
  uint64_t uh(std::string_view name, int bits, Hrf&& hrf, int64_t seq = -1) {
    if (!need(bits)) return 0;
    const uint64_t value = peek(bits);
    const std::string text = hrf(value);
    return u(name, bits, text, seq);
  }
  int64_t s(std::string_view name, int bits, std::string_view hrf = {}, int64_t seq = -1);
  // Four-character code; `hrf` may name it.
  uint32_t fourcc(std::string_view name, std::string_view hrf = {}, int64_t seq = -1);
  // Fixed-point number with `fraction_bits` after the point.
  int64_t fixed(std::string_view name, int bits, int fraction_bits, bool is_signed = false);
  // Time in seconds since 1904 (mvhd, tkhd, mdhd).
  uint64_t time(std::string_view name, int bits);
  // Duration in ticks of `timescale`; all ones means unknown.
  uint64_t duration(std::string_view name, int bits, uint32_t timescale);
  // The nine values of a transformation matrix as one field.
  void matrix(std::string_view name);
  // Zero-terminated UTF-8 string, up to the end when it has no terminator.
  std::string cstring(std::string_view name);
  // Pascal string: one length byte, then text; `total` bytes in all when positive.
  std::string pstring(std::string_view name, int total = 0);
  // `count` opaque bytes as one field (hex dump of the first bytes).
  void bytes(std::string_view name, int64_t count, std::string_view hrf = {}, int64_t seq = -1);
  // Whatever is left of the payload as one opaque field, if anything.
  void rest(std::string_view name, std::string_view hrf = {});
  // A field with a raw text the caller made, `bits` long at the current position.
  void text(std::string_view name, int64_t bits, std::string_view raw, std::string_view hrf = {},
            int64_t seq = -1);

  // Entry count of a table with `entry_bits` per entry, clamped to what the payload holds;
  // writes the count field with a note when the file claims more.
  uint64_t count(std::string_view name, int bits, int64_t entry_bits);

 private:
  ElementWriter& w;
  const uint8_t* data;
  int64_t bit;
  int64_t end_bit;
  bool good = true;
};

}  // namespace isobmff
}  // namespace corvanta
