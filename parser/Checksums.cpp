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


// Eight tables: the check moves eight bytes per step, which keeps checking the clusters of a
// large file well below the cost of writing their elements.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

Tables makeTables() {
  Tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xff];
  return t;
}

constexpr std::array<uint8_t, 256> makeCrc8Table() {
  std::array<uint8_t, 256> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80u) ? ((crc << 1) ^ 0x07u) & 0xffu : (crc << 1) & 0xffu;
    table[byte] = uint8_t(crc);
  }
  return table;
}

constexpr std::array<uint16_t, 256> makeCrc16Table() {
  std::array<uint16_t, 256> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t crc = byte << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x8005u) & 0xffffu : (crc << 1) & 0xffffu;
    table[byte] = uint16_t(crc);
  }
  return table;
}

constexpr std::array<uint8_t, 256> kCrc8Table = makeCrc8Table();
constexpr std::array<uint16_t, 256> kCrc16Table = makeCrc16Table();

}  // namespace

// Eight tables for the most-significant-bit-first polynomial, eight bytes per step: every byte
// of an Ogg file is under a page checksum.
using MsbTables = std::array<std::array<uint32_t, 256>, 8>;

MsbTables makeMsbTables() {
  MsbTables t{};
  t[0] = kTable;
  for (uint32_t i = 0; i < 256; ++i)
    for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] << 8) ^ kTable[t[k - 1][i] >> 24];
  return t;
}

uint32_t crc32Ogg(const uint8_t* data, int64_t size, uint32_t previous) {
  static const MsbTables t = makeMsbTables();
  uint32_t crc = previous;
  int64_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint8_t* p = data + i;
    const uint32_t high = crc ^ (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]));
    crc = t[7][high >> 24] ^ t[6][(high >> 16) & 0xff] ^ t[5][(high >> 8) & 0xff] ^ t[4][high & 0xff] ^ t[3][p[4]] ^
          t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; i < size; ++i) crc = (crc << 8) ^ kTable[((crc >> 24) ^ data[i]) & 0xff];
  return crc;
}

uint8_t crc8Flac(const uint8_t* data, int64_t size) {
  uint8_t crc = 0;
  for (int64_t i = 0; i < size; ++i) crc = kCrc8Table[crc ^ data[i]];
  return crc;
}

uint16_t crc16Flac(const uint8_t* data, int64_t size, uint16_t previous) {
  uint32_t crc = previous;
  for (int64_t i = 0; i < size; ++i) crc = ((crc << 8) ^ kCrc16Table[((crc >> 8) ^ data[i]) & 0xff]) & 0xffffu;
  return uint16_t(crc);
}

uint32_t crc32Mpeg2(const uint8_t* data, int64_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (int64_t i = 0; i < size; ++i) crc = (crc << 8) ^ kTable[((crc >> 24) ^ data[i]) & 0xff];
  return crc;
}

uint32_t crc32Ieee(const uint8_t* data, int64_t size, uint32_t previous) {
  static const Tables t = makeTables();
  uint32_t c = ~previous;
  int64_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint8_t* p = data + i;
    const uint32_t low = c ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    c = t[7][low & 0xff] ^ t[6][(low >> 8) & 0xff] ^ t[5][(low >> 16) & 0xff] ^ t[4][low >> 24] ^ t[3][p[4]] ^
        t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
  }
  for (; i < size; ++i) c = t[0][(c ^ data[i]) & 0xff] ^ (c >> 8);
  return ~c;
}

uint16_t crc16Bits(const uint8_t* data, int64_t bit_offset, int64_t bit_count, uint16_t initial) {
  uint16_t crc = initial;
  int64_t bit = bit_offset;
  const int64_t end = bit_offset + bit_count;
  auto oneBit = [&](int64_t b) {
    const bool in = (data[b >> 3] >> (7 - (b & 7))) & 1;
    const bool top = crc & 0x8000;
    crc = uint16_t(crc << 1);
    if (in != top) crc ^= 0x8005;
  };
  // The bits before the first whole byte one by one, the whole bytes as FLAC's check (the same
  // polynomial, most significant bit first), the bits after one by one.
  while (bit < end && (bit & 7)) oneBit(bit++);
  const int64_t whole_bytes = (end - bit) >> 3;
  crc = crc16Flac(data + (bit >> 3), whole_bytes, crc);
  bit += whole_bytes * 8;
  while (bit < end) oneBit(bit++);
  return crc;
}

uint16_t crc16Arc(const uint8_t* data, int64_t size) {
  uint16_t crc = 0;
  for (int64_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
  }
  return crc;
}

}  // namespace corvanta
