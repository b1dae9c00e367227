#pragma once

#include "FormatModule.h"

namespace corvanta {

// ADTS elementary streams of AAC: every frame's header, CRC and raw data blocks, with the tags
// that some writers put before or after the frames.
FormatModule adtsModule();

}  // namespace corvanta
