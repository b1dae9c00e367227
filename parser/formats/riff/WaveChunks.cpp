#include "formats/riff/WaveChunks.h"

#include "ByteOrder.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/WaveFormatEx.h"
#include "formats/riff/RiffTables.h"

#include <algorithm>

namespace corvanta::riff {

namespace {

constexpr uint64_t kExtensible = 0xFFFE;

// Formats whose data is plain sample frames of nBlockAlign bytes.
const ValueName kFrameFormats[] = {{0x0001, "PCM"}, {0x0003, "IEEE float"}, {0x0006, "A-law"}, {0x0007, "mu-law"}};

const ValueName kSmpteFormats[] = {{0, "none"}, {24, "24 fps"}, {25, "25 fps"}, {29, "30 fps drop frame"}, {30, "30 fps"}};
const ValueName kLoopTypes[] = {{0, "forward"}, {1, "alternating"}, {2, "backward"}};

// A loudness value of bext: hundredths of an LU or dB.
std::string hundredthsText(uint64_t raw) { return floatText(double(int16_t(raw)) / 100.0); }

}  // namespace

std::string sampleFramesText(uint64_t bytes, uint64_t block_align, uint64_t rate) {
  if (block_align == 0 || rate == 0) return {};
  const uint64_t frames = bytes / block_align;
  return numberText(frames) + " sample frames, " + secondsText(int64_t(frames), uint32_t(std::min<uint64_t>(rate, UINT32_MAX)));
}

std::string waveFormat(RiffWalk& walk, const Chunk&, FieldReader& f) {
  RiffState& s = walk.state;
  const uint8_t* p = f.fileData() + f.bytePos();
  const int64_t size = f.bytesLeft();
  if (size >= 16) {
    s.format_tag = loadLe16(p);
    s.channels = loadLe16(p + 2);
    s.sample_rate = loadLe32(p + 4);
    s.block_align = loadLe16(p + 12);
    s.bits_per_sample = loadLe16(p + 14);
    if (s.format_tag == kExtensible && size >= 26 && loadLe16(p + 16) >= 22) s.format_tag = loadLe16(p + 24);
  }
  return codecs::waveFormatEx(f);
}

std::string waveFact(RiffWalk& walk, const Chunk&, FieldReader& f) {
  const uint64_t samples = f.ule("dwSampleLength", 4, walk.state.sample_rate
                                                         ? secondsText(int64_t(f.has(32) ? f.peekLe(4) : 0),
                                                                       uint32_t(std::min<uint64_t>(walk.state.sample_rate, UINT32_MAX)))
                                                         : "");
  return numberText(samples) + " samples per channel";
}

// One element for all the samples: a file of an hour holds hundreds of millions of them.
std::string waveData(RiffWalk& walk, const Chunk& chunk, FieldReader& f) {
  const RiffState& s = walk.state;
  const uint64_t present = uint64_t(f.bytesLeft());
  const bool frames = nameOf(kFrameFormats, s.format_tag) != nullptr;
  const std::string counted = frames ? sampleFramesText(present, s.block_align, s.sample_rate) : "";
  f.rest("samples", counted);
  std::string summary = counted.empty() ? numberText(present) + " bytes" : counted;
  if (present < chunk.declared) summary += " of " + numberText(chunk.declared) + " bytes declared";
  return summary;
}

std::string waveDs64(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t riff = f.ule("riffSize", 8, "bytes");
  const uint64_t data = f.ule("dataSize", 8, "bytes");
  f.ule("sampleCount", 8);
  const uint64_t declared = f.ule("tableLength", 4);
  const uint64_t count = std::min<uint64_t>(declared, uint64_t(f.bytesLeft() / 12));
  for (uint64_t i = 0; i < count; ++i) {
    FieldUnit entry(f, "ChunkSize64", int64_t(i));
    const uint32_t id = f.fourcc("chunkId");
    const uint64_t size = f.ule("chunkSize", 8, "bytes");
    entry.setSummary(fourCCText(id) + " " + numberText(size) + " bytes");
  }
  return "RIFF " + numberText(riff) + " bytes, data " + numberText(data) + " bytes";
}

std::string waveBext(RiffWalk& walk, const Chunk&, FieldReader& f) {
  const std::string description = f.fixedString("Description", 256, TextEncoding::Latin1);
  f.fixedString("Originator", 32, TextEncoding::Latin1);
  f.fixedString("OriginatorReference", 32, TextEncoding::Latin1);
  f.fixedString("OriginationDate", 10, TextEncoding::Latin1);
  f.fixedString("OriginationTime", 8, TextEncoding::Latin1);
  const uint64_t rate = walk.state.sample_rate;
  f.uleh("TimeReference", 8, [rate](uint64_t v) {
    return rate ? secondsText(int64_t(std::min<uint64_t>(v, INT64_MAX)), uint32_t(std::min<uint64_t>(rate, UINT32_MAX)))
                : std::string("samples since midnight");
  });
  const uint64_t version = f.ule("Version", 2);
  f.bytes("UMID", 64);
  if (version >= 2) {
    f.uleh("LoudnessValue", 2, [](uint64_t v) { return hundredthsText(v) + " LUFS"; });
    f.uleh("LoudnessRange", 2, [](uint64_t v) { return hundredthsText(v) + " LU"; });
    f.uleh("MaxTruePeakLevel", 2, [](uint64_t v) { return hundredthsText(v) + " dBTP"; });
    f.uleh("MaxMomentaryLoudness", 2, [](uint64_t v) { return hundredthsText(v) + " LUFS"; });
    f.uleh("MaxShortTermLoudness", 2, [](uint64_t v) { return hundredthsText(v) + " LUFS"; });
    f.bytes("Reserved", 180);
  } else {
    f.bytes("Reserved", 190);
  }
  if (f.ok() && f.bytesLeft() > 0) f.fixedString("CodingHistory", f.bytesLeft(), TextEncoding::Latin1);
  return "version " + numberText(version) + (description.empty() ? "" : ", " + shortText(description));
}

std::string waveCue(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t declared = f.ule("dwCuePoints", 4);
  const uint64_t count = std::min<uint64_t>(declared, uint64_t(f.bytesLeft() / 24));
  for (uint64_t i = 0; i < count; ++i) {
    FieldUnit point(f, "CuePoint", int64_t(i));
    const uint64_t name = f.ule("dwName", 4);
    f.ule("dwPosition", 4, "sample");
    f.fourcc("fccChunk");
    f.ule("dwChunkStart", 4, "bytes");
    f.ule("dwBlockStart", 4, "bytes");
    const uint64_t offset = f.ule("dwSampleOffset", 4, "sample");
    point.setSummary("cue " + numberText(name) + " at sample " + numberText(offset));
  }
  return numberText(declared) + " cue points";
}

std::string waveSampler(RiffWalk&, const Chunk&, FieldReader& f) {
  f.ule("dwManufacturer", 4);
  f.ule("dwProduct", 4);
  f.ule("dwSamplePeriod", 4, "ns");
  const uint64_t note = f.ule("dwMIDIUnityNote", 4, "MIDI note");
  f.ule("dwMIDIPitchFraction", 4);
  f.uleh("dwSMPTEFormat", 4, [](uint64_t v) { return nameText(kSmpteFormats, v); });
  f.ule("dwSMPTEOffset", 4);
  const uint64_t declared = f.ule("cSampleLoops", 4);
  const uint64_t sampler_data = f.ule("cbSamplerData", 4, "bytes");
  const uint64_t count = std::min<uint64_t>(declared, uint64_t(f.bytesLeft() / 24));
  for (uint64_t i = 0; i < count; ++i) {
    FieldUnit loop(f, "SampleLoop", int64_t(i));
    f.ule("dwIdentifier", 4);
    const uint64_t type = f.uleh("dwType", 4, [](uint64_t v) { return nameText(kLoopTypes, v); });
    const uint64_t start = f.ule("dwStart", 4, "sample");
    const uint64_t end = f.ule("dwEnd", 4, "sample");
    f.ule("dwFraction", 4);
    f.ule("dwPlayCount", 4, f.has(32) && f.peekLe(4) == 0 ? "endless" : "");
    loop.setSummary(nameText(kLoopTypes, type) + " " + numberText(start) + "–" + numberText(end));
  }
  if (sampler_data && f.ok()) f.bytes("sampler data", int64_t(std::min<uint64_t>(sampler_data, uint64_t(f.bytesLeft()))));
  return "unity note " + numberText(note) + ", " + numberText(declared) + " loops";
}

std::string waveInstrument(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t note = f.u("bUnshiftedNote", 8, "MIDI note");
  f.s("chFineTune", 8, "cents");
  const int64_t gain = f.s("chGain", 8, "dB");
  f.u("bLowNote", 8);
  f.u("bHighNote", 8);
  f.u("bLowVelocity", 8);
  f.u("bHighVelocity", 8);
  return "note " + numberText(note) + ", gain " + signedText(gain) + " dB";
}

std::string waveLabel(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t name = f.ule("dwName", 4, "cue point");
  const std::string text = f.bytesLeft() > 0 ? f.terminatedString("text", TextEncoding::Latin1) : std::string();
  return "cue " + numberText(name) + (text.empty() ? "" : ": " + shortText(text));
}

std::string waveLabeledText(RiffWalk&, const Chunk&, FieldReader& f) {
  const uint64_t name = f.ule("dwName", 4, "cue point");
  const uint64_t length = f.ule("dwSampleLength", 4, "samples");
  f.fourcc("dwPurpose");
  f.ule("wCountry", 2);
  f.ule("wLanguage", 2);
  f.ule("wDialect", 2);
  f.ule("wCodePage", 2);
  if (f.ok() && f.bytesLeft() > 0) f.terminatedString("text", TextEncoding::Latin1);
  return "cue " + numberText(name) + ", " + numberText(length) + " samples";
}

}  // namespace corvanta::riff
