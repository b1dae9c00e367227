#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// BITMAPINFOHEADER of Video for Windows (little-endian): the 'strf' chunk of an AVI video stream
// and the CodecPrivate of a Matroska V_MS/VFW/FOURCC track. What follows the 40-byte header
// (codec data) stays one opaque field. Returns "DIV3 320x240, 24 bits".
std::string bitmapInfoHeader(FieldReader& f);

}  // namespace corvanta::codecs
