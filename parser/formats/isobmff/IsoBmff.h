#pragma once

#include "FormatModule.h"

namespace corvanta {

// ISO base media files: MP4, MOV, 3GP, M4A, M4S, HEIF, AVIF.
FormatModule isoBmffModule();

}  // namespace corvanta
