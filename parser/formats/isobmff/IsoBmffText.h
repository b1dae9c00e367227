#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvanta {
class FieldReader;
}

// Text forms and fields that only ISO base media files use.
namespace corvanta::isobmff {

std::string languageText(uint16_t packed);           // "eng" from ISO 639-2/T packed in 15 bits
std::string sampleFlagsText(uint32_t flags);         // trun/trex/tfhd sample_flags
// The nine values of a transformation matrix (mvhd, tkhd) as one field.
void matrixField(FieldReader& f, std::string_view name);

}  // namespace corvanta::isobmff
