#include "MatroskaGenerator.h"

#include <QFile>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kFramesPerCluster = 25;   // one second of video
constexpr int kAudioFrameSize = 40;

// Appends EBML elements; a master's size is written in 8 bytes and patched when it ends.
class EbmlBuffer {
 public:
  void id(uint32_t value) {
    int width = value > 0xFFFFFF ? 4 : value > 0xFFFF ? 3 : value > 0xFF ? 2 : 1;
    for (int i = width - 1; i >= 0; --i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  }
  void size(uint64_t value) {
    int width = 1;
    while (width < 8 && value >= (uint64_t{1} << (7 * width)) - 1) ++width;
    const uint64_t code = (uint64_t{1} << (7 * width)) | value;
    for (int i = width - 1; i >= 0; --i) bytes.push_back(static_cast<char>(code >> (8 * i)));
  }
  void begin(uint32_t element_id) {
    id(element_id);
    open.push_back(bytes.size());
    bytes.append("\x01\0\0\0\0\0\0\0", 8);
  }
  void end() {
    const size_t at = open.back();
    open.pop_back();
    const uint64_t value = bytes.size() - at - 8;
    for (int i = 1; i < 8; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * (7 - i)));
  }
  void uint(uint32_t element_id, uint64_t value, int width = 0) {
    if (width == 0) {
      width = 1;
      while (width < 8 && value >> (8 * width)) ++width;
    }
    id(element_id);
    size(static_cast<uint64_t>(width));
    for (int i = width - 1; i >= 0; --i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  }
  void binary(uint32_t element_id, const std::string& data) {
    id(element_id);
    size(data.size());
    bytes += data;
  }
  // A uint of 8 bytes patched later (seek and cue positions).
  size_t placeholder(uint32_t element_id) {
    uint(element_id, 0, 8);
    return bytes.size() - 8;
  }
  void patch(size_t at, uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * (7 - i)));
  }

  std::string bytes;

 private:
  std::vector<size_t> open;
};

void header(EbmlBuffer& b) {
  b.begin(0x1A45DFA3);
  b.uint(0x4286, 1);
  b.uint(0x42F7, 1);
  b.uint(0x42F2, 4);
  b.uint(0x42F3, 8);
  b.binary(0x4282, "matroska");
  b.uint(0x4287, 4);
  b.uint(0x4285, 2);
  b.end();
}

void tracks(EbmlBuffer& b) {
  b.begin(0x1654AE6B);
  b.begin(0xAE);
  b.uint(0xD7, 1);
  b.uint(0x73C5, 1);
  b.uint(0x83, 1);
  b.binary(0x86, "V_MPEG4/ISO/AVC");
  // avcC: version 1, Baseline 3.0, 4-byte NAL lengths, no parameter sets
  b.binary(0x63A2, std::string("\x01\x42\x00\x1E\xFF\xE0\x00", 7));
  b.uint(0x23E383, 40000000);
  b.begin(0xE0);
  b.uint(0xB0, 320);
  b.uint(0xBA, 240);
  b.end();
  b.end();
  b.begin(0xAE);
  b.uint(0xD7, 2);
  b.uint(0x73C5, 2);
  b.uint(0x83, 2);
  b.binary(0x86, "A_OPUS");
  // OpusHead: version 1, 2 channels, pre-skip 312, 48000 Hz, gain 0, mapping family 0
  b.binary(0x63A2, std::string("OpusHead\x01\x02\x38\x01\x80\xBB\x00\x00\x00\x00\x00", 19));
  b.uint(0x23E383, 20000000);
  b.begin(0xE1);
  b.uint(0x9F, 2);
  b.end();
  b.end();
  b.end();
}

// A SimpleBlock of track 1 (one frame) or 2 (two frames, Xiph-laced).
void block(EbmlBuffer& b, int track, int16_t timestamp, uint32_t frame_size, bool keyframe) {
  const bool laced = track == 2;
  const uint64_t payload = 4 + (laced ? 2 + 2 * kAudioFrameSize : frame_size);
  b.id(0xA3);
  b.size(payload);
  b.bytes.push_back(static_cast<char>(0x80 | track));
  b.bytes.push_back(static_cast<char>(timestamp >> 8));
  b.bytes.push_back(static_cast<char>(timestamp & 0xFF));
  b.bytes.push_back(static_cast<char>((keyframe ? 0x80 : 0) | (laced ? 0x02 : 0)));
  if (laced) {
    b.bytes.push_back(1);                          // two frames
    b.bytes.push_back(char(kAudioFrameSize));      // the first one's size
    b.bytes.append(2 * kAudioFrameSize, '\xFC');
  } else {
    for (int i = 3; i >= 0; --i) b.bytes.push_back(static_cast<char>((frame_size - 4) >> (8 * i)));  // NAL length
    b.bytes.append(frame_size - 4, '\x65');
  }
}

}  // namespace

bool MatroskaGenerator::write(const QString& path) const {
  EbmlBuffer b;
  header(b);
  b.begin(0x18538067);
  const size_t segment_data = b.bytes.size();
  b.begin(0x114D9B74);
  std::vector<size_t> seek_positions;
  for (uint32_t target : {0x1549A966u, 0x1654AE6Bu, 0x1C53BB6Bu}) {
    b.begin(0x4DBB);
    b.binary(0x53AB, std::string{static_cast<char>(target >> 24), static_cast<char>(target >> 16),
                                 static_cast<char>(target >> 8), static_cast<char>(target)});
    seek_positions.push_back(b.placeholder(0x53AC));
    b.end();
  }
  b.end();

  b.patch(seek_positions[0], b.bytes.size() - segment_data);
  b.begin(0x1549A966);
  b.uint(0x2AD7B1, 1000000);
  b.id(0x4489);
  b.size(8);
  const double duration = static_cast<double>(video_frames) * 40.0;
  uint64_t bits;
  static_assert(sizeof bits == sizeof duration, "IEEE 754 binary64");
  std::memcpy(&bits, &duration, sizeof bits);
  for (int i = 7; i >= 0; --i) b.bytes.push_back(static_cast<char>(bits >> (8 * i)));
  b.binary(0x4D80, "Corvanta benchmark");
  b.binary(0x5741, "Corvanta benchmark");
  b.end();
  b.patch(seek_positions[1], b.bytes.size() - segment_data);
  tracks(b);

  std::vector<std::pair<uint64_t, uint64_t>> cues;  // time (ms), cluster position
  for (int64_t frame = 0; frame < video_frames; frame += kFramesPerCluster) {
    const uint64_t cluster_time = static_cast<uint64_t>(frame) * 40;
    cues.emplace_back(cluster_time, b.bytes.size() - segment_data);
    b.begin(0x1F43B675);
    b.uint(0xE7, cluster_time);
    for (int64_t i = frame; i < video_frames && i < frame + kFramesPerCluster; ++i) {
      const auto relative = static_cast<int16_t>((i - frame) * 40);
      block(b, 1, relative, frameSize(i), i == frame);
      block(b, 2, relative, 0, true);
    }
    b.end();
  }

  b.patch(seek_positions[2], b.bytes.size() - segment_data);
  b.begin(0x1C53BB6B);
  for (const auto& [time, position] : cues) {
    b.begin(0xBB);
    b.uint(0xB3, time);
    b.begin(0xB7);
    b.uint(0xF7, 1);
    b.uint(0xF1, position);
    b.end();
    b.end();
  }
  b.end();
  b.end();  // Segment

  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return false;
  return file.write(b.bytes.data(), static_cast<qint64>(b.bytes.size())) == static_cast<qint64>(b.bytes.size());
}
