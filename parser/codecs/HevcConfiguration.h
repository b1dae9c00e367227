#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

struct HevcContext;

// HEVCDecoderConfigurationRecord (ISO/IEC 14496-15): hvcC, a Matroska V_MPEGH/ISO/HEVC
// CodecPrivate, an FLV HEVC sequence header. Returns a one-line summary.
std::string hevcConfiguration(FieldReader& f);
// The same, keeping the parameter sets in `context` for the frames that follow.
std::string hevcConfiguration(FieldReader& f, HevcContext& context);

}  // namespace corvanta::codecs
