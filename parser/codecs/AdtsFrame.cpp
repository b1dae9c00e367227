#include "codecs/AdtsFrame.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"

namespace corvanta::codecs {

namespace {

constexpr int kHeaderBytes = 7;
const int kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};

int64_t frameBytes(const uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xF6) != 0xF0) return 0;  // syncword, layer 0
  if (((p[2] >> 2) & 0xF) >= 13) return 0;
  const int64_t length = int64_t(p[3] & 3) << 11 | int64_t(p[4]) << 3 | p[5] >> 5;
  const int64_t header = (p[1] & 1) ? kHeaderBytes : kHeaderBytes + 2;
  return length > header ? length : 0;
}

// ID, layer, profile, sampling frequency and channel configuration stay along a stream.
bool sameStream(const uint8_t* a, const uint8_t* b) {
  return (a[1] & 0x0E) == (b[1] & 0x0E) && (a[2] & 0xFD) == (b[2] & 0xFD) && (a[3] & 0xC0) == (b[3] & 0xC0);
}

std::string profileName(uint64_t id, uint64_t profile) {
  static const char* const kMpeg4[] = {"AAC Main", "AAC LC", "AAC SSR", "AAC LTP"};
  static const char* const kMpeg2[] = {"Main profile", "Low Complexity profile", "Scalable Sampling Rate profile",
                                       "reserved"};
  return (id ? kMpeg2 : kMpeg4)[profile & 3];
}

std::string channelsText(uint64_t configuration) {
  static const char* const kNames[] = {"channels in the stream", "1 channel", "2 channels", "3 channels",
                                       "4 channels", "5 channels", "5.1 channels", "7.1 channels"};
  return kNames[configuration & 7];
}

}  // namespace

namespace {

// 1024 samples in each raw data block.
int64_t frameSamples(const uint8_t* p, int* sample_rate) {
  const int rate_index = (p[2] >> 2) & 0xF;
  if (rate_index >= 13) return 0;
  *sample_rate = kSampleRates[rate_index];
  return 1024 * ((p[6] & 3) + 1);
}

}  // namespace

const AudioFrameKind& adtsFrameKind() {
  static const AudioFrameKind kind{kHeaderBytes, frameBytes, sameStream, frameSamples, "AAC"};
  return kind;
}

std::string writeAdtsFrame(FieldReader& f) {
  uint64_t id = 0, profile = 0, rate_index = 0, channels = 0, blocks = 0;
  bool crc = false;
  {
    FieldUnit header(f, "adts_fixed_header");
    f.u("syncword", 12);
    id = f.u("ID", 1, f.has(1) && f.peek(1) ? "MPEG-2" : "MPEG-4");
    f.u("layer", 2);
    crc = f.u("protection_absent", 1, f.has(1) && f.peek(1) ? "no CRC" : "CRC follows") == 0;
    profile = f.uh("profile_ObjectType", 2, [id](uint64_t v) { return profileName(id, v); });
    rate_index = f.uh("sampling_frequency_index", 4, [](uint64_t v) {
      return v < 13 ? numberText(uint64_t(kSampleRates[v])) + " Hz" : std::string("reserved");
    });
    f.u("private_bit", 1);
    channels = f.uh("channel_configuration", 3, channelsText);
    f.u("original_copy", 1);
    f.u("home", 1);
  }
  {
    FieldUnit header(f, "adts_variable_header");
    f.u("copyright_identification_bit", 1);
    f.u("copyright_identification_start", 1);
    f.u("frame_length", 13, "bytes with the header");
    f.uh("adts_buffer_fullness", 11, [](uint64_t v) { return v == 0x7FF ? std::string("variable bitrate") : std::string(); });
    blocks = f.u("number_of_raw_data_blocks_in_frame", 2, "plus one raw data block");
  }
  if (crc && blocks == 0) {
    f.uh("adts_error_check", 16, [](uint64_t v) { return hexText(v, 4); });
  } else if (crc) {
    FieldUnit check(f, "adts_header_error_check");
    for (uint64_t i = 1; i <= blocks; ++i) f.u("raw_data_block_position", 16, "bytes", int64_t(i));
    f.uh("crc_check", 16, [](uint64_t v) { return hexText(v, 4); });
  }
  if (!f.ok()) f.recover();
  // Without CRCs the blocks' borders are not in the header: one element for them all.
  f.rest(blocks == 0 ? "raw_data_block" : "raw_data_blocks");
  return profileName(id, profile) + ", " + (rate_index < 13 ? numberText(uint64_t(kSampleRates[rate_index])) + " Hz, " : "") +
         channelsText(channels);
}

}  // namespace corvanta::codecs
