#pragma once

#include "codecs/AudioFrameScanner.h"

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// Frames of the AMR and AMR-WB storage format (RFC 4867, section 5): a header byte whose frame
// type gives the size from the mode tables, then the speech bits.
const AudioFrameKind& amrFrameKind();
const AudioFrameKind& amrWbFrameKind();

// Writes one frame: the header byte's fields, then the speech or comfort noise bits. Returns a
// summary ("12.2 kbit/s, 32 bytes").
std::string writeAmrFrame(FieldReader& f, bool wideband);

}  // namespace corvanta::codecs
