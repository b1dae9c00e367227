#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// AV1CodecConfigurationRecord: av1C, a Matroska V_AV1 CodecPrivate, an FLV AV1 sequence
// header. Returns a one-line summary.
std::string av1Configuration(FieldReader& f);

}  // namespace corvanta::codecs
