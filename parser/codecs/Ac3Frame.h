#pragma once

#include "codecs/AudioFrameScanner.h"

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The sync frames of an AC-3 or E-AC-3 stream (ETSI TS 102 366), for AudioFrameScanner: bsid up
// to 10 is AC-3 (frmsizecod gives the size), 11 to 16 E-AC-3 (frmsiz does).
const AudioFrameKind& ac3FrameKind();

// Writes one sync frame from its sync word on: syncinfo and bsi field by field, the audio blocks
// as one element and the CRCs, each checked. Returns a summary ("AC-3 3/2+LFE, 448 kbit/s" or
// "E-AC-3 independent substream 0, 2/0").
std::string writeAc3Frame(FieldReader& f);

}  // namespace corvanta::codecs
