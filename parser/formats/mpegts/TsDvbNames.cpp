#include "formats/mpegts/TsDvbNames.h"

#include "ValueName.h"

namespace corvanta::mpegts {

namespace {

const ValueName kServiceTypes[] = {
    {0x01, "digital television service"}, {0x02, "digital radio sound service"}, {0x03, "teletext service"},
    {0x04, "NVOD reference service"}, {0x05, "NVOD time-shifted service"}, {0x06, "mosaic service"},
    {0x07, "FM radio service"}, {0x08, "DVB SRM service"}, {0x0A, "advanced codec digital radio sound service"},
    {0x0B, "H.264/AVC mosaic service"}, {0x0C, "data broadcast service"}, {0x0D, "common interface usage"},
    {0x0E, "RCS Map"}, {0x0F, "RCS FLS"}, {0x10, "DVB MHP service"},
    {0x11, "MPEG-2 HD digital television service"}, {0x16, "H.264/AVC SD digital television service"},
    {0x17, "H.264/AVC SD NVOD time-shifted service"}, {0x18, "H.264/AVC SD NVOD reference service"},
    {0x19, "H.264/AVC HD digital television service"}, {0x1A, "H.264/AVC HD NVOD time-shifted service"},
    {0x1B, "H.264/AVC HD NVOD reference service"}, {0x1C, "H.264/AVC frame compatible plano-stereoscopic HD digital television service"},
    {0x1F, "HEVC digital television service"}, {0x20, "HEVC UHD digital television service"},
};

const ValueName kRunningStatus[] = {{0, "undefined"}, {1, "not running"}, {2, "starts in a few seconds"},
                                    {3, "pausing"},   {4, "running"},     {5, "service off-air"}};

const ValueName kStreamContents[] = {
    {0x1, "MPEG-2 video"}, {0x2, "MPEG-1 Layer 2 audio"}, {0x3, "EBU teletext or DVB subtitles"},
    {0x4, "AC-3 audio"},   {0x5, "H.264/AVC video"},      {0x6, "HE-AAC audio"},
    {0x7, "DTS audio"},    {0x8, "DVB SRM data"},         {0x9, "HEVC video or NGA audio"},
    {0xA, "NGA audio"},    {0xB, "next generation video"},
};

struct ComponentType {
  uint8_t content;
  uint8_t type;
  const char* name;
};

// The common combinations of EN 300 468 Table 26.
const ComponentType kComponentTypes[] = {
    {0x1, 0x01, "4:3 video, 25 Hz"}, {0x1, 0x02, "16:9 video with pan vectors, 25 Hz"},
    {0x1, 0x03, "16:9 video, 25 Hz"}, {0x1, 0x04, "video wider than 16:9, 25 Hz"},
    {0x1, 0x05, "4:3 video, 30 Hz"}, {0x1, 0x07, "16:9 video, 30 Hz"},
    {0x1, 0x09, "high definition 4:3 video, 25 Hz"}, {0x1, 0x0B, "high definition 16:9 video, 25 Hz"},
    {0x2, 0x01, "single mono channel"}, {0x2, 0x02, "dual mono channel"}, {0x2, 0x03, "stereo (2 channel)"},
    {0x2, 0x04, "multi-lingual, multi-channel"}, {0x2, 0x05, "surround sound"},
    {0x2, 0x40, "description for the visually impaired"}, {0x2, 0x41, "audio for the hard of hearing"},
    {0x3, 0x01, "EBU teletext subtitles"}, {0x3, 0x02, "associated EBU teletext"}, {0x3, 0x03, "VBI data"},
    {0x3, 0x10, "DVB subtitles (normal), no aspect ratio"}, {0x3, 0x11, "DVB subtitles (normal), 4:3"},
    {0x3, 0x12, "DVB subtitles (normal), 16:9"}, {0x3, 0x13, "DVB subtitles (normal), 2.21:1"},
    {0x3, 0x14, "DVB subtitles (normal), high definition"}, {0x3, 0x15, "DVB subtitles (normal), plano-stereoscopic"},
    {0x3, 0x20, "DVB subtitles for the hard of hearing, no aspect ratio"},
    {0x3, 0x21, "DVB subtitles for the hard of hearing, 4:3"},
    {0x3, 0x22, "DVB subtitles for the hard of hearing, 16:9"},
    {0x3, 0x23, "DVB subtitles for the hard of hearing, 2.21:1"},
    {0x3, 0x24, "DVB subtitles for the hard of hearing, high definition"},
    {0x5, 0x01, "H.264/AVC SD video, 4:3, 25 Hz"}, {0x5, 0x03, "H.264/AVC SD video, 16:9, 25 Hz"},
    {0x5, 0x04, "H.264/AVC SD video, wider than 16:9, 25 Hz"}, {0x5, 0x05, "H.264/AVC SD video, 4:3, 30 Hz"},
    {0x5, 0x07, "H.264/AVC SD video, 16:9, 30 Hz"}, {0x5, 0x0B, "H.264/AVC HD video, 16:9, 25 Hz"},
    {0x5, 0x0C, "H.264/AVC HD video, wider than 16:9, 25 Hz"}, {0x5, 0x0F, "H.264/AVC HD video, 16:9, 30 Hz"},
    {0x6, 0x01, "HE-AAC audio, single mono channel"}, {0x6, 0x03, "HE-AAC audio, stereo"},
    {0x6, 0x05, "HE-AAC audio, surround sound"}, {0x6, 0x40, "HE-AAC audio description for the visually impaired"},
    {0x6, 0x41, "HE-AAC audio for the hard of hearing"}, {0x6, 0x43, "HE-AAC v2 audio, stereo"},
    {0x6, 0x51, "AAC audio, single mono channel"}, {0x6, 0x53, "AAC audio, stereo"},
    {0x6, 0x55, "AAC audio, surround sound"},
};

const ValueName kGenres[] = {
    {0x0, "undefined content"}, {0x1, "Movie/Drama"}, {0x2, "News/Current affairs"}, {0x3, "Show/Game show"},
    {0x4, "Sports"}, {0x5, "Children's/Youth programmes"}, {0x6, "Music/Ballet/Dance"},
    {0x7, "Arts/Culture (without music)"}, {0x8, "Social/Political issues/Economics"},
    {0x9, "Education/Science/Factual topics"}, {0xA, "Leisure hobbies"}, {0xB, "Special characteristics"},
    {0xC, "Adult"}, {0xF, "user defined"},
};

const ValueName kTeletextTypes[] = {{1, "initial teletext page"}, {2, "teletext subtitle page"},
                                    {3, "additional information page"}, {4, "programme schedule page"},
                                    {5, "teletext subtitle page for the hearing impaired"}};

}  // namespace

std::string serviceTypeName(uint64_t service_type) {
  if (service_type >= 0x80 && service_type <= 0xFE) return "user defined";
  return nameText(kServiceTypes, service_type);
}

std::string runningStatusName(uint64_t running_status) { return nameText(kRunningStatus, running_status); }

std::string streamContentName(uint64_t stream_content) { return nameText(kStreamContents, stream_content); }

std::string componentTypeName(uint64_t stream_content, uint64_t component_type) {
  for (const ComponentType& line : kComponentTypes)
    if (line.content == stream_content && line.type == component_type) return line.name;
  return {};
}

std::string contentGenreName(uint64_t content_nibble_level_1) { return nameText(kGenres, content_nibble_level_1); }

std::string teletextTypeName(uint64_t teletext_type) { return nameText(kTeletextTypes, teletext_type); }

}  // namespace corvanta::mpegts
