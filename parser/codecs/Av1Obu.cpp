// AV1 open bitstream units (AV1 bitstream 5.3) and the sequence header OBU (5.5).
#include "codecs/Av1Obu.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/ColourCodePoints.h"
#include "FieldUnit.h"
#include "codecs/NalUnits.h"

namespace corvanta::codecs {

namespace {

const ValueName kProfiles[] = {{0, "Main"}, {1, "High"}, {2, "Professional"}};

const ValueName kObuTypes[] = {
    {1, "OBU_SEQUENCE_HEADER"}, {2, "OBU_TEMPORAL_DELIMITER"}, {3, "OBU_FRAME_HEADER"}, {4, "OBU_TILE_GROUP"},
    {5, "OBU_METADATA"}, {6, "OBU_FRAME"}, {7, "OBU_REDUNDANT_FRAME_HEADER"}, {8, "OBU_TILE_LIST"},
    {15, "OBU_PADDING"},
};

const ValueName kMetadataTypes[] = {{1, "METADATA_TYPE_HDR_CLL"}, {2, "METADATA_TYPE_HDR_MDCV"},
                                    {3, "METADATA_TYPE_SCALABILITY"}, {4, "METADATA_TYPE_ITUT_T35"},
                                    {5, "METADATA_TYPE_TIMECODE"}};

enum MetadataType : uint64_t { kMetadataHdrCll = 1, kMetadataHdrMdcv = 2, kMetadataItutT35 = 4 };

const ValueName kChromaSamplePositions[] = {{0, "unknown"}, {1, "vertical"}, {2, "colocated"}};

enum ObuType : uint64_t {
  kSequenceHeader = 1, kTemporalDelimiter = 2, kFrameHeader = 3, kTileGroup = 4, kMetadata = 5, kFrame = 6, kRedundantFrameHeader = 7,
  kPadding = 15
};

const char* const kPictureTypes[] = {"KEY", "INTER", "INTRA_ONLY", "SWITCH"};
constexpr uint64_t kKeyFrame = 0;

constexpr uint64_t kMaxSeqProfile = 2;
constexpr uint64_t kSelectScreenContentTools = 2;
constexpr uint64_t kSelectIntegerMv = 2;
constexpr uint64_t kLevelMaxParameters = 31;
constexpr uint64_t kColourBt709 = 1, kTransferSrgb = 13, kMatrixIdentity = 0;
// A run of OBUs in one configuration record or temporal unit; more means a broken size field.
constexpr int64_t kMaxObus = 4096;

std::string flagText(uint64_t value, const char* yes, const char* no) { return value ? yes : no; }

void timingInfo(FieldReader& f, Av1SequenceHeader& header) {
  FieldUnit unit(f, "timing_info");
  header.num_units_in_display_tick = f.u("num_units_in_display_tick", 32);
  const uint64_t ticks = header.num_units_in_display_tick;
  header.time_scale = f.uh("time_scale", 32, [](uint64_t v) { return numberText(v) + " Hz"; });
  header.equal_picture_interval = f.flag("equal_picture_interval");
  // uvlc(): an Exp-Golomb code; the 32-zero escape of the format is read as a broken code.
  if (header.equal_picture_interval)
    header.num_ticks_per_picture = 1 + f.ueh("num_ticks_per_picture_minus_1", [&](uint64_t v) {
      return frameRateText(header.time_scale, (v + 1) * ticks);
    });
  unit.setSummary(header.equal_picture_interval
                      ? frameRateText(header.time_scale, header.num_ticks_per_picture * ticks)
                      : numberText(header.time_scale) + " Hz");
}

void decoderModelInfo(FieldReader& f, Av1SequenceHeader& header, uint64_t& buffer_delay_length) {
  FieldUnit unit(f, "decoder_model_info");
  buffer_delay_length = 1 + f.u("buffer_delay_length_minus_1", 5);
  f.u("num_units_in_decoding_tick", 32);
  header.buffer_removal_time_length = 1 + f.u("buffer_removal_time_length_minus_1", 5);
  header.frame_presentation_time_length = 1 + f.u("frame_presentation_time_length_minus_1", 5);
}

void operatingPoints(FieldReader& f, Av1SequenceHeader& header, uint64_t buffer_delay_length) {
  const bool initial_display_delay_present = f.flag("initial_display_delay_present_flag");
  header.operating_points = 1 + f.u("operating_points_cnt_minus_1", 5);
  for (uint64_t i = 0; i < header.operating_points && f.ok(); ++i) {
    FieldUnit unit(f, "operating_point", int64_t(i));
    header.operating_point_idc[i] = f.u("operating_point_idc", 12);
    const uint64_t level = f.uh("seq_level_idx", 5, av1LevelText);
    uint64_t tier = 0;
    if (level > 7) tier = f.uh("seq_tier", 1, [](uint64_t v) { return flagText(v, "High tier", "Main tier"); });
    header.decoder_model_present_for_op[i] =
        header.decoder_model_info_present && f.flag("decoder_model_present_for_this_op");
    if (header.decoder_model_present_for_op[i]) {
      f.u("decoder_buffer_delay", int(buffer_delay_length));
      f.u("encoder_buffer_delay", int(buffer_delay_length));
      f.flag("low_delay_mode_flag");
    }
    if (initial_display_delay_present && f.flag("initial_display_delay_present_for_this_op"))
      f.u("initial_display_delay_minus_1", 4);
    if (i == 0) {
      header.seq_level_idx_0 = level;
      header.seq_tier_0 = tier;
    }
    unit.setSummary("level " + av1LevelText(level) + (tier ? " High tier" : ""));
  }
}

void frameSizeAndIds(FieldReader& f, Av1SequenceHeader& header) {
  header.frame_width_bits = 1 + f.u("frame_width_bits_minus_1", 4);
  header.frame_height_bits = 1 + f.u("frame_height_bits_minus_1", 4);
  header.max_frame_width = 1 + f.uh("max_frame_width_minus_1", int(header.frame_width_bits),
                                    [](uint64_t v) { return numberText(v + 1) + " pixels"; });
  header.max_frame_height = 1 + f.uh("max_frame_height_minus_1", int(header.frame_height_bits), [&](uint64_t v) {
    return numberText(v + 1) + " pixels, frames up to " + numberText(header.max_frame_width) + "x" + numberText(v + 1);
  });
  if (!header.reduced_still_picture_header) header.frame_id_numbers_present = f.flag("frame_id_numbers_present_flag");
  if (header.frame_id_numbers_present) {
    header.delta_frame_id_length = 2 + f.u("delta_frame_id_length_minus_2", 4);
    header.additional_frame_id_length = 1 + f.u("additional_frame_id_length_minus_1", 3);
  }
}

// The coding tools a frame may use; a reduced still picture header leaves the inter tools off.
void toolFlags(FieldReader& f, Av1SequenceHeader& header) {
  header.use_128x128_superblock = f.flag("use_128x128_superblock");
  f.flag("enable_filter_intra");
  f.flag("enable_intra_edge_filter");
  if (!header.reduced_still_picture_header) {
    f.flag("enable_interintra_compound");
    f.flag("enable_masked_compound");
    header.enable_warped_motion = f.flag("enable_warped_motion");
    f.flag("enable_dual_filter");
    header.enable_order_hint = f.flag("enable_order_hint");
    if (header.enable_order_hint) {
      f.flag("enable_jnt_comp");
      header.enable_ref_frame_mvs = f.flag("enable_ref_frame_mvs");
    }
    if (f.flag("seq_choose_screen_content_tools")) header.seq_force_screen_content_tools = kSelectScreenContentTools;
    else header.seq_force_screen_content_tools = f.u("seq_force_screen_content_tools", 1);
    if (header.seq_force_screen_content_tools > 0) {
      if (f.flag("seq_choose_integer_mv")) header.seq_force_integer_mv = kSelectIntegerMv;
      else header.seq_force_integer_mv = f.u("seq_force_integer_mv", 1);
    }
    if (header.enable_order_hint) header.order_hint_bits = 1 + f.u("order_hint_bits_minus_1", 3);
  }
  header.enable_superres = f.flag("enable_superres");
  header.enable_cdef = f.flag("enable_cdef");
  header.enable_restoration = f.flag("enable_restoration");
}

std::string chromaText(const Av1SequenceHeader& header) {
  if (header.mono_chrome) return "monochrome";
  if (header.subsampling_x && header.subsampling_y) return "4:2:0";
  if (header.subsampling_x) return "4:2:2";
  return header.subsampling_y ? "4:4:0" : "4:4:4";
}

// color_config() (5.5.2): which fields are sent depends on the profile, the bit depth and the
// colour description (sRGB implies full range 4:4:4).
void colorConfig(FieldReader& f, Av1SequenceHeader& header) {
  FieldUnit unit(f, "color_config");
  const bool high_bitdepth = f.flag("high_bitdepth");
  if (header.seq_profile == 2 && high_bitdepth)
    header.bit_depth = f.uh("twelve_bit", 1, [](uint64_t v) { return flagText(v, "12 bits", "10 bits"); }) ? 12 : 10;
  else
    header.bit_depth = high_bitdepth ? 10 : 8;
  if (header.seq_profile != 1) header.mono_chrome = f.flag("mono_chrome");
  if (f.flag("color_description_present_flag")) {
    header.color_primaries = f.uh("color_primaries", 8, colourPrimariesName);
    header.transfer_characteristics = f.uh("transfer_characteristics", 8, transferCharacteristicsName);
    header.matrix_coefficients = f.uh("matrix_coefficients", 8, matrixCoefficientsName);
  }
  const auto range = [](uint64_t v) { return flagText(v, "full range", "limited range"); };
  if (header.mono_chrome) {
    header.color_range = f.uh("color_range", 1, range);
  } else if (header.color_primaries == kColourBt709 && header.transfer_characteristics == kTransferSrgb &&
             header.matrix_coefficients == kMatrixIdentity) {
    header.color_range = true;
    header.subsampling_x = header.subsampling_y = false;
  } else {
    header.color_range = f.uh("color_range", 1, range);
    if (header.seq_profile == 0) {
      header.subsampling_x = header.subsampling_y = true;
    } else if (header.seq_profile == 1) {
      header.subsampling_x = header.subsampling_y = false;
    } else if (header.bit_depth == 12) {
      header.subsampling_x = f.flag("subsampling_x");
      header.subsampling_y = header.subsampling_x && f.flag("subsampling_y");
    } else {
      header.subsampling_x = true;
      header.subsampling_y = false;
    }
    if (header.subsampling_x && header.subsampling_y)
      f.uh("chroma_sample_position", 2, [](uint64_t v) { return nameText(kChromaSamplePositions, v); });
  }
  if (!header.mono_chrome) header.separate_uv_delta_q = f.flag("separate_uv_delta_q");
  unit.setSummary(chromaText(header) + " " + numberText(header.bit_depth) + "-bit" +
                  (header.color_range ? ", full range" : ""));
}

// trailing_bits(): the one bit, then zero bits to the end of the OBU.
void trailingBits(FieldReader& f) {
  if (!f.ok()) return;
  if (f.peek(1) != 1) {
    f.fail();
    return;
  }
  f.u("trailing_one_bit", 1);
  const int64_t zeros = f.bitsLeft();
  if (zeros > 0 && zeros <= 64) f.u("trailing_zero_bits", int(zeros));
  else if (zeros > 64) f.text("trailing_zero_bits", zeros, numberText(uint64_t(zeros)) + " bits");
}

// The bits of trailing_bits() at the end of the reader: the last one bit and the zeros after it
// (0 when the payload ends in no one bit).
int64_t trailingBitsLength(const FieldReader& f) {
  const uint8_t* data = f.fileData();
  for (int64_t byte = f.endByte() - 1; byte >= f.bytePos(); --byte) {
    if (data[byte] == 0) continue;
    int zeros = 0;
    while (!((data[byte] >> zeros) & 1)) ++zeros;
    return (f.endByte() - 1 - byte) * 8 + zeros + 1;
  }
  return 0;
}

std::string sequenceHeaderSummary(const Av1SequenceHeader& header) {
  std::string text = "Sequence header: " + av1ProfileName(header.seq_profile) + "@" +
                     av1LevelText(header.seq_level_idx_0) + (header.seq_tier_0 ? " High tier" : "") + ", " +
                     chromaText(header) + " " + numberText(header.bit_depth) + "-bit, max " +
                     frameSizeText(av1VideoFormat(header));
  const VideoFormat format = av1VideoFormat(header);
  const std::string rate = frameRateText(format.rate_num, format.rate_den);
  if (!rate.empty()) text += ", " + rate;
  if (header.still_picture) text += ", still picture";
  return text;
}

// sequence_header_obu() (5.5.1).
std::string sequenceHeader(FieldReader& f, Av1Context& context) {
  Av1SequenceHeader header;
  header.seq_profile = f.uh("seq_profile", 3, [](uint64_t v) {
    return v > kMaxSeqProfile ? std::string("reserved") : av1ProfileName(v);
  });
  if (header.seq_profile > kMaxSeqProfile) f.fail();
  header.still_picture = f.flag("still_picture");
  header.reduced_still_picture_header = f.flag("reduced_still_picture_header");
  if (header.reduced_still_picture_header) {
    header.seq_level_idx_0 = f.uh("seq_level_idx", 5, av1LevelText, 0);
  } else {
    uint64_t buffer_delay_length = 0;
    header.timing_info_present = f.flag("timing_info_present_flag");
    if (header.timing_info_present) {
      timingInfo(f, header);
      header.decoder_model_info_present = f.flag("decoder_model_info_present_flag");
      if (header.decoder_model_info_present) decoderModelInfo(f, header, buffer_delay_length);
    }
    operatingPoints(f, header, buffer_delay_length);
  }
  frameSizeAndIds(f, header);
  toolFlags(f, header);
  if (f.ok()) colorConfig(f, header);
  header.film_grain_params_present = f.flag("film_grain_params_present");
  trailingBits(f);
  if (!f.ok()) return "Sequence header, broken";
  context.has_sequence_header = true;
  context.sequence_header = header;
  return sequenceHeaderSummary(header);
}

// Chromaticities in 0.16 fixed point, luminances in 24.8 (maximum) and 18.14 (minimum) cd/m².
std::string fixedFraction(uint64_t value, int fraction_bits, const char* unit) {
  return floatText(double(value) / double(uint64_t(1) << fraction_bits)) + unit;
}

void contentLightLevel(FieldReader& f) {
  f.uh("max_cll", 16, [](uint64_t v) { return numberText(v) + " cd/m²"; });
  f.uh("max_fall", 16, [](uint64_t v) { return numberText(v) + " cd/m²"; });
}

void masteringDisplayColourVolume(FieldReader& f) {
  const auto chromaticity = [](uint64_t v) { return fixedFraction(v, 16, ""); };
  for (int i = 0; i < 3 && f.ok(); ++i) {
    f.uh("primary_chromaticity_x", 16, chromaticity, i);
    f.uh("primary_chromaticity_y", 16, chromaticity, i);
  }
  f.uh("white_point_chromaticity_x", 16, chromaticity);
  f.uh("white_point_chromaticity_y", 16, chromaticity);
  f.uh("luminance_max", 32, [](uint64_t v) { return fixedFraction(v, 8, " cd/m²"); });
  f.uh("luminance_min", 32, [](uint64_t v) { return fixedFraction(v, 14, " cd/m²"); });
}

// The payload of a registered ITU-T T.35 message runs to the OBU's trailing bits.
void ituT35(FieldReader& f) {
  if (f.u("itu_t_t35_country_code", 8) == 0xFF) f.u("itu_t_t35_country_code_extension_byte", 8);
  const int64_t payload_bits = f.bitsLeft() - trailingBitsLength(f);
  if (payload_bits > 0) f.bytes("itu_t_t35_payload_bytes", payload_bits / 8);
}

std::string metadata(FieldReader& f) {
  FieldReader probe = f;
  const uint64_t type = probe.readLeb128();
  const std::string name = nameText(kMetadataTypes, type);
  f.leb128("metadata_type", name);
  switch (type) {
    case kMetadataHdrCll: contentLightLevel(f); break;
    case kMetadataHdrMdcv: masteringDisplayColourVolume(f); break;
    case kMetadataItutT35: ituT35(f); break;
    default: f.rest("metadata_payload"); return "Metadata" + (name.empty() ? "" : ", " + name);
  }
  trailingBits(f);
  return "Metadata" + (name.empty() ? "" : ", " + name);
}

// A frame header OBU, or the frame header that starts an OBU_FRAME with its tile group after it.
std::string frameHeader(FieldReader& f, Av1Context& context, uint64_t obu_type) {
  const std::string obu_name = nameText(kObuTypes, obu_type);
  const char* const rest_name = obu_type == kFrame ? "frame_header_rest_and_tile_group" : "frame_header_rest";
  if (!context.has_sequence_header) {
    f.rest(rest_name, "needs a sequence header, not seen before");
    return obu_name;
  }
  if (obu_type == kRedundantFrameHeader) {
    f.rest("frame_header_copy", "a copy of the frame header before it");
    return obu_name;
  }
  context.frames.has_frame_header = false;
  const Av1FrameFacts facts = av1UncompressedHeader(f, context.sequence_header, context.frames);
  if (!f.ok()) return obu_name + ", broken";
  if (!facts.complete) {
    f.rest(rest_name, facts.note);
  } else if (obu_type == kFrame) {
    av1ByteAlignment(f);
    av1TileGroup(f, context.frames);
  } else {
    trailingBits(f);
  }
  if (facts.show_existing_frame) return "shows an existing frame";
  if (context.first_frame_type.empty()) {
    context.first_frame_type = kPictureTypes[facts.frame_type];
    context.first_frame_random_access = facts.frame_type == kKeyFrame && facts.show_frame;
  }
  std::string summary = obu_name + ", " + av1FrameTypeName(facts.frame_type) + (facts.show_frame ? ", shown" : ", not shown");
  if (facts.width) summary += ", " + numberText(facts.width) + "x" + numberText(facts.height);
  if (facts.complete) summary += ", base_q_idx " + numberText(facts.base_q_idx);
  return summary;
}

std::string tileGroup(FieldReader& f, Av1Context& context) {
  if (!context.frames.has_frame_header) f.rest("obu_payload", "needs the frame header of its frame, not seen before");
  else av1TileGroup(f, context.frames);
  return "OBU_TILE_GROUP";
}

// The payload of one OBU, on a reader over exactly its bytes.
std::string obuPayload(FieldReader& f, uint64_t type, Av1Context& context) {
  switch (type) {
    case kSequenceHeader: return sequenceHeader(f, context);
    case kTemporalDelimiter: return "Temporal delimiter";
    case kMetadata: return metadata(f);
    case kFrameHeader: case kFrame: case kRedundantFrameHeader: return frameHeader(f, context, type);
    case kTileGroup: return tileGroup(f, context);
    case kPadding: f.rest("obu_padding"); return "Padding";
    default: {
      f.rest("obu_payload");
      const std::string name = nameText(kObuTypes, type);
      return name.empty() ? "OBU type " + numberText(type) : name;
    }
  }
}

struct ObuResult {
  bool fits = false;
  uint64_t type = 0;
  std::string summary;
};

// One OBU from the position of `f`, which ends up after it.
ObuResult obu(FieldReader& f, Av1Context& context, int64_t seq) {
  ElementWriter& w = f.writer();
  const int64_t begin = f.bytePos();
  w.openUnit("obu", begin * 8, f.endBit() - begin * 8, {}, {}, seq);
  f.u("obu_forbidden_bit", 1);
  const uint64_t type = f.uh("obu_type", 4, [](uint64_t v) { return nameText(kObuTypes, v); });
  const bool extension = f.flag("obu_extension_flag");
  const bool has_size = f.flag("obu_has_size_field");
  f.u("obu_reserved_1bit", 1);
  context.frames.temporal_id = context.frames.spatial_id = 0;
  if (extension) {
    context.frames.temporal_id = f.u("temporal_id", 3);
    context.frames.spatial_id = f.u("spatial_id", 2);
    f.u("extension_header_reserved_3bits", 3);
  }
  uint64_t size = uint64_t(f.bytesLeft());
  if (has_size) size = f.leb128("obu_size", "bytes");
  ObuResult result;
  result.type = type;
  result.fits = f.ok() && size <= uint64_t(f.bytesLeft());
  result.summary = "OBU";
  if (result.fits) {
    const int64_t payload = f.bytePos();
    FieldReader inner(w, f.fileData(), payload, payload + int64_t(size));
    result.summary = obuPayload(inner, type, context);
    if (!inner.ok()) {
      inner.recover();
      inner.rest("obu_payload_rest", "not decoded: the data ends early or a value above is out of range");
    }
    f.skipBits(int64_t(size) * 8);
  } else {
    f.recover();
    f.rest("obu_payload", "obu_size runs past the end");
    result.summary += ", truncated";
    f.fail();
  }
  w.setUnitValue(result.summary);
  w.closeUnit(f.bitPos() - begin * 8);
  return result;
}

}  // namespace

std::string av1ProfileName(uint64_t seq_profile) { return nameText(kProfiles, seq_profile); }

std::string av1LevelText(uint64_t seq_level_idx) {
  if (seq_level_idx == kLevelMaxParameters) return "maximum parameters";
  return numberText(2 + seq_level_idx / 4) + "." + numberText(seq_level_idx % 4);
}

VideoFormat av1VideoFormat(const Av1SequenceHeader& header) {
  VideoFormat format;
  format.coded_width = format.width = header.max_frame_width;
  format.coded_height = format.height = header.max_frame_height;
  format.chroma = chromaText(header);
  format.bit_depth = header.bit_depth;
  if (header.timing_info_present && header.equal_picture_interval) {
    format.rate_num = header.time_scale;
    format.rate_den = header.num_units_in_display_tick * header.num_ticks_per_picture;
  }
  return format;
}

std::string av1Obus(FieldReader& f, Av1Context& context) {
  std::string summary;
  for (int64_t seq = 1; seq <= kMaxObus && f.ok() && f.bytesLeft() > 0; ++seq) {
    const ObuResult result = obu(f, context, seq);
    if (result.type == kSequenceHeader) summary = result.summary;
    if (!result.fits) break;
  }
  return summary;
}

}  // namespace corvanta::codecs
