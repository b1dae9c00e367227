#pragma once

#include "codecs/AudioFrameScanner.h"

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The sync frames of an AC-4 stream (ETSI TS 103 190, annex on the AC-4 sync frame), for
// AudioFrameScanner.
const AudioFrameKind& ac4FrameKind();

// Writes one sync frame: sync_word, frame_size, the leading fields of the raw frame's table of
// contents (bitstream_version, sequence_counter, wait frames, fs_index, frame_rate_index), the
// rest of the raw frame as one element, and the CRC when the sync word announces one.
std::string writeAc4Frame(FieldReader& f);

}  // namespace corvanta::codecs
