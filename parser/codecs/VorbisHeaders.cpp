#include "codecs/VorbisHeaders.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/VorbisComment.h"
#include "codecs/XiphHeaderPacket.h"

namespace corvanta::codecs {

namespace {

// Vorbis packs its bit fields from the least significant bit of each byte: the two 4-bit block
// sizes share one byte, blocksize_0 in its low half; the framing flag is the low bit of the next.
std::string identification(FieldReader& f) {
  f.ule("vorbis_version", 4);
  const uint64_t channels = f.u("audio_channels", 8);
  const uint64_t rate = f.ule("audio_sample_rate", 4, "Hz");
  f.sle("bitrate_maximum", 4, "bit/s");
  const int64_t nominal = f.sle("bitrate_nominal", 4, "bit/s");
  f.sle("bitrate_minimum", 4, "bit/s");
  const auto exponent = [](uint64_t v) { return v < 32 ? numberText(uint64_t(1) << v) + " samples" : std::string(); };
  f.uh("blocksize_1", 4, exponent);
  f.uh("blocksize_0", 4, exponent);
  f.u("reserved", 7);
  f.u("framing_flag", 1);
  std::string summary = "Vorbis identification, " + numberText(channels) + " ch " + numberText(rate) + " Hz";
  if (nominal > 0) summary += ", nominal " + signedText(nominal) + " bit/s";
  return summary;
}

std::string setup(FieldReader& f) {
  const uint64_t codebooks = f.uh("vorbis_codebook_count_minus_1", 8,
                                  [](uint64_t v) { return numberText(v + 1) + " codebooks"; });
  f.rest("setup_data", "codebooks, floors, residues, mappings and modes");
  return "Vorbis setup, " + numberText(codebooks + 1) + " codebooks";
}

const char* packetName(uint64_t type) {
  switch (type) {
    case 1: return "identification_header";
    case 3: return "comment_header";
    case 5: return "setup_header";
    default: return "packet";
  }
}

std::string decode(FieldReader& f, uint64_t type) {
  switch (type) {
    case 1: return identification(f);
    case 3: return "Vorbis comments, " + vorbisComment(f, true);
    case 5: return setup(f);
    default: return "Vorbis audio packet";
  }
}

const XiphHeaderKind kVorbis = {"Vorbis", "packet_type", "vorbis", packetName, decode};

}  // namespace

std::string vorbisHeaderPacket(FieldReader& f, int64_t seq) { return xiphHeaderPacket(f, seq, kVorbis); }

}  // namespace corvanta::codecs
