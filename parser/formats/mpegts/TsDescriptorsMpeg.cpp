// Decoders of the descriptors of ISO/IEC 13818-1 (2.6).
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/mpegts/TsDescriptors.h"
#include "codecs/StreamTypes.h"

namespace corvanta::mpegts::descriptor {

namespace {

const ValueName kFrameRates[] = {{1, "23.976 fps"}, {2, "24 fps"}, {3, "25 fps"}, {4, "29.97 fps"},
                                 {5, "30 fps"},     {6, "50 fps"}, {7, "59.94 fps"}, {8, "60 fps"}};
const ValueName kChromaFormats[] = {{1, "4:2:0"}, {2, "4:2:2"}, {3, "4:4:4"}};
const ValueName kAudioTypes[] = {{0, "undefined"}, {1, "clean effects"}, {2, "hearing impaired"},
                                 {3, "visual impaired commentary"}};
const ValueName kHierarchyTypes[] = {{1, "spatial scalability"}, {2, "SNR scalability"}, {3, "temporal scalability"},
                                     {4, "data partitioning"},   {5, "extension bitstream"}, {6, "private stream"},
                                     {7, "multi-view profile"},  {8, "combined scalability"}, {9, "MVC or MVCD"},
                                     {15, "base layer"}};
const ValueName kVideoAlignment[] = {{1, "slice, or video access unit"}, {2, "video access unit"},
                                     {3, "GOP, or SEQ"}, {4, "SEQ"}};
const ValueName kAvcAlignment[] = {{1, "slice, or AVC access unit"}, {2, "AVC access unit"},
                                   {3, "SVC slice or SVC dependency representation"},
                                   {4, "SVC dependency representation"}, {5, "MVC slice or MVC view-component subset"},
                                   {6, "MVC view-component subset"}, {7, "MVCD slice or MVCD view-component subset"},
                                   {8, "MVCD view-component subset"}};
const ValueName kAudioAlignment[] = {{1, "syncword"}};
const ValueName kH264Profiles[] = {{66, "Baseline"},  {77, "Main"},      {88, "Extended"},  {100, "High"},
                                   {110, "High 10"},  {122, "High 4:2:2"}, {244, "High 4:4:4 Predictive"},
                                   {83, "Scalable Baseline"}, {86, "Scalable High"}, {118, "Multiview High"},
                                   {128, "Stereo High"}};
const ValueName kAacProfiles[] = {{0, "Main"}, {1, "LC"}, {2, "SSR"}};
const ValueName kHevcProfiles[] = {{1, "Main"}, {2, "Main 10"}, {3, "Main Still Picture"}, {4, "Range extensions"}};
const ValueName kMpegExtensionTags[] = {
    {0x02, "ObjectDescriptorUpdate_descriptor"}, {0x03, "HEVC_timing_and_HRD_descriptor"},
    {0x04, "af_extensions_descriptor"}, {0x05, "HEVC_operation_point_descriptor"},
    {0x06, "HEVC_hierarchy_extension_descriptor"}, {0x07, "green_extension_descriptor"},
    {0x08, "MPEG-H_3dAudio_descriptor"}, {0x0D, "JPEG_XS_video_descriptor"},
};

// The names of a CA_system_ID block (ETSI TS 101 162): the high byte names the system.
const ValueName kCaSystems[] = {
    {0x01, "SECA Mediaguard"}, {0x05, "Viaccess"},    {0x06, "Irdeto"},      {0x09, "NDS Videoguard"},
    {0x0B, "Conax"},           {0x0D, "Cryptoworks"}, {0x0E, "PowerVu"},     {0x17, "BetaCrypt"},
    {0x18, "Nagravision"},     {0x22, "Codicrypt"},   {0x26, "BISS"},        {0x4A, "DRE-Crypt and others"},
};

std::string flagWord(uint64_t value) { return value ? "yes" : "no"; }

// The readable form of a rate in units of 50 bytes/s.
std::string rateText(uint64_t units) { return numberText(units * 400) + " bit/s"; }

}  // namespace

void videoStream(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("multiple_frame_rate_flag", 1);
  const uint64_t rate = f.uh("frame_rate_code", 4, [](uint64_t v) { return nameText(kFrameRates, v); });
  const bool mpeg1_only = f.flag("MPEG_1_only_flag");
  f.u("constrained_parameter_flag", 1);
  f.u("still_picture_flag", 1);
  if (!mpeg1_only) {
    f.u("profile_and_level_indication", 8);
    f.uh("chroma_format", 2, [](uint64_t v) { return nameText(kChromaFormats, v); });
    f.u("frame_rate_extension_flag", 1);
    f.u("reserved", 5);
  }
  d.summary = nameText(kFrameRates, rate);
}

void audioStream(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("free_format_flag", 1);
  const uint64_t id = f.uh("ID", 1, [](uint64_t v) { return std::string(v ? "MPEG-1" : "MPEG-2 lower sampling rates"); });
  const uint64_t layer = f.uh("layer", 2, [](uint64_t v) { return v ? "Layer " + std::string(4 - v, 'I') : "reserved"; });
  f.u("variable_rate_audio_indicator", 1);
  f.u("reserved", 3);
  d.summary = (id ? "MPEG-1 " : "MPEG-2 ") + (layer ? "Layer " + std::string(4 - layer, 'I') : std::string("reserved layer"));
}

void hierarchy(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("no_view_scalability_flag", 1);
  f.u("no_temporal_scalability_flag", 1);
  f.u("no_spatial_scalability_flag", 1);
  f.u("no_quality_scalability_flag", 1);
  const uint64_t type = f.uh("hierarchy_type", 4, [](uint64_t v) { return nameText(kHierarchyTypes, v); });
  f.u("reserved", 2);
  const uint64_t layer = f.u("hierarchy_layer_index", 6);
  f.u("tref_present_flag", 1);
  f.u("reserved", 1);
  f.u("hierarchy_embedded_layer_index", 6);
  f.u("reserved", 2);
  f.u("hierarchy_channel", 6);
  d.summary = "layer " + numberText(layer) + ", " + nameText(kHierarchyTypes, type);
}

void registration(DescriptorScope& d) {
  const uint32_t format = d.f.fourcc("format_identifier");
  if (d.f.bytesLeft() > 0) d.f.bytes("additional_identification_info", d.f.bytesLeft());
  d.summary = fourCCText(format);
}

void dataStreamAlignment(DescriptorScope& d) {
  const uint8_t stream_type = d.context.stream_type;
  const bool avc = stream_type == 0x1B || stream_type == 0x1F || stream_type == 0x20;
  const bool audio = codecs::streamType(stream_type).kind == codecs::StreamKind::Audio;
  auto name = [avc, audio](uint64_t v) {
    if (avc) return nameText(kAvcAlignment, v);
    return audio ? nameText(kAudioAlignment, v) : nameText(kVideoAlignment, v);
  };
  d.summary = name(d.f.uh("alignment_type", 8, name));
}

void targetBackgroundGrid(DescriptorScope& d) {
  const uint64_t width = d.f.u("horizontal_size", 14);
  const uint64_t height = d.f.u("vertical_size", 14);
  d.f.u("aspect_ratio_information", 4);
  d.summary = numberText(width) + "x" + numberText(height);
}

void videoWindow(DescriptorScope& d) {
  d.f.u("horizontal_offset", 14);
  d.f.u("vertical_offset", 14);
  d.f.u("window_priority", 4);
}

void conditionalAccess(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t system = f.uh("CA_system_ID", 16, [](uint64_t v) { return nameText(kCaSystems, v >> 8); });
  f.u("reserved", 3);
  const uint64_t pid = f.u("CA_PID", 13);
  if (f.bytesLeft() > 0) f.bytes("private_data_byte", f.bytesLeft());
  d.summary = "CA system " + hexText(system, 4) + ", PID " + hexText(pid, 4);
}

void iso639Language(DescriptorScope& d) {
  FieldReader& f = d.f;
  std::string languages;
  for (int64_t i = 0; f.ok() && f.bytesLeft() >= 4; ++i) {
    FieldUnit entry(f, "language", i);
    const std::string code = codeField(f, "ISO_639_language_code");
    const uint64_t type = f.uh("audio_type", 8, [](uint64_t v) { return nameText(kAudioTypes, v); });
    entry.setSummary(code, type ? nameText(kAudioTypes, type) : std::string());
    languages += (languages.empty() ? "" : ", ") + code;
  }
  d.summary = languages;
}

void systemClock(DescriptorScope& d) {
  d.f.u("external_clock_reference_indicator", 1);
  d.f.u("reserved", 1);
  d.f.u("clock_accuracy_integer", 6);
  d.f.u("clock_accuracy_exponent", 3);
  d.f.u("reserved", 5);
}

void multiplexBufferUtilization(DescriptorScope& d) {
  d.f.u("bound_valid_flag", 1);
  d.f.u("LTW_offset_lower_bound", 15);
  d.f.u("reserved", 1);
  d.f.u("LTW_offset_upper_bound", 15);
}

void copyright(DescriptorScope& d) {
  d.summary = fourCCText(d.f.fourcc("copyright_identifier"));
  if (d.f.bytesLeft() > 0) d.f.bytes("additional_copyright_info", d.f.bytesLeft());
}

void maximumBitrate(DescriptorScope& d) {
  d.f.u("reserved", 2);
  const uint64_t rate = d.f.uh("maximum_bitrate", 22, rateText);
  d.summary = rateText(rate);
}

void privateDataIndicator(DescriptorScope& d) {
  d.summary = fourCCText(d.f.fourcc("private_data_indicator"));
}

void smoothingBuffer(DescriptorScope& d) {
  d.f.u("reserved", 2);
  d.f.uh("sb_leak_rate", 22, rateText);
  d.f.u("reserved", 2);
  d.f.u("sb_size", 22, "bytes");
}

void stdDescriptor(DescriptorScope& d) {
  d.f.u("reserved", 7);
  d.f.u("leak_valid_flag", 1);
}

void ibp(DescriptorScope& d) {
  d.f.u("closed_gop_flag", 1);
  d.f.u("identical_gop_flag", 1);
  d.f.u("max_gop_length", 14);
}

void mpeg4Video(DescriptorScope& d) { d.f.u("MPEG-4_visual_profile_and_level", 8); }

void mpeg4Audio(DescriptorScope& d) { d.f.u("MPEG-4_audio_profile_and_level", 8); }

void sl(DescriptorScope& d) { d.summary = "ES_ID " + numberText(d.f.u("ES_ID", 16)); }

void fmc(DescriptorScope& d) {
  for (int64_t i = 0; d.f.ok() && d.f.bytesLeft() >= 3; ++i) {
    FieldUnit entry(d.f, "channel", i);
    d.f.u("ES_ID", 16);
    d.f.u("FlexMuxChannel", 8);
  }
}

void avcVideo(DescriptorScope& d) {
  FieldReader& f = d.f;
  const uint64_t profile = f.uh("profile_idc", 8, [](uint64_t v) { return nameText(kH264Profiles, v); });
  for (int i = 0; i < 6; ++i) f.u("constraint_set" + std::to_string(i) + "_flag", 1);
  f.u("AVC_compatible_flags", 2);
  const uint64_t level = f.uh("level_idc", 8, [](uint64_t v) { return numberText(v / 10) + "." + numberText(v % 10); });
  f.u("AVC_still_present", 1);
  f.u("AVC_24_hour_picture_flag", 1);
  f.u("Frame_Packing_SEI_not_present_flag", 1);
  f.u("reserved", 5);
  std::string profile_name = nameText(kH264Profiles, profile);
  d.summary = (profile_name.empty() ? "profile " + numberText(profile) : profile_name) + " level " +
              numberText(level / 10) + "." + numberText(level % 10);
}

void avcTimingAndHrd(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("hrd_management_valid_flag", 1);
  f.u("reserved", 6);
  if (f.flag("picture_and_timing_info_present")) {
    const bool clock_90k = f.flag("90kHz_flag");
    f.u("reserved", 7);
    if (!clock_90k) {
      f.u("N", 32);
      f.u("K", 32);
    }
    f.u("num_units_in_tick", 32);
  }
  f.u("fixed_frame_rate_flag", 1);
  f.u("temporal_poc_flag", 1);
  f.u("picture_to_display_conversion_flag", 1);
  f.u("reserved", 5);
}

void mpeg2AacAudio(DescriptorScope& d) {
  const uint64_t profile = d.f.uh("MPEG-2_AAC_profile", 8, [](uint64_t v) { return nameText(kAacProfiles, v); });
  const uint64_t channels = d.f.u("MPEG-2_AAC_channel_configuration", 8);
  d.f.u("MPEG-2_AAC_additional_information", 8);
  d.summary = "AAC " + nameText(kAacProfiles, profile) + ", channel configuration " + numberText(channels);
}

void hevcVideo(DescriptorScope& d) {
  FieldReader& f = d.f;
  f.u("profile_space", 2);
  const uint64_t tier = f.uh("tier_flag", 1, [](uint64_t v) { return std::string(v ? "High" : "Main"); });
  const uint64_t profile = f.uh("profile_idc", 5, [](uint64_t v) { return nameText(kHevcProfiles, v); });
  f.text("profile_compatibility_indication", 32, f.has(32) ? hexText(f.peek(32), 8) : std::string());
  f.u("progressive_source_flag", 1);
  f.u("interlaced_source_flag", 1);
  f.u("non_packed_constraint_flag", 1);
  f.u("frame_only_constraint_flag", 1);
  f.text("copied_44bits", 44, f.has(44) ? hexText(f.peek(44), 11) : std::string());
  const uint64_t level = f.uh("level_idc", 8, [](uint64_t v) { return numberText(v / 30) + "." + numberText(v % 30 / 3); });
  const bool subset = f.flag("temporal_layer_subset_flag");
  f.uh("HEVC_still_present_flag", 1, flagWord);
  f.uh("HEVC_24hr_picture_present_flag", 1, flagWord);
  f.u("sub_pic_hrd_params_not_present_flag", 1);
  f.u("reserved", 2);
  f.u("HDR_WCG_idc", 2);
  if (subset) {
    f.u("temporal_id_min", 3);
    f.u("reserved", 5);
    f.u("temporal_id_max", 3);
    f.u("reserved", 5);
  }
  const std::string profile_name = nameText(kHevcProfiles, profile);
  d.summary = (profile_name.empty() ? "profile " + numberText(profile) : profile_name) + ", " +
              (tier ? "High" : "Main") + " tier, level " + numberText(level / 30) + "." + numberText(level % 30 / 3);
}

void mpegExtension(DescriptorScope& d) {
  const uint64_t tag = d.f.uh("extension_descriptor_tag", 8, [](uint64_t v) { return nameText(kMpegExtensionTags, v); });
  if (d.f.bytesLeft() > 0) d.f.bytes("extension_data", d.f.bytesLeft());
  d.summary = nameText(kMpegExtensionTags, tag);
}

}  // namespace corvanta::mpegts::descriptor
