#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// HEVCDecoderConfigurationRecord (ISO/IEC 14496-15): hvcC, a Matroska V_MPEGH/ISO/HEVC
// CodecPrivate, an FLV HEVC sequence header. Returns a one-line summary.
std::string hevcConfiguration(FieldReader& f);

}  // namespace corvanta::codecs
