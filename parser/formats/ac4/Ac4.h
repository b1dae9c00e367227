#pragma once

#include "FormatModule.h"

namespace corvanta {

// AC-4 elementary streams of sync frames: sync word, frame size, the leading fields of each
// frame's table of contents and the CRC word.
FormatModule ac4Module();

}  // namespace corvanta
