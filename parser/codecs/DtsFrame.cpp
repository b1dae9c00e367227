#include "codecs/DtsFrame.h"

#include "ByteOrder.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"

namespace corvanta::codecs {

namespace {

constexpr uint32_t kCoreSync = 0x7FFE8001, kSubstreamSync = 0x64582025;
constexpr int kHeaderBytes = 12;
constexpr int64_t kSmallestCoreFrame = 96;

const int kSampleRates[16] = {0, 8000, 16000, 32000, 0, 0, 11025, 22050, 44100, 0, 0, 12000, 24000, 48000, 0, 0};

const char* const kRates[32] = {"32",   "56",   "64",   "96",   "112",    "128",  "192",  "224",
                                "256",  "320",  "384",  "448",  "512",    "576",  "640",  "768",
                                "960",  "1024", "1152", "1280", "1344",   "1408", "1411.2", "1472",
                                "1536", "1920", "2048", "3072", "3840", "open", "variable", "lossless"};

const char* const kModes[16] = {"A (mono)",  "A+B (dual mono)",  "L+R",           "(L+R)+(L-R)",
                                "Lt+Rt",     "C+L+R",            "L+R+S",         "C+L+R+S",
                                "L+R+SL+SR", "C+L+R+SL+SR",      "CL+CR+L+R+SL+SR", "C+L+R+LR+RR+OV",
                                "CF+CR+LF+RF+LR+RR", "CL+C+CR+L+R+SL+SR", "CL+CR+L+R+SL1+SL2+SR1+SR2",
                                "CL+C+CR+L+R+SL+S+SR"};

const ValueName kExtensions[] = {{0, "XCh"}, {2, "X96"}, {6, "XXCh"}};

int64_t substreamBytes(const uint8_t* p) {
  // UserDefinedBits (8), nExtSSIndex (2), bHeaderSizeType (1), then 8+16 or 12+20 bits of sizes.
  const uint64_t bits = uint64_t(loadBe32(p + 5)) << 8 | p[9];  // 40 bits from nExtSSIndex on
  if (bits & (uint64_t(1) << 37)) return int64_t((bits >> 5) & 0xFFFFF) + 1;  // long sizes: 12 bits, then 20
  return int64_t((bits >> 13) & 0xFFFF) + 1;
}

int64_t frameBytes(const uint8_t* p) {
  const uint32_t sync = loadBe32(p);
  if (sync == kSubstreamSync) return substreamBytes(p);
  if (sync != kCoreSync) return 0;
  const int64_t bytes = (int64_t(p[5] & 3) << 12 | int64_t(p[6]) << 4 | p[7] >> 4) + 1;
  const int rate = (p[8] >> 2) & 0xF;
  return bytes >= kSmallestCoreFrame && kSampleRates[rate] != 0 ? bytes : 0;
}

bool sameStream(const uint8_t*, const uint8_t*) {
  return true;  // core frames and substreams alternate in DTS-HD
}

std::string coreFrame(FieldReader& f) {
  uint64_t amode = 0, sfreq = 0, rate = 0, lff = 0;
  {
    FieldUnit header(f, "frame_header");
    f.uh("SYNC", 32, [](uint64_t v) { return hexText(v, 8); });
    f.u("FTYPE", 1, f.has(1) && f.peek(1) ? "normal frame" : "termination frame");
    f.u("SHORT", 5, "deficit sample count");
    const bool crc = f.flag("CPF", f.has(1) && f.peek(1) ? "CRC present" : "");
    f.uh("NBLKS", 7, [](uint64_t v) { return numberText(v + 1) + " blocks of 32 samples"; });
    f.uh("FSIZE", 14, [](uint64_t v) { return numberText(v + 1) + " bytes"; });
    amode = f.uh("AMODE", 6, [](uint64_t v) { return v < 16 ? std::string(kModes[v]) : std::string("user defined"); });
    sfreq = f.uh("SFREQ", 4, [](uint64_t v) { return kSampleRates[v] ? numberText(uint64_t(kSampleRates[v])) + " Hz" : std::string("invalid"); });
    rate = f.uh("RATE", 5, [](uint64_t v) { return std::string(kRates[v & 31]) + (v < 29 ? " kbit/s" : ""); });
    f.u("FixedBit", 1);
    f.flag("DYNF");
    f.flag("TIMEF");
    f.flag("AUXF");
    f.flag("HDCD");
    f.uh("EXT_AUDIO_ID", 3, [](uint64_t v) { return nameText(kExtensions, v); });
    f.flag("EXT_AUDIO");
    f.flag("ASPF");
    lff = f.uh("LFF", 2, [](uint64_t v) {
      static const char* const kNames[] = {"no LFE", "LFE, interpolation 128", "LFE, interpolation 64", "invalid"};
      return std::string(kNames[v & 3]);
    });
    f.flag("HFLAG");
    if (crc) f.uh("HCRC", 16, [](uint64_t v) { return hexText(v, 4); });
    f.flag("FILTS");
    f.u("VERNUM", 4);
    f.u("CHIST", 2);
    f.uh("PCMR", 3, [](uint64_t v) {
      static const char* const kNames[] = {"16 bits", "16 bits, ES", "20 bits", "20 bits, ES", "invalid", "24 bits", "24 bits, ES", "invalid"};
      return std::string(kNames[v & 7]);
    });
    f.flag("SUMF");
    f.flag("SUMS");
    f.u("DIALNORM", 4);
  }
  if (!f.ok()) f.recover();
  f.rest("audio_data");
  return "core, " + std::string(amode < 16 ? kModes[amode] : "user defined") + (lff == 1 || lff == 2 ? "+LFE" : "") + ", " +
         numberText(uint64_t(kSampleRates[sfreq & 15])) + " Hz, " + kRates[rate & 31] + (rate < 29 ? " kbit/s" : "");
}

std::string substream(FieldReader& f) {
  uint64_t index = 0, header_bytes = 0;
  const int64_t start = f.bytePos();
  {
    FieldUnit header(f, "substream_header");
    f.uh("SYNCEXTSSH", 32, [](uint64_t v) { return hexText(v, 8); });
    f.u("UserDefinedBits", 8);
    index = f.u("nExtSSIndex", 2);
    const bool long_sizes = f.flag("bHeaderSizeType");
    header_bytes = f.u("nuExtSSHeaderSize", long_sizes ? 12 : 8, "plus one bytes") + 1;
    f.u("nuExtSSFsize", long_sizes ? 20 : 16, "plus one bytes");
    f.flag("bStaticFieldsPresent");
    const int64_t header_end_bit = (start + int64_t(header_bytes)) * 8;
    if (f.ok() && header_end_bit > f.bitPos() && header_end_bit <= f.endBit())
      f.text("header_fields", header_end_bit - f.bitPos(), {}, "not decoded");
  }
  if (!f.ok()) f.recover();
  f.rest("assets");
  return "extension substream " + numberText(index);
}

}  // namespace

namespace {

// Core frames: NBLKS + 1 blocks of 32 samples. Substreams (DTS-HD) share the core's time.
int64_t frameSamples(const uint8_t* p, int* sample_rate) {
  if (loadBe32(p) != kCoreSync) return 0;
  const int rate = kSampleRates[(p[8] >> 2) & 0xF];
  if (rate == 0) return 0;
  *sample_rate = rate;
  return 32 * ((((p[4] & 1) << 6) | (p[5] >> 2)) + 1);
}

}  // namespace

const AudioFrameKind& dtsFrameKind() {
  static const AudioFrameKind kind{kHeaderBytes, frameBytes, sameStream, frameSamples, "DTS"};
  return kind;
}

std::string writeDtsFrame(FieldReader& f) {
  if (!f.byteAligned() || !f.has(32)) {
    f.rest("data");
    return {};
  }
  return loadBe32(f.fileData() + f.bytePos()) == kSubstreamSync ? substream(f) : coreFrame(f);
}

}  // namespace corvanta::codecs
