#pragma once

#include "FormatModule.h"

namespace corvanta {

// AMR and AMR-WB files (single- and multi-channel magic numbers): the magic, the channel
// description of a multi-channel file, and every frame with its header byte and speech bits.
FormatModule amrModule();

}  // namespace corvanta
