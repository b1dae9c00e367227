#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// How Vorbis and Theora frame each header packet: a type byte, a 6-character signature, then
// the fields of that type.
struct XiphHeaderKind {
  const char* codec;                        // "Vorbis", for the summary of a foreign packet
  const char* type_field;                   // "packet_type", "header_type"
  const char* signature;                    // "vorbis", "theora"
  const char* (*unit_name)(uint64_t type);  // "identification_header", ...
  // The fields after the signature; returns the packet's summary.
  std::string (*decode)(FieldReader& f, uint64_t type);
};

// One header packet that the reader covers exactly, as a unit named for its type (numbered `seq`
// when not -1). A packet without the kind's signature keeps its first fields; what a broken or
// short packet leaves is one opaque field. Returns the packet's summary.
std::string xiphHeaderPacket(FieldReader& f, int64_t seq, const XiphHeaderKind& kind);

}  // namespace corvanta::codecs
