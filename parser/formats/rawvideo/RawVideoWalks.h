#pragma once

#include "FormatModule.h"

namespace corvanta::rawvideo {

// An H.264 or H.265 byte stream: its access units, each a unit of NAL units with its picture
// type in the summary.
void writeAnnexBFile(ParseContext& ctx, bool hevc);
// An AV1 low-overhead OBU stream: its temporal units, each from a temporal delimiter on.
void writeObuFile(ParseContext& ctx);
// An IVF file: the file header, then each frame header with its frame decoded by the codec that
// the header's fourcc names.
void writeIvfFile(ParseContext& ctx);

}  // namespace corvanta::rawvideo
