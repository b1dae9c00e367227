#pragma once

#include <cstdint>
#include <string>

namespace corvanta::bench {

// Big-endian numbers appended to a byte string.
void put16(std::string& out, uint32_t v);
void put32(std::string& out, uint32_t v);

// A long-form PSI section (version 0, current, section 0 of 0) with its CRC_32.
std::string psiSection(uint8_t table_id, uint16_t extension, const std::string& body);

}  // namespace corvanta::bench
