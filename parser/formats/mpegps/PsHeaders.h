#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

// The system-level headers of a program stream (ISO/IEC 13818-1 2.5.3, ISO/IEC 11172-1 2.4.3):
// each reads from the reader's position (at its start code) and returns the unit's summary.
namespace corvanta::mpegps {

// pack_header of either version, with its pack stuffing.
std::string packHeader(FieldReader& f);
std::string systemHeader(FieldReader& f);
// The fields after the six bytes of the PES header of a program_stream_map, up to CRC_32,
// which is checked over `packet` (the whole packet's bytes).
std::string programStreamMap(FieldReader& f, const uint8_t* packet, int64_t packet_size);
std::string programStreamDirectory(FieldReader& f);

}  // namespace corvanta::mpegps
