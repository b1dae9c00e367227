#pragma once

#include "formats/riff/RiffWalk.h"

namespace corvanta::riff {

// WebP: the VP8 frame header, the VP8L header, VP8X flags and canvas, animation parameters and
// frames (whose image chunks are walked as children), and the alpha chunk's header.
std::string webpLossy(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string webpLossless(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string webpExtended(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string webpAnimation(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string webpFrame(RiffWalk& walk, const Chunk& chunk, FieldReader& f);
std::string webpAlpha(RiffWalk& walk, const Chunk& chunk, FieldReader& f);

}  // namespace corvanta::riff
