#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The table-of-contents byte that starts every Opus packet (RFC 6716, 3.1): configuration
// (mode, bandwidth, frame duration), stereo flag and frame count code, and for code 3 the frame
// count byte after it. The compressed frames stay one field. Returns "CELT FB 20 ms, stereo,
// 1 frame".
std::string opusPacket(FieldReader& f);

// The comment header "OpusTags" (RFC 7845, 5.2): the signature, the Vorbis comment structure and
// any bytes after it. Returns its summary.
std::string opusTags(FieldReader& f);

}  // namespace corvanta::codecs
