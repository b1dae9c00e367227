#pragma once

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The info header that encoders write into the first frame of an MPEG audio stream in place
// of audio: Xing or Info (frames, bytes, seek table, quality) with the LAME extension, or
// VBRI. `f` stands after the Layer III side information; `frame_begin` is the frame's first
// byte. Writes nothing and returns "" when the frame holds none; otherwise its summary
// ("Xing header, 41 frames").
std::string writeMpegAudioInfoTag(FieldReader& f, int64_t frame_begin);

}  // namespace corvanta::codecs
