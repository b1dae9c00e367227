#pragma once

#include <cstdint>

namespace corvanta {

// CRC-32/MPEG-2: polynomial 0x04C11DB7, most significant bit first, initial value 0xFFFFFFFF, no
// final inversion. Over a whole PSI section including its CRC_32 field it gives 0.
uint32_t crc32Mpeg2(const uint8_t* data, int64_t size);

// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value and final xor all ones),
// as EBML's CRC-32 element, zip and PNG use it. `previous` continues a running check.
uint32_t crc32Ieee(const uint8_t* data, int64_t size, uint32_t previous = 0);

}  // namespace corvanta
