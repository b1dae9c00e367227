#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The 80-byte Speex header (the first packet of an Ogg Speex stream): version strings, sample
// rate, mode, channels, bitrate, frame size and the number of extra headers, little-endian.
// Returns "Speex 1.2.1, wideband, 1 ch 16000 Hz".
std::string speexHeader(FieldReader& f);

}  // namespace corvanta::codecs
