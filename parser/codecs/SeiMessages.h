#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

enum class SeiSyntax { H264, Hevc };

// sei_rbsp() of H.264 (7.3.2.3, Annex D) and H.265 (7.3.5, Annex D), after the NAL unit header:
// every sei_message as a unit with its payloadType named and its payloadSize, the payloads that
// carry what people look for decoded (user data unregistered with its UUID and text, ITU-T T.35
// with its country and provider codes and caption data counted, recovery point, mastering display
// colour volume, content light level, alternative transfer characteristics), others as one field.
// Returns the summary ("SEI: user data unregistered, recovery point").
std::string seiRbsp(FieldReader& f, SeiSyntax syntax);

}  // namespace corvanta::codecs
