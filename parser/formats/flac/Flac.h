#pragma once

#include "FormatModule.h"

namespace corvanta {

// Native FLAC: an ID3v2 tag before the marker (kept opaque), the "fLaC" marker and the metadata
// blocks, then every frame with its header, subframe headers and CRC-16.
FormatModule flacModule();

}  // namespace corvanta
