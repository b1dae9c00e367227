#pragma once

#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// VPCodecConfigurationRecord (VP8/VP9 in ISO base media): the payload of vpcC after its
// version and flags. Returns a one-line summary.
std::string vpCodecConfiguration(FieldReader& f);

}  // namespace corvanta::codecs
