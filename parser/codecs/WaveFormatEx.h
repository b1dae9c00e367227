#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// WAVEFORMATEX (little-endian), with the WAVEFORMATEXTENSIBLE fields when wFormatTag says so: the
// 'fmt ' chunk of a WAVE file, the 'strf' chunk of an AVI audio stream, the CodecPrivate of a
// Matroska A_MS/ACM track. Codec data after the structure stays one opaque field. Returns
// "PCM, 2 ch 44100 Hz, 16 bits".
std::string waveFormatEx(FieldReader& f);

// The name of a wFormatTag ("PCM", "MPEG Layer 3"), or empty.
std::string waveFormatTagName(uint64_t tag);

}  // namespace corvanta::codecs
