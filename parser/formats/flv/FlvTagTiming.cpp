#include "formats/flv/FlvTagTiming.h"

#include "formats/flv/FlvTagBodies.h"

#include "ByteOrder.h"
#include "TextForms.h"
#include "TimingWriter.h"

#include <algorithm>
#include <string>

namespace corvanta::flv {

namespace {

constexpr int64_t kTagHeaderBytes = 11;
constexpr uint8_t kAudio = 8, kVideo = 9;

// What the codec header of a tag's data says.
struct TagFrame {
  bool is_frame = false;
  int64_t header_bytes = 0;  // codec header before the frame's bytes
  int64_t composition = 0;   // ms
  int key = -1;
  std::string codec;
};

const char* videoCodec(int id) {
  switch (id) {
    case 2: return "Sorenson H.263";
    case 3: return "Screen video";
    case 4: return "VP6";
    case 5: return "VP6 alpha";
    case 6: return "Screen video 2";
    case 7: return "H.264";
    case 12: return "HEVC";
    default: return "";
  }
}

const char* audioCodec(int format) {
  static const char* const kNames[16] = {"PCM",       "ADPCM",       "MP3",   "PCM",    "Nellymoser", "Nellymoser",
                                         "Nellymoser", "G.711 A-law", "G.711 mu-law", "", "AAC", "Speex", "", "",
                                         "MP3",       "device-specific"};
  return kNames[format & 15];
}

// The tag bodies' codec names, with H.264 called as the other containers' frames call it.
std::string fourCCCodec(uint32_t code) {
  if (code == fourCC("avc1")) return "H.264";
  const std::string name = FlvTagBodies::fourCCName(code);
  return name.empty() ? fourCCText(code) : name;
}

TagFrame videoFrame(const uint8_t* p, int64_t bytes) {
  TagFrame t;
  if (bytes < 1) return t;
  if (p[0] & 0x80) {  // enhanced: IsExHeader, FrameType, PacketType, FourCC
    if (bytes < 5) return t;
    const int packet = p[0] & 0x0F;
    const uint32_t code = loadBe32(p + 1);
    t.codec = fourCCCodec(code);
    t.key = ((p[0] >> 4) & 7) == 1 ? 1 : 0;
    t.header_bytes = 5;
    const bool nal_based = code == fourCC("avc1") || code == fourCC("hvc1");
    if (packet == 1 && nal_based) {  // CodedFrames with a CompositionTime
      if (bytes < 8) return t;
      t.composition = int32_t(uint32_t(p[5] << 16 | p[6] << 8 | p[7]) << 8) >> 8;
      t.header_bytes = 8;
    }
    t.is_frame = packet == 1 || packet == 3;
    return t;
  }
  const int frame_type = p[0] >> 4;
  const int codec = p[0] & 0x0F;
  t.codec = videoCodec(codec);
  t.key = frame_type == 1 ? 1 : 0;
  t.header_bytes = 1;
  if (codec == 7 || codec == 12) {
    if (bytes < 5) return t;
    t.composition = int32_t(uint32_t(p[2] << 16 | p[3] << 8 | p[4]) << 8) >> 8;
    t.header_bytes = 5;
    t.is_frame = p[1] == 1;
    return t;
  }
  if (codec == 4 || codec == 5) t.header_bytes = codec == 5 ? 5 : 2;
  t.is_frame = frame_type != 5;  // a command frame carries no picture
  return t;
}

TagFrame audioFrame(const uint8_t* p, int64_t bytes) {
  TagFrame t;
  if (bytes < 1) return t;
  t.key = 1;
  const int format = p[0] >> 4;
  if (format == 9) {  // enhanced: AudioPacketType, FourCC
    if (bytes < 5) return t;
    t.codec = fourCCCodec(loadBe32(p + 1));
    t.header_bytes = 5;
    t.is_frame = (p[0] & 0x0F) == 1;
    return t;
  }
  t.codec = audioCodec(format);
  t.header_bytes = 1;
  if (format == 10) {
    if (bytes < 2) return t;
    t.header_bytes = 2;
    t.is_frame = p[1] == 1;
    return t;
  }
  t.is_frame = true;
  return t;
}

}  // namespace

void FlvTagTiming::tag(int64_t element_id, const uint8_t* data, int64_t begin, int64_t end) {
  if (!timing.enabled() || end - begin < kTagHeaderBytes) return;
  const uint8_t* p = data + begin;
  const uint8_t type = p[0] & 0x1F;
  const int64_t milliseconds = int64_t(p[7]) << 24 | int64_t(p[4]) << 16 | int64_t(p[5]) << 8 | p[6];
  const int64_t body = begin + kTagHeaderBytes;
  const bool filtered = p[0] & 0x20;
  TagFrame frame;
  if (filtered) {
    frame.is_frame = true;
  } else if (type == kVideo) {
    frame = videoFrame(data + body, end - body);
  } else if (type == kAudio) {
    frame = audioFrame(data + body, end - body);
  } else {
    frame.is_frame = true;  // script data: its time, its size
  }
  if (!frame.is_frame) return;
  int& stream = streamOf(type);
  if (stream == 0) {
    TimingWriter::Stream s;
    s.kind = type == kVideo ? TimingWriter::Kind::Video : type == kAudio ? TimingWriter::Kind::Audio
                                                                        : TimingWriter::Kind::Data;
    s.codec = frame.codec;
    s.container_id = type;
    s.container_id_name = "tag type";
    s.time_base_num = 1;
    s.time_base_den = 1000;
    stream = timing.declareStream(s);
  }
  TimingWriter::Frame row;
  row.element_id = element_id;
  row.byte_offset = std::min(body + frame.header_bytes, end);
  row.size = end - row.byte_offset;
  row.dts = milliseconds;
  row.pts = milliseconds + frame.composition;
  row.key = frame.key;
  timing.addFrame(stream, row);
}

}  // namespace corvanta::flv
