#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// MPEG-4 AudioSpecificConfig (ISO/IEC 14496-3): in esds, a Matroska A_AAC CodecPrivate,
// an FLV AAC sequence header, a LATM StreamMuxConfig. Returns "AAC LC, 2 ch 48000 Hz".
std::string audioSpecificConfig(FieldReader& f);

}  // namespace corvanta::codecs
