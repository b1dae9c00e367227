#pragma once

#include "codecs/AudioFrameScanner.h"

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The frames of a DTS stream in its 16-bit big-endian form (ETSI TS 102 114): core frames and
// DTS-HD extension substreams, for AudioFrameScanner.
const AudioFrameKind& dtsFrameKind();

// Writes one core frame (its header field by field, then the audio data) or one extension
// substream (its header's leading fields, then the rest of the header and the assets). Returns
// a summary ("core, 3/2+LFE, 48000 Hz, 768 kbit/s").
std::string writeDtsFrame(FieldReader& f);

}  // namespace corvanta::codecs
