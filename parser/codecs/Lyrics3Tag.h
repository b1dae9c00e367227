#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::codecs {

// Bytes of the Lyrics3v2 tag ("LYRICSBEGIN" ... size, "LYRICS200") that ends at `end`, or 0.
int64_t lyrics3v2BytesBefore(const uint8_t* data, int64_t begin, int64_t end);

// Writes the Lyrics3v2 tag in [begin, end) as one unit "Lyrics3v2" with its fields; returns
// its summary.
std::string writeLyrics3v2Tag(ElementWriter& writer, const uint8_t* data, int64_t begin, int64_t end);

}  // namespace corvanta::codecs
