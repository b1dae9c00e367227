#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The Opus specific box dOps (big-endian fields of the Opus identification header).
// Returns a one-line summary.
std::string opusSpecificBox(FieldReader& f);

// The Opus identification header "OpusHead" of RFC 7845, little-endian: the first Ogg packet of
// an Opus stream and the CodecPrivate of a Matroska A_OPUS track. Returns a one-line summary.
std::string opusHead(FieldReader& f);

}  // namespace corvanta::codecs
