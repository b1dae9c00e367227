#pragma once

#include "FormatModule.h"

namespace corvanta {

// Ogg: every page with its header fields and checked CRC, the packets its lacing builds (pieces
// of a packet that continues over pages marked so), and the packets of Vorbis, Opus, FLAC,
// Theora and Speex streams decoded down to their headers.
FormatModule oggModule();

}  // namespace corvanta
