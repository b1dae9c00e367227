#pragma once

#include <cstdint>

// Unchecked loads of big- and little-endian integers, for walkers that have already
// checked that the bytes are there (the field reader checks for itself).
namespace corvanta {

inline uint16_t loadBe16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t loadBe32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint64_t loadBe64(const uint8_t* p) { return (uint64_t(loadBe32(p)) << 32) | loadBe32(p + 4); }

inline uint16_t loadLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t loadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t loadLe64(const uint8_t* p) { return uint64_t(loadLe32(p)) | (uint64_t(loadLe32(p + 4)) << 32); }

}  // namespace corvanta
