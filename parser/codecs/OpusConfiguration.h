#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The Opus specific box dOps (big-endian fields of the Opus identification header).
// Returns a one-line summary.
std::string opusSpecificBox(FieldReader& f);

}  // namespace corvanta::codecs
