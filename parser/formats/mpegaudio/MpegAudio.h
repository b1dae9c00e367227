#pragma once

#include "FormatModule.h"

namespace corvanta {

// MPEG-1/2/2.5 Layer I, II and III elementary streams (MP3, MP2): the tags before and after
// the frames (ID3v2, APE, Lyrics3v2, ID3v1) and every frame with its header, side
// information and the first frame's Xing/Info/LAME or VBRI header.
FormatModule mpegAudioModule();

}  // namespace corvanta
