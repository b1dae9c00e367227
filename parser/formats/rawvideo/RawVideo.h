#pragma once

#include "FormatModule.h"

namespace corvanta {

// Elementary video files without a container: H.264 and H.265 byte streams (start codes before
// NAL units), AV1 low-overhead OBU streams and IVF files. Their ids start with "rawvideo." so
// that the fuzz target of this folder covers them all. The probes see only a codec's own
// headers, so their confidence stays below any container's.
FormatModule rawH264Module();
FormatModule rawHevcModule();
FormatModule rawAv1Module();
FormatModule ivfModule();

}  // namespace corvanta
