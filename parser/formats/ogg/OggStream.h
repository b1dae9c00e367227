#pragma once

#include "codecs/FlacFrame.h"

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::ogg {

enum class OggCodec { Unknown, Vorbis, Opus, Flac, Theora, Speex };

// What the packets of one logical stream need to be read: its codec and the values of its first
// header packet that the granule positions and later packets depend on. Set once from the first
// packet, then only read, so that any page can be decoded from its bytes and this.
struct OggStreamInfo {
  OggCodec codec = OggCodec::Unknown;
  uint32_t serial = 0;
  uint32_t rate = 0;                // samples per second of the granule position (audio)
  uint32_t pre_skip = 0;            // Opus: samples at 48 kHz to drop at the start
  int keyframe_shift = 0;           // Theora: KFGSHIFT
  uint32_t frame_rate_numerator = 0, frame_rate_denominator = 0;  // Theora
  int64_t header_packets = 0;       // packets before the first audio or video packet, when known
  codecs::FlacStreamParameters flac;
};

// The codec and its values from the stream's first packet.
OggStreamInfo identifyStream(uint32_t serial, const uint8_t* packet, int64_t size);

const char* codecName(OggCodec codec);

// The granule position in the stream's own terms: "22050 samples, 1.000000 s", "keyframe 1 + 3
// frames, 0.500000 s"; -1 reads "no packet ends on this page".
std::string granuleText(const OggStreamInfo& stream, int64_t granule);

// Decodes packet `number` (0 for the first) of the stream as one element or unit named
// "packet" over what the reader covers (the whole packet; `incomplete` when some of it is not in
// the file); `note` goes into its readable value.
void decodePacket(FieldReader& f, const OggStreamInfo& stream, int64_t number, bool incomplete,
                  const std::string& note);

}  // namespace corvanta::ogg
