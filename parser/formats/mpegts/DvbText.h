#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvanta {
class FieldReader;
}

// Strings of DVB service information (ETSI EN 300 468 Annex A): a first byte below 0x20 chooses
// the character table, the default is the Latin alphabet of ISO/IEC 6937.
namespace corvanta::mpegts {

struct DvbText {
  std::string text;         // UTF-8, control codes turned into spaces or dropped
  const char* table = "";   // the table its first bytes chose ("ISO/IEC 8859-5"), empty for the default
};

DvbText dvbText(const uint8_t* bytes, int64_t size);

// A string field of `bytes` bytes: the text as raw value, the chosen table as readable value.
std::string dvbString(FieldReader& f, std::string_view name, int64_t bytes);

// An 8-bit length field, then the string it measures.
std::string dvbLengthString(FieldReader& f, std::string_view length_name, std::string_view name);

}  // namespace corvanta::mpegts
