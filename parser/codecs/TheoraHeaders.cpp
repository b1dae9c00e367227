#include "codecs/TheoraHeaders.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/VideoFormat.h"
#include "codecs/VorbisComment.h"
#include "codecs/XiphHeaderPacket.h"

namespace corvanta::codecs {

namespace {

const ValueName kColourSpaces[] = {{0, "undefined"}, {1, "Rec. 470M"}, {2, "Rec. 470BG"}};
const ValueName kPixelFormats[] = {{0, "4:2:0"}, {1, "reserved"}, {2, "4:2:2"}, {3, "4:4:4"}};

// The identification header: big-endian fields, most significant bit first.
std::string identification(FieldReader& f) {
  const uint64_t major = f.u("VMAJ", 8);
  const uint64_t minor = f.u("VMIN", 8);
  const uint64_t revision = f.u("VREV", 8);
  f.uh("FMBW", 16, [](uint64_t v) { return numberText(v * 16) + " pixels"; });
  f.uh("FMBH", 16, [](uint64_t v) { return numberText(v * 16) + " pixels"; });
  const uint64_t width = f.u("PICW", 24);
  const uint64_t height = f.u("PICH", 24);
  f.u("PICX", 8);
  f.u("PICY", 8);
  const uint64_t rate_num = f.u("FRN", 32);
  const uint64_t rate_den = f.u("FRD", 32);
  f.u("PARN", 24);
  f.u("PARD", 24);
  f.uh("CS", 8, [](uint64_t v) { return nameText(kColourSpaces, v); });
  f.u("NOMBR", 24, "bit/s");
  f.u("QUAL", 6);
  f.uh("KFGSHIFT", 5, [](uint64_t v) { return "at most " + numberText(uint64_t(1) << v) + " frames between keyframes"; });
  const uint64_t format = f.uh("PF", 2, [](uint64_t v) { return nameText(kPixelFormats, v); });
  f.u("reserved", 3);
  std::string summary = "Theora " + numberText(major) + "." + numberText(minor) + "." + numberText(revision) +
                        " identification, " + numberText(width) + "x" + numberText(height) + " " +
                        nameText(kPixelFormats, format);
  const std::string rate = frameRateText(rate_num, rate_den);
  if (!rate.empty()) summary += ", " + rate;
  return summary;
}

const char* packetName(uint64_t type) {
  switch (type) {
    case 0x80: return "identification_header";
    case 0x81: return "comment_header";
    case 0x82: return "setup_header";
    default: return "packet";
  }
}

std::string decode(FieldReader& f, uint64_t type) {
  switch (type) {
    case 0x80: return identification(f);
    case 0x81: return "Theora comments, " + vorbisComment(f, false);
    case 0x82:
      f.rest("setup_data", "loop filter limits, quantization parameters and Huffman tables");
      return "Theora setup";
    default: return "Theora packet";
  }
}

const XiphHeaderKind kTheora = {"Theora", "header_type", "theora", packetName, decode};

}  // namespace

std::string theoraHeaderPacket(FieldReader& f, int64_t seq) { return xiphHeaderPacket(f, seq, kTheora); }

}  // namespace corvanta::codecs
