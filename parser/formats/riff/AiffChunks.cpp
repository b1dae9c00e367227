#include "formats/riff/AiffChunks.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/riff/RiffTables.h"
#include "formats/riff/WaveChunks.h"

#include <algorithm>
#include <cmath>

namespace corvanta::riff {

namespace {

constexpr uint64_t kAifcVersion1 = 0xA2805140;

// AIFF-C compression types whose sound data is still plain sample frames.
const ValueName kCompressionTypes[] = {
    {fourCC("NONE"), "not compressed"},      {fourCC("sowt"), "little-endian"},      {fourCC("twos"), "big-endian"},
    {fourCC("raw "), "unsigned 8-bit"},      {fourCC("fl32"), "32-bit float"},       {fourCC("FL32"), "32-bit float"},
    {fourCC("fl64"), "64-bit float"},        {fourCC("FL64"), "64-bit float"},       {fourCC("in24"), "24-bit"},
    {fourCC("in32"), "32-bit"},              {fourCC("ulaw"), "mu-law"},             {fourCC("ULAW"), "mu-law"},
    {fourCC("alaw"), "A-law"},               {fourCC("ALAW"), "A-law"},              {fourCC("ima4"), "IMA ADPCM"},
    {fourCC("MAC3"), "MACE 3:1"},            {fourCC("MAC6"), "MACE 6:1"},           {fourCC("GSM "), "GSM"},
};
const ValueName kUncompressed[] = {{fourCC("NONE"), ""}, {fourCC("sowt"), ""}, {fourCC("twos"), ""},
                                   {fourCC("raw "), ""}, {fourCC("fl32"), ""}, {fourCC("FL32"), ""},
                                   {fourCC("fl64"), ""}, {fourCC("FL64"), ""}, {fourCC("in24"), ""},
                                   {fourCC("in32"), ""}};
const ValueName kPlayModes[] = {{0, "no looping"}, {1, "forward"}, {2, "forward and backward"}};

// A Pascal string padded to an even size, as IFF keeps them.
std::string evenPstring(FieldReader& f, std::string_view name) {
  if (!f.has(8)) return f.pstring(name);
  const int total = int(std::min<int64_t>((f.peek(8) + 2) & ~uint64_t(1), f.bytesLeft()));
  return f.pstring(name, total);
}

void loop(FieldReader& f, std::string_view name) {
  FieldUnit unit(f, name);
  const uint64_t mode = f.uh("playMode", 16, [](uint64_t v) { return nameText(kPlayModes, v); });
  const int64_t begin = f.s("beginLoop", 16, "marker");
  const int64_t end = f.s("endLoop", 16, "marker");
  unit.setSummary(nameText(kPlayModes, mode) + ", markers " + signedText(begin) + "–" + signedText(end));
}

}  // namespace

double extendedValue(uint16_t sign_exponent, uint64_t mantissa) {
  const int exponent = sign_exponent & 0x7FFF;
  if (exponent == 0 && mantissa == 0) return 0.0;
  if (exponent == 0x7FFF) return mantissa ? std::nan("") : HUGE_VAL;
  const double value = std::ldexp(double(mantissa), exponent - 16383 - 63);
  return (sign_exponent & 0x8000) ? -value : value;
}

std::string aiffCommon(RiffWalk& walk, const Chunk& chunk, FieldReader& f) {
  RiffState& s = walk.state;
  const uint64_t channels = f.u("numChannels", 16);
  const uint64_t frames = f.u("numSampleFrames", 32);
  const uint64_t bits = f.u("sampleSize", 16, "bits");
  double rate = 0;
  if (f.has(80)) {
    const uint8_t* p = f.fileData() + f.bytePos();
    uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i) mantissa = (mantissa << 8) | p[i];
    rate = extendedValue(uint16_t(p[0] << 8 | p[1]), mantissa);
    f.text("sampleRate", 80, floatText(rate), "Hz (80-bit extended)");
  } else {
    f.need(80);
  }
  std::string compression_text;
  bool compressed = false;
  if (chunk.parent_type == fourCC("AIFC") && f.ok()) {
    const uint32_t type = f.has(32) ? uint32_t(f.peek(32)) : 0;
    f.fourcc("compressionType", nameText(kCompressionTypes, type));
    evenPstring(f, "compressionName");
    compressed = nameOf(kUncompressed, type) == nullptr;
    compression_text = ", " + fourCCText(type);
  }
  s.channels = channels;
  s.bits_per_sample = bits;
  s.sample_rate = rate > 0 && rate < 4294967296.0 ? uint64_t(std::llround(rate)) : 0;
  s.block_align = channels * ((bits + 7) / 8);
  s.aiff_frames = frames;
  s.aiff_compressed = compressed;
  return numberText(channels) + " ch " + floatText(rate) + " Hz, " + numberText(bits) + " bits, " +
         numberText(frames) + " frames" + compression_text;
}

std::string aiffSoundData(RiffWalk& walk, const Chunk&, FieldReader& f) {
  const RiffState& s = walk.state;
  const uint64_t offset = f.u("offset", 32, "bytes before the first sample frame");
  f.u("blockSize", 32, "bytes");
  if (!f.ok()) return "SSND";
  if (offset > 0) f.bytes("alignment", int64_t(std::min<uint64_t>(offset, uint64_t(f.bytesLeft()))));
  const uint64_t present = uint64_t(f.bytesLeft());
  const std::string counted = s.aiff_compressed ? "" : sampleFramesText(present, s.block_align, s.sample_rate);
  f.rest("samples", counted);
  return counted.empty() ? numberText(present) + " bytes" : counted;
}

std::string aiffFormatVersion(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t version = f.has(32) ? f.peek(32) : 0;
  f.u("timestamp", 32, version == kAifcVersion1 ? "AIFF-C version 1 (" + dateTextSince1904(version) + ")" : dateTextSince1904(version));
  return version == kAifcVersion1 ? "AIFF-C version 1" : hexText(version, 8);
}

std::string aiffMarkers(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t declared = f.u("numMarkers", 16);
  uint64_t read = 0;
  for (; read < declared && f.ok() && f.bytesLeft() >= 8; ++read) {
    FieldUnit marker(f, "Marker", int64_t(read));
    const int64_t id = f.s("id", 16);
    const uint64_t position = f.u("position", 32, "sample frame");
    const std::string name = evenPstring(f, "markerName");
    marker.setSummary(signedText(id) + " at " + numberText(position) + (name.empty() ? "" : ": " + shortText(name)));
  }
  return numberText(declared) + " markers";
}

std::string aiffInstrument(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t note = f.u("baseNote", 8, "MIDI note");
  f.s("detune", 8, "cents");
  f.u("lowNote", 8);
  f.u("highNote", 8);
  f.u("lowVelocity", 8);
  f.u("highVelocity", 8);
  const int64_t gain = f.s("gain", 16, "dB");
  loop(f, "sustainLoop");
  loop(f, "releaseLoop");
  return "note " + numberText(note) + ", gain " + signedText(gain) + " dB";
}

std::string aiffComments(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t declared = f.u("numComments", 16);
  for (uint64_t i = 0; i < declared && f.ok() && f.bytesLeft() >= 8; ++i) {
    FieldUnit comment(f, "Comment", int64_t(i));
    f.date1904("timeStamp", 32);
    f.s("marker", 16);
    const uint64_t count = f.u("count", 16, "bytes");
    const int64_t text_bytes = int64_t(std::min<uint64_t>(count, uint64_t(f.bytesLeft())));
    const std::string text = f.fixedString("text", text_bytes, TextEncoding::Latin1);
    if ((count & 1) && f.bytesLeft() > 0) f.u("pad", 8);
    comment.setSummary(shortText(text));
  }
  return numberText(declared) + " comments";
}

}  // namespace corvanta::riff
