#pragma once

#include <cstdint>

namespace corvanta {

// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value and final xor all ones),
// as EBML's CRC-32 element, zip and PNG use it. `previous` continues a running check.
uint32_t crc32Ieee(const uint8_t* data, int64_t size, uint32_t previous = 0);

}  // namespace corvanta
