// Decoders of sample entries and of the codec configuration boxes inside them.
#include "ElementWriter.h"
#include "formats/IsoBmffBox.h"
#include "formats/IsoBmffDecoders.h"
#include "formats/IsoBmffFields.h"
#include "formats/IsoBmffSamples.h"

#include <cstring>

namespace corvanta::isobmff::decode {

namespace {

const ValueName kAvcProfiles[] = {
    {44, "CAVLC 4:4:4 Intra"}, {66, "Baseline"}, {77, "Main"}, {88, "Extended"}, {100, "High"},
    {110, "High 10"}, {122, "High 4:2:2"}, {244, "High 4:4:4 Predictive"}, {118, "Multiview High"},
    {128, "Stereo High"},
};

const ValueName kHevcProfiles[] = {
    {1, "Main"}, {2, "Main 10"}, {3, "Main Still Picture"}, {4, "Range extensions"},
    {5, "High throughput"}, {9, "Screen content coding"},
};

const ValueName kAv1Profiles[] = {{0, "Main"}, {1, "High"}, {2, "Professional"}};

const ValueName kVisualCodes[] = {
    {code("avc1"), ""}, {code("avc3"), ""}, {code("hvc1"), ""}, {code("hev1"), ""}, {code("av01"), ""},
    {code("vp08"), ""}, {code("vp09"), ""}, {code("mp4v"), ""}, {code("jpeg"), ""}, {code("mjpa"), ""},
    {code("s263"), ""}, {code("encv"), ""}, {code("apch"), ""}, {code("apcn"), ""}, {code("dvh1"), ""},
};

const ValueName kAudioCodes[] = {
    {code("mp4a"), ""}, {code("Opus"), ""}, {code("ac-3"), ""}, {code("ec-3"), ""}, {code("fLaC"), ""},
    {code("samr"), ""}, {code("sawb"), ""}, {code("alac"), ""}, {code("lpcm"), ""}, {code("sowt"), ""},
    {code("twos"), ""}, {code("enca"), ""}, {code("ulaw"), ""}, {code("alaw"), ""}, {code("in24"), ""},
};

const ValueName kColourPrimaries[] = {{1, "BT.709"}, {2, "unspecified"}, {5, "BT.601 625"}, {6, "BT.601 525"},
                                      {9, "BT.2020"}, {12, "Display P3"}};
const ValueName kTransfer[] = {{1, "BT.709"}, {2, "unspecified"}, {6, "BT.601"}, {13, "sRGB"},
                               {14, "BT.2020 10-bit"}, {16, "PQ"}, {18, "HLG"}};
const ValueName kMatrix[] = {{0, "identity (RGB)"}, {1, "BT.709"}, {2, "unspecified"}, {5, "BT.601 625"},
                             {6, "BT.601 525"}, {9, "BT.2020 non-constant"}};

std::string named(const char* name) { return name ? name : ""; }

std::string levelText(uint64_t level) {
  return numberText(level / 10) + "." + numberText(level % 10);
}

// A length-prefixed parameter set: its 16-bit length, then the NAL unit.
void parameterSet(Fields& f, const char* length_name, const char* unit_name, int64_t seq) {
  const uint64_t length = f.u(length_name, 16, {}, seq);
  if (!f.ok()) return;
  if (int64_t(length) > f.bytesLeft()) {
    f.fail();
    return;
  }
  f.bytes(unit_name, int64_t(length), {}, seq);
}

void visualEntry(BoxScope& b) {
  Fields& f = b.f;
  f.u("pre_defined", 16);
  f.u("reserved", 16);
  f.bytes("pre_defined", 12);
  const uint64_t width = f.u("width", 16);
  const uint64_t height = f.u("height", 16);
  f.fixed("horizresolution", 32, 16);
  f.fixed("vertresolution", 32, 16);
  f.u("reserved", 32);
  f.u("frame_count", 16);
  std::string compressor;
  if (f.has(32 * 8) && f.peek(8) <= 31)
    compressor = f.pstring("compressorname", 32);
  else
    f.bytes("compressorname", 32);
  f.uh("depth", 16, [](uint64_t v) { return v == 0x18 ? std::string("colour, no alpha") : std::string(); });
  f.s("pre_defined", 16);
  if (!f.ok()) return;
  b.summary = codeText(b.box.type) + " " + numberText(width) + "x" + numberText(height);
  if (!compressor.empty()) b.summary += " \"" + compressor + "\"";
}

void audioEntry(BoxScope& b) {
  Fields& f = b.f;
  const uint64_t version = f.u("entry_version", 16);
  // QuickTime sound descriptions 1 and 2 extend the entry; ISO files keep version 0.
  const bool quicktime_layout =
      version == 2 || (version == 1 && (b.map.isQuickTime() ||
                                        isPlausibleBox(f.fileData(), f.bytePos() + 34, f.endByte())));
  if (quicktime_layout) {
    f.u("revision_level", 16);
    f.fourcc("vendor");
  } else {
    f.bytes("reserved", 6);
  }
  uint64_t channels = f.u("channelcount", 16);
  f.u("samplesize", 16, "bits");
  f.s(quicktime_layout ? "compression_id" : "pre_defined", 16);
  f.u(quicktime_layout ? "packet_size" : "reserved", 16);
  uint64_t rate = f.uh("samplerate", 32, [](uint64_t v) { return numberText(v >> 16) + " Hz"; }) >> 16;
  if (quicktime_layout && version == 1) {
    f.u("samples_per_packet", 32);
    f.u("bytes_per_packet", 32);
    f.u("bytes_per_frame", 32);
    f.u("bytes_per_sample", 32);
  } else if (quicktime_layout && version == 2) {
    f.u("sizeOfStructOnly", 32);
    double sample_rate = 0;
    if (f.has(64)) {
      const uint64_t bits = f.peek(64);
      std::memcpy(&sample_rate, &bits, sizeof sample_rate);
    }
    f.u("audioSampleRate", 64, numberText(uint64_t(sample_rate > 0 && sample_rate < 1e9 ? sample_rate : 0)) + " Hz");
    rate = uint64_t(sample_rate > 0 && sample_rate < 1e9 ? sample_rate : 0);
    channels = f.u("numAudioChannels", 32);
    f.u("always7F000000", 32);
    f.u("constBitsPerChannel", 32);
    f.u("formatSpecificFlags", 32);
    f.u("constBytesPerAudioPacket", 32);
    f.u("constLPCMFramesPerAudioPacket", 32);
  }
  if (!f.ok()) return;
  b.summary = codeText(b.box.type) + " " + numberText(channels) + " ch " + numberText(rate) + " Hz";
}

}  // namespace

void sampleEntry(BoxScope& b) {
  Fields& f = b.f;
  f.bytes("reserved", 6);
  f.u("data_reference_index", 16);
  const uint32_t handler = b.track ? b.track->handler : 0;
  const uint32_t type = b.box.type;
  const bool visual = handler == code("vide") || handler == code("pict") || handler == code("auxv") ||
                      (!handler && nameOf(kVisualCodes, type));
  const bool audio = handler == code("soun") || (!handler && nameOf(kAudioCodes, type));
  if (visual) return visualEntry(b);
  if (audio) return audioEntry(b);
  // Text, timecode, metadata and hint entries: their fields stay one opaque stretch.
  f.rest("data", "format-specific fields");
  b.summary = codeText(type) + " sample entry";
}

void avcC(BoxScope& b) {
  Fields& f = b.f;
  f.u("configurationVersion", 8);
  const uint64_t profile = f.uh("AVCProfileIndication", 8, [](uint64_t v) { return named(nameOf(kAvcProfiles, v)); });
  f.u("profile_compatibility", 8);
  const uint64_t level = f.uh("AVCLevelIndication", 8, levelText);
  f.u("reserved", 6);
  f.uh("lengthSizeMinusOne", 2, [](uint64_t v) { return numberText(v + 1) + "-byte NAL unit lengths"; });
  f.u("reserved", 3);
  const uint64_t sps = f.u("numOfSequenceParameterSets", 5);
  for (uint64_t i = 1; i <= sps && f.ok(); ++i)
    parameterSet(f, "sequenceParameterSetLength", "sequenceParameterSetNALUnit", int64_t(i));
  const uint64_t pps = f.u("numOfPictureParameterSets", 8);
  for (uint64_t i = 1; i <= pps && f.ok(); ++i)
    parameterSet(f, "pictureParameterSetLength", "pictureParameterSetNALUnit", int64_t(i));
  if (f.ok() && f.bytesLeft() >= 4 && (profile == 100 || profile == 110 || profile == 122 || profile == 144)) {
    f.u("reserved", 6);
    f.uh("chroma_format", 2, [](uint64_t v) {
      static const char* const kFormats[] = {"monochrome", "4:2:0", "4:2:2", "4:4:4"};
      return std::string(kFormats[v & 3]);
    });
    f.u("reserved", 5);
    f.u("bit_depth_luma_minus8", 3);
    f.u("reserved", 5);
    f.u("bit_depth_chroma_minus8", 3);
    const uint64_t ext = f.u("numOfSequenceParameterSetExt", 8);
    for (uint64_t i = 1; i <= ext && f.ok(); ++i)
      parameterSet(f, "sequenceParameterSetExtLength", "sequenceParameterSetExtNALUnit", int64_t(i));
  }
  b.summary = "AVC configuration, " + named(nameOf(kAvcProfiles, profile)) + "@" + levelText(level);
}

void hvcC(BoxScope& b) {
  Fields& f = b.f;
  f.u("configurationVersion", 8);
  f.u("general_profile_space", 2);
  f.u("general_tier_flag", 1, f.peek(1) ? "High tier" : "Main tier");
  const uint64_t profile = f.uh("general_profile_idc", 5, [](uint64_t v) { return named(nameOf(kHevcProfiles, v)); });
  f.u("general_profile_compatibility_flags", 32);
  f.u("general_constraint_indicator_flags", 48);
  const uint64_t level = f.uh("general_level_idc", 8, [](uint64_t v) { return numberText(v / 30) + "." + numberText(v % 30 / 3); });
  f.u("reserved", 4);
  f.u("min_spatial_segmentation_idc", 12);
  f.u("reserved", 6);
  f.u("parallelismType", 2);
  f.u("reserved", 6);
  f.u("chromaFormat", 2);
  f.u("reserved", 5);
  f.u("bitDepthLumaMinus8", 3);
  f.u("reserved", 5);
  f.u("bitDepthChromaMinus8", 3);
  f.u("avgFrameRate", 16, "frames per 256 seconds");
  f.u("constantFrameRate", 2);
  f.u("numTemporalLayers", 3);
  f.u("temporalIdNested", 1);
  f.uh("lengthSizeMinusOne", 2, [](uint64_t v) { return numberText(v + 1) + "-byte NAL unit lengths"; });
  const uint64_t arrays = f.u("numOfArrays", 8);
  for (uint64_t i = 1; i <= arrays && f.ok() && f.bytesLeft() >= 3; ++i) {
    const int64_t start = f.bitPos();
    f.writer().openUnit("array", start, f.bitsLeft(), {}, {}, int64_t(i));
    f.u("array_completeness", 1);
    f.u("reserved", 1);
    const uint64_t nal_type = f.uh("NAL_unit_type", 6, [](uint64_t v) {
      return v == 32 ? std::string("VPS") : v == 33 ? std::string("SPS") : v == 34 ? std::string("PPS")
           : v == 39 || v == 40 ? std::string("SEI") : std::string();
    });
    const uint64_t nalus = f.u("numNalus", 16);
    for (uint64_t n = 1; n <= nalus && f.ok(); ++n) parameterSet(f, "nalUnitLength", "nalUnit", int64_t(n));
    f.writer().setUnitValue("NAL unit type " + numberText(nal_type) + ", " + numberText(nalus) + " units");
    f.writer().closeUnit(f.bitPos() - start);
  }
  b.summary = "HEVC configuration, " + named(nameOf(kHevcProfiles, profile)) + " level " + numberText(level / 30) +
              "." + numberText(level % 30 / 3);
}

void av1C(BoxScope& b) {
  Fields& f = b.f;
  f.u("marker", 1);
  f.u("version", 7);
  const uint64_t profile = f.uh("seq_profile", 3, [](uint64_t v) { return named(nameOf(kAv1Profiles, v)); });
  const uint64_t level = f.u("seq_level_idx_0", 5);
  f.u("seq_tier_0", 1);
  f.u("high_bitdepth", 1);
  f.u("twelve_bit", 1);
  f.u("monochrome", 1);
  f.u("chroma_subsampling_x", 1);
  f.u("chroma_subsampling_y", 1);
  f.u("chroma_sample_position", 2);
  f.u("reserved", 3);
  const uint64_t delay_present = f.u("initial_presentation_delay_present", 1);
  f.u(delay_present ? "initial_presentation_delay_minus_one" : "reserved", 4);
  f.rest("configOBUs");
  b.summary = "AV1 configuration, " + named(nameOf(kAv1Profiles, profile)) + " level index " + numberText(level);
}

void vpcC(BoxScope& b) {
  Fields& f = b.f;
  const uint64_t profile = f.u("profile", 8);
  f.u("level", 8);
  const uint64_t depth = f.u("bitDepth", 4);
  f.u("chromaSubsampling", 3);
  f.u("videoFullRangeFlag", 1);
  f.uh("colourPrimaries", 8, [](uint64_t v) { return named(nameOf(kColourPrimaries, v)); });
  f.uh("transferCharacteristics", 8, [](uint64_t v) { return named(nameOf(kTransfer, v)); });
  f.uh("matrixCoefficients", 8, [](uint64_t v) { return named(nameOf(kMatrix, v)); });
  const uint64_t size = f.u("codecIntializationDataSize", 16);
  if (f.ok() && int64_t(size) <= f.bytesLeft()) f.bytes("codecIntializationData", int64_t(size));
  b.summary = "VP codec configuration, profile " + numberText(profile) + ", " + numberText(depth) + " bit";
}

void dOps(BoxScope& b) {
  Fields& f = b.f;
  f.u("Version", 8);
  const uint64_t channels = f.u("OutputChannelCount", 8);
  f.u("PreSkip", 16, "samples at 48 kHz");
  // Some muxers wrote this box little-endian; say so when only that reading makes sense.
  const uint64_t stored = f.peek(32);
  const uint64_t swapped = ((stored & 0xff) << 24) | ((stored & 0xff00) << 8) | ((stored >> 8) & 0xff00) | (stored >> 24);
  const bool looks_swapped = stored > 768000 && swapped > 0 && swapped <= 768000;
  const uint64_t rate = f.u("InputSampleRate", 32,
                            looks_swapped ? "Hz; written little-endian? then " + numberText(swapped) + " Hz" : "Hz");
  f.s("OutputGain", 16, "Q7.8 dB");
  const uint64_t family = f.u("ChannelMappingFamily", 8);
  if (family != 0 && f.ok()) {
    f.u("StreamCount", 8);
    f.u("CoupledCount", 8);
    for (uint64_t i = 1; i <= channels && f.ok(); ++i) f.u("ChannelMapping", 8, {}, int64_t(i));
  }
  b.summary = "Opus, " + numberText(channels) + " ch, input " + numberText(rate) + " Hz";
}

namespace {

std::string ac3Rate(uint64_t fscod) {
  static const char* const kRates[] = {"48000 Hz", "44100 Hz", "32000 Hz", "reserved"};
  return kRates[fscod & 3];
}

std::string ac3Channels(uint64_t acmod) {
  static const char* const kModes[] = {"1+1", "1/0", "2/0", "3/0", "2/1", "3/1", "2/2", "3/2"};
  return kModes[acmod & 7];
}

}  // namespace

void dac3(BoxScope& b) {
  Fields& f = b.f;
  f.uh("fscod", 2, ac3Rate);
  f.u("bsid", 5);
  f.u("bsmod", 3);
  const uint64_t acmod = f.uh("acmod", 3, ac3Channels);
  const uint64_t lfe = f.u("lfeon", 1);
  f.uh("bit_rate_code", 5, [](uint64_t v) {
    static const int kRates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
    return v < 19 ? numberText(uint64_t(kRates[v])) + " kbit/s" : std::string("reserved");
  });
  f.u("reserved", 5);
  b.summary = "AC-3 " + ac3Channels(acmod) + (lfe ? "+LFE" : "");
}

void dec3(BoxScope& b) {
  Fields& f = b.f;
  const uint64_t rate = f.u("data_rate", 13, "kbit/s");
  const uint64_t substreams = f.u("num_ind_sub", 3);
  for (uint64_t i = 0; i <= substreams && f.ok() && f.bitsLeft() >= 23; ++i) {
    const int64_t start = f.bitPos();
    f.writer().openUnit("independent_substream", start, f.bitsLeft(), {}, {}, int64_t(i));
    f.uh("fscod", 2, ac3Rate);
    f.u("bsid", 5);
    f.u("reserved", 1);
    f.u("asvc", 1);
    f.u("bsmod", 3);
    const uint64_t acmod = f.uh("acmod", 3, ac3Channels);
    const uint64_t lfe = f.u("lfeon", 1);
    f.u("reserved", 3);
    const uint64_t dependent = f.u("num_dep_sub", 4);
    if (dependent > 0) f.u("chan_loc", 9);
    else f.u("reserved", 1);
    f.writer().setUnitValue(ac3Channels(acmod) + (lfe ? "+LFE" : ""));
    f.writer().closeUnit(f.bitPos() - start);
  }
  b.summary = "E-AC-3, " + numberText(rate) + " kbit/s";
}

void pasp(BoxScope& b) {
  const uint64_t h = b.f.u("hSpacing", 32);
  const uint64_t v = b.f.u("vSpacing", 32);
  b.summary = "Pixel aspect ratio " + numberText(h) + ":" + numberText(v);
}

void colr(BoxScope& b) {
  Fields& f = b.f;
  const uint32_t type = f.fourcc("colour_type");
  if (type == code("nclx") || type == code("nclc")) {
    f.uh("colour_primaries", 16, [](uint64_t v) { return named(nameOf(kColourPrimaries, v)); });
    f.uh("transfer_characteristics", 16, [](uint64_t v) { return named(nameOf(kTransfer, v)); });
    f.uh("matrix_coefficients", 16, [](uint64_t v) { return named(nameOf(kMatrix, v)); });
    if (type == code("nclx")) {
      f.u("full_range_flag", 1);
      f.u("reserved", 7);
    }
  } else if (type == code("rICC") || type == code("prof")) {
    f.rest("ICC_profile");
  }
  b.summary = "Colour information " + codeText(type);
}

void btrt(BoxScope& b) {
  b.f.u("bufferSizeDB", 32, "bytes");
  const uint64_t max = b.f.u("maxBitrate", 32, "bit/s");
  const uint64_t avg = b.f.u("avgBitrate", 32, "bit/s");
  b.summary = "Bit rate, average " + numberText(avg) + " bit/s, maximum " + numberText(max) + " bit/s";
}

void clap(BoxScope& b) {
  static const char* const kNames[] = {"cleanApertureWidthN", "cleanApertureWidthD", "cleanApertureHeightN",
                                       "cleanApertureHeightD", "horizOffN", "horizOffD", "vertOffN", "vertOffD"};
  for (const char* name : kNames) b.f.s(name, 32);
}

void fiel(BoxScope& b) {
  b.f.u("fields", 8, b.f.peek(8) == 1 ? "progressive" : "interlaced");
  b.f.u("detail", 8);
}

}  // namespace corvanta::isobmff::decode
