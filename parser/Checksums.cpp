#include "Checksums.h"

#include <array>

namespace corvanta {

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7u;

constexpr std::array<uint32_t, 256> makeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t crc = byte << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ kPolynomial : crc << 1;
    table[byte] = crc;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = makeTable();

}  // namespace

uint32_t crc32Mpeg2(const uint8_t* data, int64_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (int64_t i = 0; i < size; ++i) crc = (crc << 8) ^ kTable[((crc >> 24) ^ data[i]) & 0xff];
  return crc;
}

}  // namespace corvanta
