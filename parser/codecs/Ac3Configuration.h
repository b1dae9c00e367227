#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// AC3SpecificBox (dac3) and EC3SpecificBox (dec3) of ETSI TS 102 366. Each returns a
// one-line summary.
std::string ac3SpecificBox(FieldReader& f);
std::string eac3SpecificBox(FieldReader& f);

// Names shared by the AC-3 and E-AC-3 decoders: fscod ("48000 Hz"), acmod ("3/2") and the
// bitrate of a bit_rate_code (frmsizecod / 2) in kbit/s (0 when reserved).
std::string ac3SampleRateName(uint64_t fscod);
std::string ac3ChannelModeName(uint64_t acmod);
int ac3BitrateKbps(uint64_t bit_rate_code);

}  // namespace corvanta::codecs
