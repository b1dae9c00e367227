#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

struct Av1Context;

// AV1CodecConfigurationRecord: av1C, a Matroska V_AV1 CodecPrivate, an FLV AV1 sequence
// header. Returns a one-line summary.
std::string av1Configuration(FieldReader& f);
// The same, keeping the sequence header in `context` for the frames that follow.
std::string av1Configuration(FieldReader& f, Av1Context& context);

}  // namespace corvanta::codecs
