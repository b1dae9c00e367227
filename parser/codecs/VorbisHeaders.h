#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// One Vorbis I header packet that the reader covers exactly (the identification, comment or setup
// header), as a unit named for its kind ("identification_header", numbered `seq` when not -1):
// the first packets of an Ogg Vorbis stream, the Xiph-laced CodecPrivate of a Matroska A_VORBIS
// track. The setup header's codebooks stay one opaque field.
// Returns the packet's summary ("Vorbis identification, 2 ch 44100 Hz, nominal 128000 bit/s").
std::string vorbisHeaderPacket(FieldReader& f, int64_t seq = -1);

}  // namespace corvanta::codecs
