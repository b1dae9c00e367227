#include "codecs/WaveFormatEx.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace corvanta::codecs {

namespace {

constexpr uint64_t kExtensible = 0xFFFE;
constexpr uint64_t kExtensibleFields = 22;

const ValueName kFormatTags[] = {
    {0x0001, "PCM"},          {0x0002, "Microsoft ADPCM"}, {0x0003, "IEEE float"},     {0x0006, "A-law"},
    {0x0007, "mu-law"},       {0x0011, "IMA ADPCM"},       {0x0031, "GSM 6.10"},       {0x0050, "MPEG"},
    {0x0055, "MPEG Layer 3"}, {0x00FF, "AAC"},             {0x0160, "WMA v1"},         {0x0161, "WMA v2"},
    {0x0162, "WMA Pro"},      {0x0163, "WMA Lossless"},    {0x1610, "AAC (ADTS)"},     {0x2000, "AC-3"},
    {0x2001, "DTS"},          {0x674F, "Ogg Vorbis"},      {0xF1AC, "FLAC"},           {kExtensible, "extensible"}};

// Speaker positions of dwChannelMask, bit 0 first.
const char* const kSpeakers[] = {"FL", "FR", "FC", "LFE", "BL", "BR", "FLC", "FRC", "BC", "SL", "SR",
                                 "TC", "TFL", "TFC", "TFR", "TBL", "TBC", "TBR"};

std::string speakersText(uint64_t mask) {
  std::string out;
  for (size_t i = 0; i < std::size(kSpeakers); ++i)
    if (mask & (uint64_t(1) << i)) out += (out.empty() ? "" : " ") + std::string(kSpeakers[i]);
  return out;
}

// A GUID as Windows writes it: the first three groups little-endian.
std::string guidText(const uint8_t* p) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                unsigned(p[0] | p[1] << 8 | p[2] << 16 | unsigned(p[3]) << 24), unsigned(p[4] | p[5] << 8),
                unsigned(p[6] | p[7] << 8), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
  return buffer;
}

// The sub-format GUIDs of the extensible format carry a format tag in their first two bytes.
bool isTagGuid(const uint8_t* p) {
  static const uint8_t kTail[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  for (size_t i = 0; i < sizeof kTail; ++i)
    if (p[2 + i] != kTail[i]) return false;
  return true;
}

}  // namespace

std::string waveFormatTagName(uint64_t tag) { return nameText(kFormatTags, tag); }

std::string waveFormatEx(FieldReader& f) {
  uint64_t tag = f.uleh("wFormatTag", 2, waveFormatTagName);
  const uint64_t channels = f.ule("nChannels", 2);
  const uint64_t rate = f.ule("nSamplesPerSec", 4, "Hz");
  f.ule("nAvgBytesPerSec", 4, "bytes per second");
  f.ule("nBlockAlign", 2, "bytes");
  const uint64_t bits = f.ule("wBitsPerSample", 2, "bits");
  if (!f.ok()) return "WAVEFORMAT";
  uint64_t extra = 0;
  if (f.bytesLeft() >= 2) extra = f.ule("cbSize", 2, "bytes");
  if (tag == kExtensible && extra >= kExtensibleFields && f.bytesLeft() >= int64_t(kExtensibleFields)) {
    f.ule("wValidBitsPerSample", 2, "bits");
    f.uleh("dwChannelMask", 4, speakersText);
    const uint8_t* guid = f.fileData() + f.bytePos();
    std::string hrf;
    if (isTagGuid(guid)) {
      tag = uint64_t(guid[0] | guid[1] << 8);
      hrf = waveFormatTagName(tag);
    }
    f.text("SubFormat", 128, guidText(guid), hrf);
    extra -= kExtensibleFields;
  }
  if (extra > 0 && f.ok()) f.bytes("codec_data", int64_t(std::min<uint64_t>(extra, uint64_t(f.bytesLeft()))));
  const std::string name = waveFormatTagName(tag);
  std::string summary = (name.empty() ? "format " + hexText(tag, 4) : name) + ", " + numberText(channels) + " ch " +
                        numberText(rate) + " Hz";
  if (bits) summary += ", " + numberText(bits) + " bits";
  return summary;
}

}  // namespace corvanta::codecs
