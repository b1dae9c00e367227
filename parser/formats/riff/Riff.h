#pragma once

#include "FormatModule.h"

namespace corvanta {

// The RIFF and IFF family, one chunk walk for all: AVI with OpenDML, WAVE with RF64/BW64,
// WebP, and AIFF/AIFF-C. Each form is a module of its own for the open dialog; their ids
// start with "riff." so that the fuzz target of this folder covers them all.
FormatModule aviModule();
FormatModule waveModule();
FormatModule webpModule();
FormatModule aiffModule();

}  // namespace corvanta
