#pragma once

#include "FormatModule.h"

namespace corvanta {

// Matroska and WebM: MKV, MKA, MKS, MK3D, WEBM.
FormatModule matroskaModule();

}  // namespace corvanta
