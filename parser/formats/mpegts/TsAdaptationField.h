#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::mpegts {

inline constexpr uint32_t kSystemClock = 27000000;

// What a packet's summary needs from its adaptation field, read before anything is written.
struct AdaptationFacts {
  bool discontinuity = false;
  bool random_access = false;
  bool has_pcr = false;
  uint64_t pcr = 0;  // 27 MHz: base * 300 + extension
};

// From the `length` bytes after adaptation_field_length (fewer when the packet ends first).
AdaptationFacts readAdaptationFacts(const uint8_t* p, int64_t length);

// Writes the adaptation field at the reader's position (its length byte) as one unit: the flags
// and the fields they announce, its stuffing as one field. `has_payload`: the packet carries a
// payload after it (the field may then take at most 182 bytes, otherwise 183). `scratch` is
// reused for the summary.
void adaptationField(FieldReader& f, const AdaptationFacts& facts, bool has_payload, std::string& scratch);

}  // namespace corvanta::mpegts
