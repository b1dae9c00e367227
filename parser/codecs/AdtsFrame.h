#pragma once

#include "codecs/AudioFrameScanner.h"

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The frames of an ADTS stream (ISO/IEC 13818-7 and 14496-3), for AudioFrameScanner.
const AudioFrameKind& adtsFrameKind();

// Writes one ADTS frame from its header on: the fixed and variable header fields, the CRC and
// raw data block positions when present, and the raw data blocks. Returns a summary
// ("AAC LC, 22050 Hz, 1 channel").
std::string writeAdtsFrame(FieldReader& f);

}  // namespace corvanta::codecs
