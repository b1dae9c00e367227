#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// AC3SpecificBox (dac3) and EC3SpecificBox (dec3) of ETSI TS 102 366. Each returns a
// one-line summary.
std::string ac3SpecificBox(FieldReader& f);
std::string eac3SpecificBox(FieldReader& f);

}  // namespace corvanta::codecs
