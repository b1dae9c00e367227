#include "codecs/Ac4Frame.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"

namespace corvanta::codecs {

namespace {

constexpr int kHeaderBytes = 7;
constexpr uint64_t kSyncWord = 0xAC40, kSyncWordWithCrc = 0xAC41;

int64_t frameBytes(const uint8_t* p) {
  if ((uint64_t(p[0]) << 8 | (p[1] & 0xFE)) != kSyncWord) return 0;
  const bool crc = p[1] & 1;
  int64_t size = int64_t(p[2]) << 8 | p[3];
  int64_t header = 4;
  if (size == 0xFFFF) {
    size = int64_t(p[4]) << 16 | int64_t(p[5]) << 8 | p[6];
    header = 7;
  }
  return size == 0 ? 0 : header + size + (crc ? 2 : 0);
}

bool sameStream(const uint8_t* a, const uint8_t* b) {
  return a[1] == b[1];
}

// variable_bits(n): groups of n bits, each followed by a flag that another group follows.
uint64_t variableBits(FieldReader& f, std::string_view name, int bits) {
  FieldReader look = f;
  uint64_t value = 0;
  int64_t total = 0;
  for (int group = 0; group < 8; ++group) {
    value += look.read(bits);
    total += bits + 1;
    if (!look.read(1)) break;
    value = (value + 1) << bits;
  }
  if (!look.ok()) {
    f.fail();
    return 0;
  }
  f.text(name, total, numberText(value));
  return value;
}

std::string frameRateHrf(uint64_t index) {
  static const char* const kRates[] = {"23.976", "24", "25", "29.97", "30", "47.95", "48", "50",
                                       "59.94", "60", "100", "119.88", "120", "23.44"};
  return index < 14 ? std::string(kRates[index]) + " frames/s" : std::string("reserved");
}

}  // namespace

const AudioFrameKind& ac4FrameKind() {
  static const AudioFrameKind kind{kHeaderBytes, frameBytes, sameStream, nullptr, "AC-4"};
  return kind;
}

std::string writeAc4Frame(FieldReader& f) {
  uint64_t sync = 0, size = 0;
  {
    FieldUnit unit(f, "ac4_syncframe");
    sync = f.uh("sync_word", 16, [](uint64_t v) { return v == kSyncWordWithCrc ? std::string("with CRC") : std::string("without CRC"); });
    size = f.u("frame_size", 16, "bytes");
    if (size == 0xFFFF) size = f.u("frame_size", 24, "bytes");
  }
  uint64_t version = 0, counter = 0, rate = 0;
  {
    FieldReader raw = f.sub(int64_t(size));
    FieldUnit unit(raw, "raw_ac4_frame");
    {
      FieldUnit toc(raw, "ac4_toc");
      version = raw.u("bitstream_version", 2);
      if (version == 3) version += variableBits(raw, "bitstream_version", 2);
      counter = raw.u("sequence_counter", 10);
      if (raw.flag("b_wait_frames")) {
        const uint64_t wait = raw.u("wait_frames", 3);
        if (wait > 0) raw.u("br_code", 2);
      }
      raw.u("fs_index", 1, raw.has(1) && raw.peek(1) ? "48000 Hz" : "44100 Hz");
      rate = raw.uh("frame_rate_index", 4, frameRateHrf);
      raw.flag("b_iframe_global");
      if (!raw.ok()) raw.recover();
    }
    raw.rest("toc_rest_and_substreams", "not decoded");
    f.skipPast(raw);
  }
  if (sync == kSyncWordWithCrc && f.ok()) f.uh("crc_word", 16, [](uint64_t v) { return hexText(v, 4); });
  if (!f.ok()) f.recover();
  f.rest("data");
  return "AC-4 version " + numberText(version) + ", sequence " + numberText(counter) + ", " + frameRateHrf(rate);
}

}  // namespace corvanta::codecs
