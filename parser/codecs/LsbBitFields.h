#pragma once

#include <cstdint>
#include <string_view>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::codecs {

// Little-endian bit fields as VP8 frame tags and VP8L headers store them: counted from the
// least significant bit of the first byte. A field inside one byte is written at its exact bits;
// one that spans bytes covers the bytes it touches, since its bits are not contiguous in file
// order.
class LsbBitFields {
 public:
  // Over `bytes` (at most 8) bytes at file offset `base`, which the caller has checked are there.
  LsbBitFields(ElementWriter& writer, const uint8_t* data, int64_t base, int bytes);

  // Writes the field of `bits` bits from bit `lsb` and returns its value.
  uint64_t field(std::string_view name, int lsb, int bits, std::string_view hrf = {});
  uint64_t get(int lsb, int bits) const { return (value >> lsb) & ((uint64_t(1) << bits) - 1); }

 private:
  ElementWriter& w;
  int64_t start;
  uint64_t value = 0;
};

}  // namespace corvanta::codecs
