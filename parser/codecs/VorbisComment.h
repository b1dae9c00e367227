#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The comment structure of Vorbis (little-endian lengths, UTF-8 text): a vendor string and a
// list of "NAME=value" comments. The Vorbis and Theora comment headers, OpusTags and FLAC's
// VORBIS_COMMENT block all hold it. Vorbis ends it with a framing bit, the others do not.
// Returns "vendor \"...\", 3 comments".
std::string vorbisComment(FieldReader& f, bool framing_bit);

}  // namespace corvanta::codecs
