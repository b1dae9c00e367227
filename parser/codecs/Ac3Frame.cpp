#include "codecs/Ac3Frame.h"

#include "Checksums.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "codecs/Ac3Configuration.h"

namespace corvanta::codecs {

namespace {

constexpr int kHeaderBytes = 6;
constexpr uint64_t kLastAc3Bsid = 10, kLastEac3Bsid = 16;

// 16-bit words of an AC-3 frame.
int64_t ac3FrameWords(uint64_t fscod, uint64_t frmsizecod) {
  const int64_t kbps = ac3BitrateKbps(frmsizecod >> 1);
  if (kbps == 0 || fscod > 2) return 0;
  if (fscod == 0) return 2 * kbps;
  if (fscod == 2) return 3 * kbps;
  return kbps * 320 / 147 + int64_t(frmsizecod & 1);  // 44.1 kHz: 1536 samples of 16-bit words
}

int64_t frameBytes(const uint8_t* p) {
  if (p[0] != 0x0B || p[1] != 0x77) return 0;
  const uint64_t bsid = p[5] >> 3;
  if (bsid <= kLastAc3Bsid) return 2 * ac3FrameWords(p[4] >> 6, p[4] & 0x3F);
  if (bsid > kLastEac3Bsid || (p[2] >> 6) == 3) return 0;
  return 2 * ((int64_t(p[2] & 7) << 8 | p[3]) + 1);
}

// One family (AC-3 or E-AC-3) and one fscod along a stream.
bool sameStream(const uint8_t* a, const uint8_t* b) {
  return ((a[5] >> 3) <= kLastAc3Bsid) == ((b[5] >> 3) <= kLastAc3Bsid) && (a[4] >> 6) == (b[4] >> 6);
}

std::string bsmodName(uint64_t bsmod) {
  static const char* const kNames[] = {"main audio service: complete main", "main audio service: music and effects",
                                       "associated service: visually impaired", "associated service: hearing impaired",
                                       "associated service: dialogue", "associated service: commentary",
                                       "associated service: emergency", "associated service: voice over or karaoke"};
  return kNames[bsmod & 7];
}

std::string dialnormHrf(uint64_t v) {
  return "-" + numberText(v == 0 ? 31 : v) + " dB";
}

std::string acmodHrf(uint64_t v) {
  return ac3ChannelModeName(v);
}

void optional(FieldReader& f, std::string_view flag, std::string_view name, int bits) {
  if (f.flag(flag)) f.u(name, bits);
}

void productionInfo(FieldReader& f, std::string_view exists, std::string_view mixlevel, std::string_view roomtyp) {
  if (!f.flag(exists)) return;
  f.u(mixlevel, 5);
  f.uh(roomtyp, 2, [](uint64_t v) {
    static const char* const kNames[] = {"not indicated", "large room", "small room", "reserved"};
    return std::string(kNames[v & 3]);
  });
}

// What follows the AC-3 bsi's audprodie: the second channel's values for 1+1, copyright,
// and the time codes or (bsid 6) the extended bit stream information.
void ac3BsiTail(FieldReader& f, uint64_t bsid, uint64_t acmod) {
  if (acmod == 0) {
    f.uh("dialnorm2", 5, dialnormHrf);
    optional(f, "compr2e", "compr2", 8);
    optional(f, "langcod2e", "langcod2", 8);
    productionInfo(f, "audprodi2e", "mixlevel2", "roomtyp2");
  }
  f.flag("copyrightb");
  f.u("origbs", 1, f.has(1) && f.peek(1) ? "original" : "copy");
  if (bsid == 6) {
    if (f.flag("xbsi1e")) {
      f.u("dmixmod", 2);
      f.u("ltrtcmixlev", 3);
      f.u("ltrtsurmixlev", 3);
      f.u("lorocmixlev", 3);
      f.u("lorosurmixlev", 3);
    }
    if (f.flag("xbsi2e")) {
      f.u("dsurexmod", 2);
      f.u("dheadphonmod", 2);
      f.u("adconvtyp", 1);
      f.u("xbsi2", 8);
      f.u("encinfo", 1);
    }
  } else {
    optional(f, "timecod1e", "timecod1", 14);
    optional(f, "timecod2e", "timecod2", 14);
  }
}

void additionalBsi(FieldReader& f) {
  if (!f.flag("addbsie")) return;
  const uint64_t length = f.u("addbsil", 6, "plus one bytes");
  if (f.ok()) f.text("addbsi", int64_t(length + 1) * 8, {}, numberText(length + 1) + " bytes");
}

// CRC-16 of the frame's bits [from, to) including the CRC word that closes them: zero when right.
std::string crcHrf(const FieldReader& f, int64_t from_bit, int64_t to_bit) {
  if (to_bit > f.endBit() || to_bit <= from_bit) return {};
  return crc16Bits(f.fileData(), from_bit, to_bit - from_bit, 0) == 0 ? "ok" : "mismatch";
}

// The frame after the bsi: audio blocks up to the closing CRC word.
void audioAndCrc(FieldReader& f, int64_t frame_end, int64_t crc2_from) {
  if (!f.ok()) f.recover();
  const int64_t crc_bit = frame_end * 8 - 16;
  if (f.bitPos() < crc_bit && crc_bit + 16 <= f.endBit()) {
    f.text("audio_blocks", crc_bit - f.bitPos(), {}, numberText(uint64_t(crc_bit - f.bitPos()) / 8) + " bytes");
    f.uh("crc2", 16, [&](uint64_t) { return crcHrf(f, crc2_from, frame_end * 8); });
  } else {
    f.rest("audio_blocks", "truncated");
  }
}

std::string ac3Frame(FieldReader& f, int64_t frame_begin, int64_t frame_bytes) {
  const int64_t frame_end = frame_begin + frame_bytes;
  // crc1 closes the first five eighths of the frame, counted in 16-bit words.
  const int64_t words = frame_bytes / 2;
  const int64_t five_eighths = frame_begin + 2 * ((words >> 1) + (words >> 3));
  uint64_t acmod = 0, lfe = 0, frmsizecod = 0;
  {
    FieldUnit unit(f, "syncinfo");
    f.uh("syncword", 16, [](uint64_t v) { return hexText(v, 4); });
    f.uh("crc1", 16, [&](uint64_t) { return crcHrf(f, (frame_begin + 2) * 8, five_eighths * 8); });
    f.uh("fscod", 2, ac3SampleRateName);
    frmsizecod = f.uh("frmsizecod", 6, [frame_bytes](uint64_t v) {
      return numberText(uint64_t(ac3BitrateKbps(v >> 1))) + " kbit/s, " + numberText(uint64_t(frame_bytes)) + " bytes";
    });
  }
  {
    FieldUnit unit(f, "bsi");
    const uint64_t bsid = f.u("bsid", 5);
    f.uh("bsmod", 3, bsmodName);
    acmod = f.uh("acmod", 3, acmodHrf);
    if ((acmod & 1) && acmod != 1) f.u("cmixlev", 2);
    if (acmod & 4) f.u("surmixlev", 2);
    if (acmod == 2) f.uh("dsurmod", 2, [](uint64_t v) {
      static const char* const kNames[] = {"not indicated", "not Dolby Surround encoded", "Dolby Surround encoded", "reserved"};
      return std::string(kNames[v & 3]);
    });
    lfe = f.u("lfeon", 1);
    f.uh("dialnorm", 5, dialnormHrf);
    optional(f, "compre", "compr", 8);
    if (f.flag("langcode")) f.u("langcod", 8);
    productionInfo(f, "audprodie", "mixlevel", "roomtyp");
    ac3BsiTail(f, bsid, acmod);
    additionalBsi(f);
  }
  audioAndCrc(f, frame_end, five_eighths * 8);
  return "AC-3 " + ac3ChannelModeName(acmod) + (lfe ? "+LFE" : "") + ", " +
         numberText(uint64_t(ac3BitrateKbps(frmsizecod >> 1))) + " kbit/s";
}

std::string eac3Frame(FieldReader& f, int64_t frame_begin, int64_t frame_bytes) {
  uint64_t strmtyp = 0, substream = 0, acmod = 0, lfe = 0;
  {
    FieldUnit unit(f, "syncinfo");
    f.uh("syncword", 16, [](uint64_t v) { return hexText(v, 4); });
  }
  {
    FieldUnit unit(f, "bsi");
    strmtyp = f.uh("strmtyp", 2, [](uint64_t v) {
      static const char* const kNames[] = {"independent substream", "dependent substream",
                                           "independent, converted from AC-3", "reserved"};
      return std::string(kNames[v & 3]);
    });
    substream = f.u("substreamid", 3);
    f.u("frmsiz", 11, "plus one words, " + numberText(uint64_t(frame_bytes)) + " bytes");
    const uint64_t fscod = f.uh("fscod", 2, [](uint64_t v) { return v == 3 ? std::string("half rate, see fscod2") : ac3SampleRateName(v); });
    uint64_t numblkscod = 3;
    if (fscod == 3) f.uh("fscod2", 2, [](uint64_t v) {
      static const char* const kNames[] = {"24000 Hz", "22050 Hz", "16000 Hz", "reserved"};
      return std::string(kNames[v & 3]);
    });
    else numblkscod = f.uh("numblkscod", 2, [](uint64_t v) {
      static const char* const kBlocks[] = {"1 block", "2 blocks", "3 blocks", "6 blocks"};
      return std::string(kBlocks[v & 3]);
    });
    acmod = f.uh("acmod", 3, acmodHrf);
    lfe = f.u("lfeon", 1);
    f.u("bsid", 5);
    f.uh("dialnorm", 5, dialnormHrf);
    optional(f, "compre", "compr", 8);
    if (acmod == 0) {
      f.uh("dialnorm2", 5, dialnormHrf);
      optional(f, "compr2e", "compr2", 8);
    }
    if (strmtyp == 1) optional(f, "chanmape", "chanmap", 16);
    if (f.flag("mixmdate")) {
      // The mixing metadata's layout depends on much of the above; shown as one piece with the
      // rest of the frame.
      f.rest("mixing_metadata_and_audio");
      return "E-AC-3 " + numberText(substream) + ", " + ac3ChannelModeName(acmod);
    }
    if (f.flag("infomdate")) {
      f.uh("bsmod", 3, bsmodName);
      f.flag("copyrightb");
      f.u("origbs", 1);
      if (acmod == 2) {
        f.u("dsurmod", 2);
        f.u("dheadphonmod", 2);
      }
      if (acmod >= 6) f.u("dsurexmod", 2);
      productionInfo(f, "audprodie", "mixlevel", "roomtyp");
      if (acmod == 0) productionInfo(f, "audprodi2e", "mixlevel2", "roomtyp2");
      if (fscod < 3) f.flag("sourcefscod");
    }
    if (strmtyp == 0 && numblkscod != 3) f.flag("convsync");
    if (strmtyp == 2) {
      const bool blkid = numblkscod == 3 ? true : f.flag("blkid");
      if (blkid) f.u("frmsizecod", 6);
    }
    additionalBsi(f);
  }
  audioAndCrc(f, frame_begin + frame_bytes, (frame_begin + 2) * 8);
  static const char* const kKinds[] = {"independent", "dependent", "converted", "reserved"};
  return "E-AC-3 " + std::string(kKinds[strmtyp & 3]) + " substream " + numberText(substream) + ", " +
         ac3ChannelModeName(acmod) + (lfe ? "+LFE" : "");
}

}  // namespace

namespace {

// AC-3: 1536 samples. E-AC-3: 256 per audio block; a dependent substream shares the time of
// the independent one before it.
int64_t frameSamples(const uint8_t* p, int* sample_rate) {
  static const int kRates[3] = {48000, 44100, 32000};
  const uint64_t bsid = p[5] >> 3;
  const int fscod = p[4] >> 6;
  if (bsid <= kLastAc3Bsid) {
    if (fscod == 3) return 0;
    *sample_rate = kRates[fscod];
    return 1536;
  }
  if ((p[2] >> 6) == 1) return 0;
  if (fscod == 3) {
    const int fscod2 = (p[4] >> 4) & 3;
    if (fscod2 == 3) return 0;
    *sample_rate = kRates[fscod2] / 2;
    return 1536;
  }
  static const int kBlocks[4] = {1, 2, 3, 6};
  *sample_rate = kRates[fscod];
  return 256 * kBlocks[(p[4] >> 4) & 3];
}

}  // namespace

const AudioFrameKind& ac3FrameKind() {
  static const AudioFrameKind kind{kHeaderBytes, frameBytes, sameStream, frameSamples, "AC-3"};
  return kind;
}

std::string writeAc3Frame(FieldReader& f) {
  const int64_t begin = f.bytePos();
  if (!f.byteAligned() || !f.has(kHeaderBytes * 8)) {
    f.rest("data");
    return {};
  }
  const uint8_t* p = f.fileData() + begin;
  const int64_t bytes = frameBytes(p);
  if (bytes == 0) {
    f.rest("data");
    return {};
  }
  return (p[5] >> 3) <= kLastAc3Bsid ? ac3Frame(f, begin, bytes) : eac3Frame(f, begin, bytes);
}

}  // namespace corvanta::codecs
