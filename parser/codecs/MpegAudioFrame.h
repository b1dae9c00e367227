#pragma once

#include "codecs/AudioFrameScanner.h"

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// The fixed facts of an MPEG-1/2/2.5 audio frame header (ISO/IEC 11172-3, 13818-3 and the
// 2.5 extension for the lowest rates).
struct MpegAudioHeader {
  int version = 1;  // 1: MPEG-1, 2: MPEG-2, 25: MPEG-2.5
  int layer = 3;
  bool crc = false;  // protection_bit 0
  int bitrate_kbps = 0;
  int sample_rate = 0;
  bool padding = false;
  int mode = 0;  // 3: single channel
  int64_t frame_bytes = 0;
  int samples = 0;  // per frame

  int channels() const { return mode == 3 ? 1 : 2; }
  // Bytes of the Layer III side information.
  int sideInfoBytes() const;
};

// False when the four bytes are no valid header (free format, whose size is not in the header,
// counts as invalid).
bool parseMpegAudioHeader(const uint8_t* p, MpegAudioHeader& header);

// The frames of an MPEG audio elementary stream, for AudioFrameScanner.
const AudioFrameKind& mpegAudioFrameKind();

// Writes a whole frame from its header on: header fields, CRC, Layer III side information, the
// Xing/Info (with the LAME extension) or VBRI header of a stream's first frame, and the audio
// data as one element. Returns a summary ("Layer III, 128 kbit/s, 44100 Hz, joint stereo").
// `info_header` is set when the frame is an info frame (no audio of its own).
std::string writeMpegAudioFrame(FieldReader& f, bool first, bool* info_header = nullptr);

}  // namespace corvanta::codecs
