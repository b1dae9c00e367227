#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// One Theora header packet that the reader covers exactly (the identification, comment or setup
// header), as a unit named for its kind, numbered `seq` when not -1: the first packets of an Ogg
// Theora stream, the Xiph-laced CodecPrivate of a Matroska V_THEORA track. The setup header's
// tables stay one opaque field. Returns the packet's summary.
std::string theoraHeaderPacket(FieldReader& f, int64_t seq = -1);

}  // namespace corvanta::codecs
