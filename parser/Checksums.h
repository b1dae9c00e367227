#pragma once

#include <cstdint>

namespace corvanta {

// CRC-32/MPEG-2: polynomial 0x04C11DB7, most significant bit first, initial value 0xFFFFFFFF, no
// final inversion. Over a whole PSI section including its CRC_32 field it gives 0.
uint32_t crc32Mpeg2(const uint8_t* data, int64_t size);

// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value and final xor all ones),
// as EBML's CRC-32 element, zip and PNG use it. `previous` continues a running check.
uint32_t crc32Ieee(const uint8_t* data, int64_t size, uint32_t previous = 0);

// The Ogg page checksum: the same polynomial 0x04C11DB7, most significant bit first, but initial
// value 0 and no final inversion. `previous` continues a running check (the page header with its
// checksum field taken as zero, then the segment table and the body).
uint32_t crc32Ogg(const uint8_t* data, int64_t size, uint32_t previous = 0);

// The checksums of a FLAC frame, most significant bit first with initial value 0: CRC-8 with
// polynomial 0x07 over the frame header, CRC-16 with polynomial 0x8005 over the whole frame.
// Over a frame including its CRC-16 the check gives 0; `previous` continues a running check.
uint8_t crc8Flac(const uint8_t* data, int64_t size);
uint16_t crc16Flac(const uint8_t* data, int64_t size, uint16_t previous = 0);

// The CRC-16 of crc16Flac at any bit position: over `bit_count` bits from bit
// `bit_offset` of `data`, starting from `initial`: MPEG audio and ADTS (initial 0xFFFF), AC-3
// and E-AC-3 (initial 0; over a whole checked block including its CRC it gives 0).
uint16_t crc16Bits(const uint8_t* data, int64_t bit_offset, int64_t bit_count, uint16_t initial);

// CRC-16/ARC (reflected polynomial 0xA001, initial value 0), as the LAME info tag carries it.
uint16_t crc16Arc(const uint8_t* data, int64_t size);

}  // namespace corvanta
