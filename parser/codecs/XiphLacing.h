#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// Xiph lacing: a size written as a run of 255 bytes ended by one byte below 255, the size being
// their sum. Matroska block lacing and the Vorbis and Theora CodecPrivate of Matroska use it for
// every packet but the last; an Ogg page's segment table is the same code.
//
// Reads `count` sizes from the reader's position, each as one field `name` numbered from 1 over
// its bytes, and appends them to `sizes`. A size whose run does not end inside the reader fails
// the reader (nothing is written for it).
bool xiphLacedSizes(FieldReader& f, int count, std::string_view name, std::vector<int64_t>& sizes);

}  // namespace corvanta::codecs
