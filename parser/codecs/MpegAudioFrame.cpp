#include "codecs/MpegAudioFrame.h"

#include "Checksums.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "codecs/MpegAudioInfoTag.h"

#include <cstring>

namespace corvanta::codecs {

namespace {

// kbit/s by [MPEG-1 or not][layer - 1][bitrate_index].
const int kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1}},
};

const int kSampleRates[3] = {44100, 48000, 32000};  // MPEG-1; halved for MPEG-2, quartered for 2.5

const char* const kModes[] = {"stereo", "joint stereo", "dual channel", "single channel"};

int versionOf(uint8_t bits) {
  return bits == 3 ? 1 : bits == 2 ? 2 : bits == 0 ? 25 : 0;
}

std::string versionHrf(uint64_t bits) {
  static const char* const kNames[] = {"MPEG-2.5", "reserved", "MPEG-2", "MPEG-1"};
  return kNames[bits & 3];
}

std::string layerHrf(uint64_t bits) {
  static const char* const kNames[] = {"reserved", "Layer III", "Layer II", "Layer I"};
  return kNames[bits & 3];
}

int64_t frameBytes(const uint8_t* p) {
  MpegAudioHeader header;
  return parseMpegAudioHeader(p, header) ? header.frame_bytes : 0;
}

// Version, layer and sampling frequency stay the same along a stream.
bool sameStream(const uint8_t* a, const uint8_t* b) {
  return (a[1] & 0xFE) == (b[1] & 0xFE) && (a[2] & 0x0C) == (b[2] & 0x0C);
}

std::string blockTypeHrf(uint64_t type) {
  static const char* const kNames[] = {"normal (reserved here)", "start", "short", "end"};
  return kNames[type & 3];
}

// One granule of one channel of the Layer III side information.
void granuleChannel(FieldReader& f, const MpegAudioHeader& h, int64_t channel) {
  FieldUnit unit(f, "channel", channel);
  const uint64_t part = f.u("part2_3_length", 12, "bits");
  f.u("big_values", 9);
  const uint64_t gain = f.u("global_gain", 8);
  f.u("scalefac_compress", h.version == 1 ? 4 : 9);
  const bool switching = f.flag("window_switching_flag");
  uint64_t block_type = 0;
  if (switching) {
    block_type = f.uh("block_type", 2, blockTypeHrf);
    f.flag("mixed_block_flag");
    for (int i = 0; i < 2; ++i) f.u("table_select", 5, {}, i);
    for (int i = 0; i < 3; ++i) f.u("subblock_gain", 3, {}, i);
  } else {
    for (int i = 0; i < 3; ++i) f.u("table_select", 5, {}, i);
    f.u("region0_count", 4);
    f.u("region1_count", 3);
  }
  if (h.version == 1) f.flag("preflag");
  f.flag("scalefac_scale");
  f.flag("count1table_select");
  static const char* const kBlocks[] = {"long blocks", "start block", "short blocks", "end block"};
  unit.setSummary(numberText(part) + " bits, gain " + numberText(gain) + ", " + kBlocks[block_type & 3]);
}

void sideInfo(FieldReader& f, const MpegAudioHeader& h) {
  FieldUnit unit(f, "side_info");
  const uint64_t begin = f.u("main_data_begin", h.version == 1 ? 9 : 8, "bytes back");
  f.u("private_bits", h.version == 1 ? (h.channels() == 1 ? 5 : 3) : (h.channels() == 1 ? 1 : 2));
  if (h.version == 1)
    for (int ch = 0; ch < h.channels(); ++ch) f.u("scfsi", 4, {}, ch);
  const int granules = h.version == 1 ? 2 : 1;
  for (int gr = 0; gr < granules && f.ok(); ++gr) {
    FieldUnit granule(f, "granule", gr);
    for (int ch = 0; ch < h.channels(); ++ch) granuleChannel(f, h, ch);
  }
  unit.setSummary("main data " + numberText(begin) + " bytes back");
}

std::string summaryOf(const MpegAudioHeader& h) {
  static const char* const kLayers[] = {"", "Layer I", "Layer II", "Layer III"};
  return std::string(kLayers[h.layer]) + ", " + numberText(uint64_t(h.bitrate_kbps)) + " kbit/s, " +
         numberText(uint64_t(h.sample_rate)) + " Hz, " + kModes[h.mode];
}

}  // namespace

int MpegAudioHeader::sideInfoBytes() const {
  if (version == 1) return channels() == 1 ? 17 : 32;
  return channels() == 1 ? 9 : 17;
}

bool parseMpegAudioHeader(const uint8_t* p, MpegAudioHeader& h) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  h.version = versionOf((p[1] >> 3) & 3);
  const int layer_bits = (p[1] >> 1) & 3;
  const int bitrate_index = p[2] >> 4;
  const int rate_index = (p[2] >> 2) & 3;
  if (h.version == 0 || layer_bits == 0 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3) return false;
  h.layer = 4 - layer_bits;
  h.crc = !(p[1] & 1);
  h.bitrate_kbps = kBitrates[h.version == 1 ? 0 : 1][h.layer - 1][bitrate_index];
  h.sample_rate = kSampleRates[rate_index] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
  h.padding = (p[2] >> 1) & 1;
  h.mode = p[3] >> 6;
  const int64_t bits_per_second = int64_t(h.bitrate_kbps) * 1000;
  if (h.layer == 1) {
    h.samples = 384;
    h.frame_bytes = (12 * bits_per_second / h.sample_rate + h.padding) * 4;
  } else {
    h.samples = h.layer == 3 && h.version != 1 ? 576 : 1152;
    h.frame_bytes = h.samples / 8 * bits_per_second / h.sample_rate + h.padding;
  }
  return true;
}

namespace {

int64_t frameSamples(const uint8_t* header, int* sample_rate) {
  MpegAudioHeader h;
  if (!parseMpegAudioHeader(header, h)) return 0;
  *sample_rate = h.sample_rate;
  return h.samples;
}

}  // namespace

const AudioFrameKind& mpegAudioFrameKind() {
  static const AudioFrameKind kind{4, frameBytes, sameStream, frameSamples, "MPEG audio"};
  return kind;
}

std::string writeMpegAudioFrame(FieldReader& f, bool first, bool* info_header) {
  if (info_header) *info_header = false;
  const int64_t frame_start = f.bitPos();
  const uint8_t* p = f.fileData() + f.bytePos();
  MpegAudioHeader h;
  if (!f.has(32) || !parseMpegAudioHeader(p, h)) {
    f.rest("data");
    return {};
  }
  {
    FieldUnit header(f, "header");
    f.u("syncword", 11);
    f.uh("ID", 2, versionHrf);
    f.uh("layer", 2, layerHrf);
    f.u("protection_bit", 1, h.crc ? "CRC follows" : "no CRC");
    f.u("bitrate_index", 4, numberText(uint64_t(h.bitrate_kbps)) + " kbit/s");
    f.u("sampling_frequency", 2, numberText(uint64_t(h.sample_rate)) + " Hz");
    f.u("padding_bit", 1, h.padding ? "one slot of padding" : "");
    f.u("private_bit", 1);
    f.uh("mode", 2, [](uint64_t v) { return std::string(kModes[v & 3]); });
    f.uh("mode_extension", 2, [&h](uint64_t v) -> std::string {
      if (h.mode != 1) return {};
      if (h.layer == 3) return std::string(v & 2 ? "M/S stereo" : "no M/S") + ", " + (v & 1 ? "intensity stereo" : "no intensity");
      return "subbands " + numberText(4 * v + 4) + " to 31 in intensity stereo";
    });
    f.flag("copyright");
    f.u("original", 1, f.has(1) && f.peek(1) ? "original" : "copy");
    f.uh("emphasis", 2, [](uint64_t v) {
      static const char* const kNames[] = {"none", "50/15 microseconds", "reserved", "CCITT J.17"};
      return std::string(kNames[v & 3]);
    });
  }
  const bool crc_present = h.crc && f.has(16);
  if (h.layer == 3 && f.has((crc_present ? 16 : 0) + h.sideInfoBytes() * 8)) {
    if (crc_present) {
      // The check covers the header's last 16 bits and the side information.
      const uint8_t* data = f.fileData();
      const int64_t crc_byte = f.bytePos();
      const uint16_t stored = uint16_t(data[crc_byte] << 8 | data[crc_byte + 1]);
      uint16_t computed = crc16Bits(data, frame_start + 16, 16, 0xFFFF);
      computed = crc16Bits(data, (crc_byte + 2) * 8, h.sideInfoBytes() * 8, computed);
      f.u("crc_check", 16, stored == computed ? "ok" : "mismatch, computed " + hexText(computed, 4));
    }
    sideInfo(f, h);
  } else if (crc_present) {
    f.u("crc_check", 16);
  }
  std::string summary = summaryOf(h);
  if (first && h.layer == 3 && f.ok()) {
    const std::string info = writeMpegAudioInfoTag(f, frame_start / 8);
    if (!info.empty()) {
      summary = info + ", " + summary;
      if (info_header) *info_header = true;
    }
  }
  if (!f.ok()) f.recover();
  f.rest("audio_data");
  return summary;
}

}  // namespace corvanta::codecs
