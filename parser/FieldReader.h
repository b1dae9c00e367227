#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

class ElementWriter;

// Reads the fields of one unit's payload in [begin, end) (byte offsets in the file) and
// writes each as an element at its exact bit offset and size. Byte-aligned reads take a
// fast path; bit fields may start and end anywhere.
//
// The error is sticky: a read that would pass the end writes nothing, leaves the position
// where it was and makes every later read fail too, so nothing half-read is ever shown.
//
// In RBSP mode (startRbsp) the emulation prevention bytes of an H.264/H.265 NAL unit are
// stepped over: values are read from the payload without them, while every element keeps
// the file bits it really covers.
class FieldReader {
 public:
  FieldReader(ElementWriter& writer, const uint8_t* file_data, int64_t begin, int64_t end);

  ElementWriter& writer() { return w; }
  const uint8_t* fileData() const { return data; }
  bool ok() const { return good; }
  int64_t bitPos() const { return bit; }
  int64_t bytePos() const { return bit >> 3; }
  int64_t endBit() const { return end_bit; }
  int64_t endByte() const { return end_bit >> 3; }
  bool byteAligned() const { return (bit & 7) == 0; }
  // What is left to read (without emulation prevention bytes in RBSP mode).
  int64_t bitsLeft() const;
  int64_t bytesLeft() const { return bitsLeft() >> 3; }
  bool has(int64_t bits) const { return good && bits >= 0 && bits <= bitsLeft(); }
  // Fails (sticky) unless `bits` more can be read.
  bool need(int64_t bits);
  void fail() { good = false; }
  // Clears the error, so that what is left can still be shown as one opaque field.
  void recover() { good = true; }

  // From here to the end, skip the emulation prevention bytes (0x03 after two zero bytes).
  void startRbsp();
  // True while payload bits other than the trailing stop bit and its zero padding remain.
  bool moreRbspData() const;

  // Reads without writing an element.
  uint64_t read(int bits);
  uint64_t peek(int bits) const;
  void skipBits(int64_t bits);
  uint64_t readUe();
  int64_t readSe();

  // Unsigned field (big-endian / most significant bit first) with decimal raw text;
  // `hrf` is the readable form or empty.
  uint64_t u(std::string_view name, int bits, std::string_view hrf = {}, int64_t seq = -1);
  // Unsigned field whose readable form is made from the value.
  template <class Hrf>
  uint64_t uh(std::string_view name, int bits, Hrf&& hrf, int64_t seq = -1) {
    if (!need(bits)) return 0;
    const uint64_t value = peek(bits);
    const std::string text = hrf(value);
    return u(name, bits, text, seq);
  }
  bool flag(std::string_view name, std::string_view hrf = {}) { return u(name, 1, hrf) != 0; }
  int64_t s(std::string_view name, int bits, std::string_view hrf = {}, int64_t seq = -1);
  // Exp-Golomb codes of H.264, H.265 and VVC: ue(v) and se(v).
  uint64_t ue(std::string_view name, std::string_view hrf = {}, int64_t seq = -1);
  template <class Hrf>
  uint64_t ueh(std::string_view name, Hrf&& hrf, int64_t seq = -1) {
    const int64_t start = bit;
    const uint64_t value = readUe();
    if (!good) return 0;
    bit = start;
    const std::string text = hrf(value);
    return ue(name, text, seq);
  }
  int64_t se(std::string_view name, std::string_view hrf = {}, int64_t seq = -1);
  // LEB128 of AV1 (up to 8 bytes, least significant group first); fails on a longer code.
  uint64_t leb128(std::string_view name, std::string_view hrf = {}, int64_t seq = -1);
  uint64_t readLeb128();
  // Four-character code; `hrf` may name it.
  uint32_t fourcc(std::string_view name, std::string_view hrf = {}, int64_t seq = -1);
  // Fixed-point number with `fraction_bits` after the point.
  int64_t fixed(std::string_view name, int bits, int fraction_bits, bool is_signed = false);
  // Time in seconds since 1904-01-01 (ISO base media, QuickTime); 0 reads "not set".
  uint64_t date1904(std::string_view name, int bits);
  // Duration in ticks of `timescale`; all ones means unknown.
  uint64_t duration(std::string_view name, int bits, uint32_t timescale);
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
  // The file bit reached after reading `bits` payload bits from `from`.
  int64_t advance(int64_t from, int64_t bits) const;
  uint64_t readExpGolomb(int& payload_bits);
  uint64_t readLeb128(int& payload_bits);
  bool isSkipped(int64_t byte) const;
  void writeField(std::string_view name, int64_t bits, std::string_view raw, std::string_view hrf, int64_t seq);

  ElementWriter& w;
  const uint8_t* data;
  int64_t bit;
  int64_t end_bit;
  bool good = true;
  std::vector<int64_t> skipped_bytes;  // emulation prevention bytes, ascending
};

}  // namespace corvanta
