#include "codecs/StreamTypes.h"

namespace corvanta::codecs {

namespace {

using K = StreamKind;

const StreamType kStreamTypes[] = {
    {0x00, "reserved", K::Data},
    {0x01, "MPEG-1 video", K::Video},
    {0x02, "MPEG-2 video", K::Video},
    {0x03, "MPEG-1 audio", K::Audio},
    {0x04, "MPEG-2 audio", K::Audio},
    {0x05, "private sections", K::Sections},
    {0x06, "PES private data", K::Data},
    {0x07, "MHEG", K::Data},
    {0x08, "DSM-CC", K::Data},
    {0x09, "H.222.1", K::Data},
    {0x0A, "DSM-CC multiprotocol encapsulation", K::Sections},
    {0x0B, "DSM-CC U-N messages", K::Sections},
    {0x0C, "DSM-CC stream descriptors", K::Sections},
    {0x0D, "DSM-CC sections", K::Sections},
    {0x0E, "auxiliary", K::Data},
    {0x0F, "AAC audio (ADTS)", K::Audio},
    {0x10, "MPEG-4 visual", K::Video},
    {0x11, "AAC audio (LATM)", K::Audio},
    {0x12, "MPEG-4 SL-packetized stream in PES", K::Data},
    {0x13, "MPEG-4 SL-packetized stream in sections", K::Sections},
    {0x14, "DSM-CC synchronized download", K::Data},
    {0x15, "metadata in PES", K::Data},
    {0x16, "metadata in sections", K::Sections},
    {0x17, "metadata in data carousel", K::Sections},
    {0x18, "metadata in object carousel", K::Sections},
    {0x19, "metadata in synchronized download", K::Sections},
    {0x1A, "IPMP", K::Data},
    {0x1B, "H.264 video", K::Video},
    {0x1C, "MPEG-4 audio (raw)", K::Audio},
    {0x1D, "MPEG-4 text", K::Subtitles},
    {0x1E, "auxiliary video (ISO/IEC 23002-3)", K::Video},
    {0x1F, "H.264 SVC sub-bitstream", K::Video},
    {0x20, "H.264 MVC sub-bitstream", K::Video},
    {0x21, "JPEG 2000 video", K::Video},
    {0x22, "MPEG-2 additional view (3D)", K::Video},
    {0x23, "H.264 additional view (3D)", K::Video},
    {0x24, "H.265 video", K::Video},
    {0x25, "H.265 temporal video subset", K::Video},
    {0x26, "H.264 MVCD sub-bitstream", K::Video},
    {0x27, "timeline and external media information", K::Data},
    {0x28, "H.265 enhancement sub-partition", K::Video},
    {0x29, "H.265 temporal enhancement sub-partition", K::Video},
    {0x2A, "H.265 enhancement sub-partition (temporal subset)", K::Video},
    {0x2B, "H.265 temporal enhancement sub-partition (temporal subset)", K::Video},
    {0x2C, "green access units", K::Data},
    {0x2D, "MPEG-H 3D audio (main)", K::Audio},
    {0x2E, "MPEG-H 3D audio (auxiliary)", K::Audio},
    {0x2F, "quality access units", K::Data},
    {0x30, "MPEG-H 3D audio (extension)", K::Audio},
    {0x31, "H.265 motion-constrained tile sets", K::Video},
    {0x32, "JPEG XS video", K::Video},
    {0x33, "H.266 video", K::Video},
    {0x34, "H.266 temporal video subset", K::Video},
    {0x35, "EVC video", K::Video},
    {0x7F, "IPMP stream", K::Data},
    // User private, as ATSC, DVB practice and common muxers use them.
    {0x81, "AC-3 audio", K::Audio},
    {0x82, "SCTE-27 subtitles", K::Subtitles},
    {0x86, "SCTE-35 splice information", K::Sections},
    {0x87, "E-AC-3 audio", K::Audio},
    {0xD1, "Dirac video", K::Video},
    {0xEA, "VC-1 video", K::Video},
};

// Blu-ray's meaning of the user-private values.
const StreamType kBluRayStreamTypes[] = {
    {0x80, "LPCM audio (Blu-ray)", K::Audio},
    {0x81, "AC-3 audio", K::Audio},
    {0x82, "DTS audio", K::Audio},
    {0x83, "Dolby TrueHD audio", K::Audio},
    {0x84, "E-AC-3 audio", K::Audio},
    {0x85, "DTS-HD high resolution audio", K::Audio},
    {0x86, "DTS-HD master audio", K::Audio},
    {0x90, "presentation graphics (Blu-ray subtitles)", K::Subtitles},
    {0x91, "interactive graphics (Blu-ray menus)", K::Data},
    {0x92, "text subtitles (Blu-ray)", K::Subtitles},
    {0xA1, "E-AC-3 secondary audio", K::Audio},
    {0xA2, "DTS-HD secondary audio", K::Audio},
    {0xEA, "VC-1 video", K::Video},
};

const StreamType kReserved = {0x00, "reserved", K::Data};
const StreamType kUserPrivate = {0x80, "user private", K::Data};

}  // namespace

const StreamType& streamType(uint8_t stream_type, bool blu_ray) {
  if (blu_ray)
    for (const StreamType& line : kBluRayStreamTypes)
      if (line.value == stream_type) return line;
  for (const StreamType& line : kStreamTypes)
    if (line.value == stream_type) return line;
  return stream_type >= 0x80 ? kUserPrivate : kReserved;
}

const char* streamKindWord(StreamKind kind) {
  switch (kind) {
    case K::Video: return "video";
    case K::Audio: return "audio";
    case K::Subtitles: return "subtitles";
    case K::Teletext: return "teletext";
    case K::Sections: return "sections";
    case K::Data: break;
  }
  return "data";
}

}  // namespace corvanta::codecs
