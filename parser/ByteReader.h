#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace corvanta {

// A bounded big- or little-endian reader over [begin, end) of a mapped file, with a
// sticky error: once a read would pass `end`, it and every later read return 0 and
// ok() stays false, so nothing half-read is reported as a value.
// Positions are byte offsets from the start of the file.
class ByteReader {
 public:
  ByteReader(const uint8_t* file_data, int64_t begin, int64_t end)
      : data(file_data), pos(begin), limit(end) {}

  int64_t position() const { return pos; }
  int64_t end() const { return limit; }
  int64_t remaining() const { return limit > pos ? limit - pos : 0; }
  bool ok() const { return good; }
  bool atEnd() const { return pos >= limit; }

  // Moves to an absolute position inside [.., end]; past end makes the reader fail.
  void seek(int64_t position) {
    if (position > limit || position < 0) { good = false; pos = limit; return; }
    pos = position;
  }
  void skip(int64_t count) {
    if (count < 0 || count > remaining()) { good = false; pos = limit; return; }
    pos += count;
  }
  // True (and nothing consumed) when `count` more bytes can be read.
  bool has(int64_t count) const { return good && count >= 0 && count <= remaining(); }

  uint64_t be(int bytes) { return readInt(bytes, true); }
  uint64_t le(int bytes) { return readInt(bytes, false); }
  uint8_t u8() { return static_cast<uint8_t>(be(1)); }
  uint16_t u16be() { return static_cast<uint16_t>(be(2)); }
  uint32_t u24be() { return static_cast<uint32_t>(be(3)); }
  uint32_t u32be() { return static_cast<uint32_t>(be(4)); }
  uint64_t u64be() { return be(8); }
  uint16_t u16le() { return static_cast<uint16_t>(le(2)); }
  uint32_t u32le() { return static_cast<uint32_t>(le(4)); }
  uint64_t u64le() { return le(8); }

  // `count` raw bytes as a string (empty on failure).
  std::string bytes(int64_t count) {
    if (!has(count)) { fail(); return {}; }
    std::string out(reinterpret_cast<const char*>(data + pos), static_cast<size_t>(count));
    pos += count;
    return out;
  }
  const uint8_t* pointer() const { return data + pos; }
  void fail() { good = false; pos = limit; }

 private:
  uint64_t readInt(int bytes, bool big_endian) {
    if (bytes < 1 || bytes > 8 || !has(bytes)) { fail(); return 0; }
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      const uint64_t byte = data[pos + (big_endian ? i : bytes - 1 - i)];
      value = (value << 8) | byte;
    }
    pos += bytes;
    return value;
  }

  const uint8_t* data;
  int64_t pos;
  int64_t limit;
  bool good = true;
};

// Reads bit fields MSB first inside [begin, end) bytes of a mapped file. Same sticky error.
class BitReader {
 public:
  BitReader(const uint8_t* file_data, int64_t begin_byte, int64_t end_byte)
      : data(file_data), bit(begin_byte * 8), limit_bit(end_byte * 8) {}

  int64_t bitPosition() const { return bit; }   // from the start of the file
  bool ok() const { return good; }
  int64_t bitsLeft() const { return limit_bit > bit ? limit_bit - bit : 0; }

  uint64_t bits(int count) {
    if (count < 0 || count > 64 || !good || count > bitsLeft()) { good = false; bit = limit_bit; return 0; }
    uint64_t value = 0;
    for (int i = 0; i < count; ++i, ++bit)
      value = (value << 1) | ((data[bit >> 3] >> (7 - (bit & 7))) & 1u);
    return value;
  }
  bool flag() { return bits(1) != 0; }
  void skipBits(int64_t count) {
    if (count < 0 || count > bitsLeft()) { good = false; bit = limit_bit; return; }
    bit += count;
  }
  // Unsigned Exp-Golomb code, as in H.264/H.265 parameter sets.
  uint64_t ue() {
    int zeros = 0;
    while (good && bits(1) == 0) {
      if (++zeros > 32) { good = false; return 0; }
    }
    if (!good) return 0;
    return ((uint64_t{1} << zeros) - 1) + bits(zeros);
  }
  int64_t se() {
    const uint64_t k = ue();
    return (k & 1) ? static_cast<int64_t>((k + 1) / 2) : -static_cast<int64_t>(k / 2);
  }

 private:
  const uint8_t* data;
  int64_t bit;
  int64_t limit_bit;
  bool good = true;
};

}  // namespace corvanta
