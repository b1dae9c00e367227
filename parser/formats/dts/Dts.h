#pragma once

#include "FormatModule.h"

namespace corvanta {

// DTS elementary streams (16-bit big-endian): core frames with their header fields and DTS-HD
// extension substreams.
FormatModule dtsModule();

}  // namespace corvanta
