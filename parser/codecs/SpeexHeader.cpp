#include "codecs/SpeexHeader.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

namespace corvanta::codecs {

namespace {
const ValueName kModes[] = {{0, "narrowband"}, {1, "wideband"}, {2, "ultra-wideband"}};
}  // namespace

std::string speexHeader(FieldReader& f) {
  f.fixedString("speex_string", 8, TextEncoding::Latin1);
  const std::string version = f.fixedString("speex_version", 20, TextEncoding::Latin1);
  f.ule("speex_version_id", 4);
  f.ule("header_size", 4, "bytes");
  const uint64_t rate = f.ule("rate", 4, "Hz");
  const uint64_t mode = f.uleh("mode", 4, [](uint64_t v) { return nameText(kModes, v); });
  f.ule("mode_bitstream_version", 4);
  const uint64_t channels = f.ule("nb_channels", 4);
  f.sle("bitrate", 4, "bit/s, -1 when not known");
  f.ule("frame_size", 4, "samples");
  f.uleh("vbr", 4, [](uint64_t v) { return v ? "variable bitrate" : "constant bitrate"; });
  f.ule("frames_per_packet", 4);
  f.ule("extra_headers", 4, "packets after the comments");
  f.ule("reserved1", 4);
  f.ule("reserved2", 4);
  if (!f.ok()) {
    f.recover();
    f.rest("data", "a field runs past the end of the packet");
    return "Speex header";
  }
  f.rest("extra_data", "bytes after the last field");
  std::string summary = "Speex " + version;
  const std::string mode_name = nameText(kModes, mode);
  if (!mode_name.empty()) summary += ", " + mode_name;
  return summary + ", " + numberText(channels) + " ch " + numberText(rate) + " Hz";
}

}  // namespace corvanta::codecs
