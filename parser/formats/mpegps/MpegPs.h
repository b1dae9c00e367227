#pragma once

#include "FormatModule.h"

namespace corvanta {

// MPEG program streams (MPEG-1 system streams, MPEG-2 program streams, DVD VOB and EVO files):
// packs, system headers, PES packets with their private DVD sub-streams and the MPEG video
// inside them; and raw MPEG-1/2 video elementary streams (.m1v, .m2v).
FormatModule mpegPsModule();

}  // namespace corvanta
