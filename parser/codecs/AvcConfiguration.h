#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

struct H264Context;

// AVCDecoderConfigurationRecord (ISO/IEC 14496-15): the avcC box, a Matroska
// V_MPEG4/ISO/AVC CodecPrivate, an FLV AVC sequence header. Reads from the reader's position
// to its end, writes every field and returns a one-line summary.
std::string avcConfiguration(FieldReader& f);
// The same, keeping the parameter sets in `context` for the frames that follow.
std::string avcConfiguration(FieldReader& f, H264Context& context);

}  // namespace corvanta::codecs
