#pragma once

#include <cstdint>
#include <string_view>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// A parameter set as configuration records carry it: a 16-bit length, then the NAL unit.
// A length that runs past the record fails the reader.
void lengthPrefixedParameterSet(FieldReader& f, std::string_view length_name, std::string_view unit_name,
                                int64_t seq);

}  // namespace corvanta::codecs
