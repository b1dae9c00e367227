#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// A VP8 frame (RFC 6386, 9.1) from the reader's position to its end: the frame tag (key frame,
// version, show frame, first partition size) as one element, and for a key frame the start code
// and the width and height, each with its scale; the rest as one field. `key` tells whether it is a key
// frame. Returns the summary ("key frame 64x48, first partition 120 bytes").
std::string vp8Frame(FieldReader& f, bool& key);

}  // namespace corvanta::codecs
