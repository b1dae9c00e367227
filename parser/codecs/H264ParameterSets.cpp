// H.264 NAL units (ITU-T H.264 7.3.1, 7.3.2 and Annex E): the header, sequence and picture
// parameter sets with their VUI and HRD parameters, the SPS extension.
#include "codecs/H264ParameterSets.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "FieldUnit.h"
#include "codecs/H264SliceHeader.h"
#include "codecs/NalUnits.h"
#include "codecs/SeiMessages.h"
#include "codecs/VideoFormat.h"

namespace corvanta::codecs {

namespace {

const ValueName kProfiles[] = {
    {44, "CAVLC 4:4:4 Intra"}, {66, "Baseline"}, {77, "Main"}, {83, "Scalable Baseline"}, {86, "Scalable High"},
    {88, "Extended"}, {100, "High"}, {110, "High 10"}, {118, "Multiview High"}, {122, "High 4:2:2"},
    {128, "Stereo High"}, {134, "MFC High"}, {135, "MFC Depth High"}, {138, "Multiview Depth High"},
    {139, "Enhanced Multiview Depth High"}, {144, "High 4:4:4"}, {244, "High 4:4:4 Predictive"},
};

const ValueName kNalUnitTypes[] = {
    {1, "non-IDR slice"}, {2, "slice data partition A"}, {3, "slice data partition B"},
    {4, "slice data partition C"}, {5, "IDR slice"}, {6, "SEI"}, {7, "SPS"}, {8, "PPS"},
    {9, "access unit delimiter"}, {10, "end of sequence"}, {11, "end of stream"}, {12, "filler data"},
    {13, "SPS extension"}, {14, "prefix NAL unit"}, {15, "subset SPS"}, {16, "depth parameter set"},
    {19, "auxiliary slice"}, {20, "slice extension"}, {21, "depth view slice extension"},
};

enum NalUnitType : uint64_t {
  kNonIdrSlice = 1, kIdrSlice = 5, kSei = 6, kSps = 7, kPps = 8, kAccessUnitDelimiter = 9, kFillerData = 12,
  kSpsExtension = 13, kSubsetSps = 15
};

const ValueName kPrimaryPicTypes[] = {{0, "I"}, {1, "I, P"}, {2, "I, P, B"}, {3, "SI"},
                                      {4, "SI, SP"}, {5, "I, SI"}, {6, "I, SI, P, SP"}, {7, "I, SI, P, SP, B"}};

// The largest legal values of the fields that size later reads or index the context.
constexpr uint64_t kMaxSpsId = 31;
constexpr uint64_t kMaxPpsId = 255;
constexpr uint64_t kMaxChromaFormatIdc = 3;
constexpr uint64_t kMaxBitDepthMinus8 = 6;
constexpr uint64_t kMaxLog2Minus4 = 12;
constexpr uint64_t kMaxPicOrderCntType = 2;
constexpr uint64_t kMaxRefFramesInPicOrderCntCycle = 255;
constexpr uint64_t kMaxCpbCntMinus1 = 31;
constexpr uint64_t kMaxSliceGroupsMinus1 = 7;
constexpr uint64_t kMaxSliceGroupMapType = 6;
constexpr uint64_t kMaxRefIdxActiveMinus1 = 31;
constexpr uint64_t kMaxAuxFormatIdc = 3;
constexpr uint64_t kMaxBitDepthAuxMinus8 = 4;

// The profiles whose SPS carries chroma_format_idc, bit depths and scaling matrices.
bool hasChromaFormat(uint64_t profile_idc) {
  switch (profile_idc) {
    case 44: case 83: case 86: case 100: case 110: case 118: case 122: case 128: case 134: case 135:
    case 138: case 139: case 144: case 244:
      return true;
    default:
      return false;
  }
}

bool constraintSet(const H264Sps& sps, int n) { return (sps.constraint_flags >> n) & 1; }

// The profile as Annex A names it once the constraint flags are taken into account.
std::string profileText(const H264Sps& sps) {
  const bool intra = constraintSet(sps, 3);
  switch (sps.profile_idc) {
    case 66: if (constraintSet(sps, 1)) return "Constrained Baseline"; break;
    case 100:
      if (constraintSet(sps, 4) && constraintSet(sps, 5)) return "Constrained High";
      if (constraintSet(sps, 4)) return "Progressive High";
      break;
    case 110: if (intra) return "High 10 Intra"; break;
    case 122: if (intra) return "High 4:2:2 Intra"; break;
    case 244: if (intra) return "High 4:4:4 Intra"; break;
    default: break;
  }
  return h264ProfileName(sps.profile_idc);
}

// Level 1b is level_idc 11 with constraint_set3_flag in the Baseline, Main and Extended profiles.
std::string levelText(const H264Sps& sps) {
  const bool level_1b = sps.level_idc == 11 && constraintSet(sps, 3) &&
                        (sps.profile_idc == 66 || sps.profile_idc == 77 || sps.profile_idc == 88);
  return level_1b ? "1b" : h264LevelText(sps.level_idc);
}

uint64_t chromaArrayType(const H264Sps& sps) { return sps.separate_colour_plane ? 0 : sps.chroma_format_idc; }

}  // namespace

// Frame size in luma samples before and after the cropping rectangle (7.4.2.1.1).
VideoFormat h264VideoFormat(const H264Sps& sps) {
  VideoFormat format;
  format.coded_width = sps.pic_width_in_mbs * 16;
  format.coded_height = sps.pic_height_in_map_units * 16 * (sps.frame_mbs_only ? 1 : 2);
  const uint64_t chroma = chromaArrayType(sps);
  const uint64_t crop_unit_x = chroma == 1 || chroma == 2 ? 2 : 1;
  const uint64_t crop_unit_y = (chroma == 1 ? 2 : 1) * (sps.frame_mbs_only ? 1 : 2);
  const uint64_t crop_x = crop_unit_x * (sps.crop_left + sps.crop_right);
  const uint64_t crop_y = crop_unit_y * (sps.crop_top + sps.crop_bottom);
  format.width = crop_x < format.coded_width ? format.coded_width - crop_x : 0;
  format.height = crop_y < format.coded_height ? format.coded_height - crop_y : 0;
  format.chroma = sps.separate_colour_plane ? "4:4:4 separate planes" : chromaFormatText(sps.chroma_format_idc);
  format.bit_depth = sps.bit_depth_luma;
  format.interlaced = !sps.frame_mbs_only;
  if (sps.num_units_in_tick && sps.time_scale) {
    format.rate_num = sps.time_scale;
    format.rate_den = 2 * sps.num_units_in_tick;
  }
  return format;
}

namespace {

uint64_t bitDepth(FieldReader& f, std::string_view name) {
  const uint64_t minus8 = f.ueh(name, [](uint64_t v) {
    return v > kMaxBitDepthMinus8 ? "out of range: at most 6" : numberText(v + 8) + " bits";
  });
  if (minus8 > kMaxBitDepthMinus8) f.fail();
  return 8 + minus8;
}

// The table a scaling list falls back to (Table 7-2): 4x4 lists 0-5 and 8x8 lists 6-11,
// intra before inter.
std::string defaultScalingListName(int i) {
  if (i < 6) return i < 3 ? "Default_4x4_Intra" : "Default_4x4_Inter";
  return (i - 6) % 2 == 0 ? "Default_8x8_Intra" : "Default_8x8_Inter";
}

// scaling_list() (7.3.2.1.1.1): delta_scale codes until the list is full or a delta makes the
// next value 0, which repeats the last value to the end (or, first of all, selects the default).
std::pair<std::string, std::string> scalingList(FieldReader& f, int i) {
  const int size = i < 6 ? 16 : 64;
  int64_t last = 8, next = 8;
  std::string deltas, values;
  for (int j = 0; j < size && f.ok(); ++j) {
    if (next != 0) {
      const int64_t delta = f.readSe();
      deltas += (deltas.empty() ? "" : " ") + signedText(delta);
      next = ((last + delta) % 256 + 256) % 256;
      if (j == 0 && next == 0) return {deltas, defaultScalingListName(i)};
    }
    last = next == 0 ? last : next;
    values += (values.empty() ? "" : " ") + numberText(uint64_t(last));
  }
  return {deltas, values};
}

// The presence flags and lists of a scaling matrix, in an SPS or a PPS.
void scalingMatrix(FieldReader& f, std::string_view flag_name, int count) {
  FieldUnit unit(f, "scaling_matrix");
  int present = 0;
  for (int i = 0; i < count && f.ok(); ++i) {
    if (!f.u(flag_name, 1, {}, i)) continue;
    ++present;
    compactField(f, "scaling_list", i, [i](FieldReader& probe) { return scalingList(probe, i); });
  }
  unit.setSummary(numberText(uint64_t(present)) + " of " + numberText(uint64_t(count)) + " lists sent");
}

void chromaFormatAndDepth(FieldReader& f, H264Sps& sps) {
  sps.chroma_format_idc =
      f.ueh("chroma_format_idc", [](uint64_t v) { return v > kMaxChromaFormatIdc ? "out of range: at most 3" : chromaFormatText(v); });
  if (sps.chroma_format_idc > kMaxChromaFormatIdc) f.fail();
  if (sps.chroma_format_idc == 3) sps.separate_colour_plane = f.flag("separate_colour_plane_flag");
  sps.bit_depth_luma = bitDepth(f, "bit_depth_luma_minus8");
  sps.bit_depth_chroma = bitDepth(f, "bit_depth_chroma_minus8");
  f.flag("qpprime_y_zero_transform_bypass_flag");
  if (f.flag("seq_scaling_matrix_present_flag"))
    scalingMatrix(f, "seq_scaling_list_present_flag", sps.chroma_format_idc != 3 ? 8 : 12);
}

void picOrderCount(FieldReader& f, H264Sps& sps) {
  sps.pic_order_cnt_type = ueMax(f, "pic_order_cnt_type", kMaxPicOrderCntType);
  if (sps.pic_order_cnt_type == 0) {
    sps.log2_max_pic_order_cnt_lsb = 4 + f.ueh("log2_max_pic_order_cnt_lsb_minus4", [](uint64_t v) {
      return v > kMaxLog2Minus4 ? "out of range: at most 12" : "MaxPicOrderCntLsb " + numberText(uint64_t(1) << (v + 4));
    });
    if (sps.log2_max_pic_order_cnt_lsb > kMaxLog2Minus4 + 4) f.fail();
  } else if (sps.pic_order_cnt_type == 1) {
    sps.delta_pic_order_always_zero = f.flag("delta_pic_order_always_zero_flag");
    f.se("offset_for_non_ref_pic");
    f.se("offset_for_top_to_bottom_field");
    const uint64_t cycle = ueMax(f, "num_ref_frames_in_pic_order_cnt_cycle", kMaxRefFramesInPicOrderCntCycle);
    for (uint64_t i = 0; i < cycle && f.ok(); ++i) f.se("offset_for_ref_frame", {}, int64_t(i));
  }
}

// The frame cropping offsets, with the size they leave as the flag's readable value.
void frameCropping(FieldReader& f, H264Sps& sps) {
  FieldReader probe = f;
  probe.skipBits(1);
  uint64_t offsets[4] = {};
  for (uint64_t& offset : offsets) offset = probe.readUe();
  H264Sps cropped = sps;
  cropped.crop_left = offsets[0];
  cropped.crop_right = offsets[1];
  cropped.crop_top = offsets[2];
  cropped.crop_bottom = offsets[3];
  const VideoFormat format = h264VideoFormat(cropped);
  const std::string size = displayedSizeText(format);
  if (!f.flag("frame_cropping_flag", probe.ok() && f.peek(1) ? size : std::string())) return;
  sps.crop_left = f.ue("frame_crop_left_offset");
  sps.crop_right = f.ue("frame_crop_right_offset");
  sps.crop_top = f.ue("frame_crop_top_offset");
  sps.crop_bottom = f.ue("frame_crop_bottom_offset");
}

std::string hrdParameters(FieldReader& f, std::string_view kind, SeiHrd& hrd) {
  FieldUnit unit(f, "hrd_parameters");
  const uint64_t cpb_count = ueMax(f, "cpb_cnt_minus1", kMaxCpbCntMinus1) + 1;
  const uint64_t bit_rate_scale = f.u("bit_rate_scale", 4);
  const uint64_t cpb_size_scale = f.u("cpb_size_scale", 4);
  uint64_t first_rate = 0;
  for (uint64_t i = 0; i < cpb_count && f.ok(); ++i) {
    const uint64_t rate = f.ueh("bit_rate_value_minus1", [&](uint64_t v) {
      return scaledValueText(v, int(6 + bit_rate_scale), "bit/s");
    }, int64_t(i));
    if (i == 0) first_rate = (rate + 1) << (6 + bit_rate_scale);
    f.ueh("cpb_size_value_minus1", [&](uint64_t v) { return scaledValueText(v, int(4 + cpb_size_scale), "bits"); },
          int64_t(i));
    f.uh("cbr_flag", 1, [](uint64_t v) { return std::string(v ? "constant bit rate" : "variable bit rate"); },
         int64_t(i));
  }
  hrd.initial_cpb_removal_delay_length = 1 + int(f.u("initial_cpb_removal_delay_length_minus1", 5));
  hrd.cpb_removal_delay_length = 1 + int(f.u("cpb_removal_delay_length_minus1", 5));
  hrd.dpb_output_delay_length = 1 + int(f.u("dpb_output_delay_length_minus1", 5));
  hrd.time_offset_length = int(f.u("time_offset_length", 5));
  hrd.cpb_count = cpb_count;
  hrd.present = f.ok();
  const std::string summary = std::string(kind) + ", " + numberText(cpb_count) + (cpb_count == 1 ? " CPB, " : " CPBs, ") +
                              numberText(first_rate) + " bit/s";
  unit.setSummary(summary);
  return summary;
}

void vuiParameters(FieldReader& f, H264Sps& sps) {
  FieldUnit unit(f, "vui_parameters");
  vuiPictureFields(f);
  if (f.flag("timing_info_present_flag")) {
    const uint64_t ticks = f.u("num_units_in_tick", 32);
    const uint64_t scale = f.uh("time_scale", 32, [ticks](uint64_t v) {
      const std::string rate = frameRateText(v, 2 * ticks);
      return numberText(v) + " Hz" + (rate.empty() ? "" : ", " + rate);
    });
    f.flag("fixed_frame_rate_flag");
    if (f.ok()) {
      sps.num_units_in_tick = ticks;
      sps.time_scale = scale;
    }
  }
  SeiTiming timing;
  const bool nal_hrd = f.flag("nal_hrd_parameters_present_flag");
  if (nal_hrd) hrdParameters(f, "NAL", timing.nal);
  const bool vcl_hrd = f.flag("vcl_hrd_parameters_present_flag");
  if (vcl_hrd) hrdParameters(f, "VCL", timing.vcl);
  if (nal_hrd || vcl_hrd) f.flag("low_delay_hrd_flag");
  timing.pic_struct_present = f.flag("pic_struct_present_flag");
  timing.vui = f.ok();
  if (timing.vui) sps.sei_timing = timing;
  if (f.flag("bitstream_restriction_flag")) {
    f.flag("motion_vectors_over_pic_boundaries_flag");
    f.ue("max_bytes_per_pic_denom");
    f.ue("max_bits_per_mb_denom");
    f.ue("log2_max_mv_length_horizontal");
    f.ue("log2_max_mv_length_vertical");
    f.ue("max_num_reorder_frames");
    f.ue("max_dec_frame_buffering");
  }
  const std::string rate = frameRateText(sps.time_scale, 2 * sps.num_units_in_tick);
  unit.setSummary(rate.empty() ? "VUI" : "VUI, " + rate);
}

// seq_parameter_set_data() (7.3.2.1.1), shared by the SPS and the subset SPS. `usable` tells
// whether everything before the VUI was read: enough for the PPS and slice headers.
uint64_t seqParameterSetData(FieldReader& f, H264Sps& sps, bool& usable) {
  sps.profile_idc = f.uh("profile_idc", 8, h264ProfileName);
  for (int i = 0; i < 6; ++i)
    sps.constraint_flags |= f.u("constraint_set" + std::to_string(i) + "_flag", 1) << i;
  f.u("reserved_zero_2bits", 2);
  sps.level_idc = f.uh("level_idc", 8, [&sps](uint64_t v) {
    H264Sps with_level = sps;
    with_level.level_idc = v;
    return levelText(with_level);
  });
  const uint64_t id = ueMax(f, "seq_parameter_set_id", kMaxSpsId);
  if (hasChromaFormat(sps.profile_idc)) chromaFormatAndDepth(f, sps);
  sps.log2_max_frame_num = 4 + f.ueh("log2_max_frame_num_minus4", [](uint64_t v) {
    return v > kMaxLog2Minus4 ? "out of range: at most 12" : "MaxFrameNum " + numberText(uint64_t(1) << (v + 4));
  });
  if (sps.log2_max_frame_num > kMaxLog2Minus4 + 4) f.fail();
  picOrderCount(f, sps);
  f.ue("max_num_ref_frames");
  f.flag("gaps_in_frame_num_value_allowed_flag");
  sps.pic_width_in_mbs = 1 + f.ueh("pic_width_in_mbs_minus1", [](uint64_t v) { return numberText((v + 1) * 16) + " luma samples"; });
  // The coded frame size needs frame_mbs_only_flag, the bit after this code.
  FieldReader probe = f;
  probe.readUe();
  const bool frame_mbs_only = probe.peek(1);
  sps.pic_height_in_map_units = 1 + f.ueh("pic_height_in_map_units_minus1", [&](uint64_t v) {
    return numberText(sps.pic_width_in_mbs * 16) + "x" + numberText((v + 1) * 16 * (frame_mbs_only ? 1 : 2)) + " coded";
  });
  sps.frame_mbs_only = f.uh("frame_mbs_only_flag", 1, [](uint64_t v) { return std::string(v ? "frames only" : "frames or fields"); });
  if (!sps.frame_mbs_only) f.flag("mb_adaptive_frame_field_flag");
  f.flag("direct_8x8_inference_flag");
  frameCropping(f, sps);
  const bool vui = f.flag("vui_parameters_present_flag");
  usable = f.ok();
  if (vui) vuiParameters(f, sps);
  return id;
}

std::string spsSummary(std::string_view what, uint64_t id, const H264Sps& sps) {
  return std::string(what) + " " + numberText(id) + ": " + profileText(sps) + "@" + levelText(sps) + ", " +
         videoFormatText(h264VideoFormat(sps));
}

std::string seqParameterSet(FieldReader& f, H264Context& context) {
  H264Sps sps;
  bool usable = false;
  const uint64_t id = seqParameterSetData(f, sps, usable);
  rbspTrailingBits(f);
  if (!usable) return "SPS";
  context.sps[id] = sps;
  context.sei.sps[id] = sps.sei_timing;
  return spsSummary("SPS", id, sps);
}

// A subset SPS starts with seq_parameter_set_data(); its scalable and multiview extensions
// follow undecoded. Its id names a subset SPS, not an SPS, so the context does not keep it.
std::string subsetSeqParameterSet(FieldReader& f) {
  H264Sps sps;
  bool usable = false;
  const uint64_t id = seqParameterSetData(f, sps, usable);
  if (!usable) return "subset SPS";
  rbspOpaqueData(f, "subset_seq_parameter_set_extensions");
  rbspTrailingBits(f);
  return spsSummary("subset SPS", id, sps);
}

std::string seqParameterSetExtension(FieldReader& f) {
  const uint64_t id = ueMax(f, "seq_parameter_set_id", kMaxSpsId);
  const uint64_t aux_format = ueMax(f, "aux_format_idc", kMaxAuxFormatIdc);
  if (aux_format != 0) {
    const uint64_t depth = 9 + ueMax(f, "bit_depth_aux_minus8", kMaxBitDepthAuxMinus8);
    f.flag("alpha_incr_flag");
    f.u("alpha_opaque_value", int(depth));
    f.u("alpha_transparent_value", int(depth));
  }
  f.flag("additional_extension_flag");
  rbspTrailingBits(f);
  return "SPS extension " + numberText(id) + (aux_format ? ", auxiliary pictures" : "");
}

void sliceGroups(FieldReader& f, H264Pps& pps) {
  pps.slice_group_map_type = ueMax(f, "slice_group_map_type", kMaxSliceGroupMapType);
  const uint64_t groups = pps.num_slice_groups;
  if (pps.slice_group_map_type == 0) {
    for (uint64_t i = 0; i < groups && f.ok(); ++i) f.ue("run_length_minus1", {}, int64_t(i));
  } else if (pps.slice_group_map_type == 2) {
    for (uint64_t i = 0; i + 1 < groups && f.ok(); ++i) {
      f.ue("top_left", {}, int64_t(i));
      f.ue("bottom_right", {}, int64_t(i));
    }
  } else if (pps.slice_group_map_type >= 3 && pps.slice_group_map_type <= 5) {
    f.flag("slice_group_change_direction_flag");
    pps.slice_group_change_rate = 1 + f.ue("slice_group_change_rate_minus1");
  } else if (pps.slice_group_map_type == 6) {
    const uint64_t count = 1 + f.ue("pic_size_in_map_units_minus1");
    int bits = 0;  // Ceil(Log2(num_slice_groups_minus1 + 1))
    while ((uint64_t(1) << bits) < groups) ++bits;
    // One field for all ids: a count larger than the data fails the probe, not a loop.
    compactField(f, "slice_group_id", -1, [&](FieldReader& probe) {
      if (count > uint64_t(probe.bitsLeft()) / uint64_t(bits)) probe.fail();
      else probe.skipBits(int64_t(count) * bits);
      return std::pair<std::string, std::string>{numberText(count) + " ids of " + numberText(uint64_t(bits)) + " bits", {}};
    });
  }
}

std::string picParameterSet(FieldReader& f, H264Context& context) {
  H264Pps pps;
  const uint64_t id = ueMax(f, "pic_parameter_set_id", kMaxPpsId);
  pps.seq_parameter_set_id = ueMax(f, "seq_parameter_set_id", kMaxSpsId);
  pps.entropy_coding_mode = f.uh("entropy_coding_mode_flag", 1, [](uint64_t v) { return std::string(v ? "CABAC" : "CAVLC"); });
  pps.bottom_field_pic_order_in_frame_present = f.flag("bottom_field_pic_order_in_frame_present_flag");
  pps.num_slice_groups = 1 + ueMax(f, "num_slice_groups_minus1", kMaxSliceGroupsMinus1);
  if (pps.num_slice_groups > 1 && f.ok()) sliceGroups(f, pps);
  pps.num_ref_idx_l0_default_active = 1 + ueMax(f, "num_ref_idx_l0_default_active_minus1", kMaxRefIdxActiveMinus1);
  pps.num_ref_idx_l1_default_active = 1 + ueMax(f, "num_ref_idx_l1_default_active_minus1", kMaxRefIdxActiveMinus1);
  pps.weighted_pred = f.flag("weighted_pred_flag");
  pps.weighted_bipred_idc = uMax(f, "weighted_bipred_idc", 2, 2);
  f.se("pic_init_qp_minus26");
  f.se("pic_init_qs_minus26");
  f.se("chroma_qp_index_offset");
  pps.deblocking_filter_control_present = f.flag("deblocking_filter_control_present_flag");
  f.flag("constrained_intra_pred_flag");
  pps.redundant_pic_cnt_present = f.flag("redundant_pic_cnt_present_flag");
  if (!f.ok()) return "PPS";
  const auto sps = context.sps.find(pps.seq_parameter_set_id);
  bool stopped = false;
  if (f.moreRbspData()) {
    pps.transform_8x8_mode = f.flag("transform_8x8_mode_flag");
    if (f.flag("pic_scaling_matrix_present_flag")) {
      // With the 8x8 transform the number of lists depends on the chroma format of the SPS.
      if (pps.transform_8x8_mode && sps == context.sps.end()) {
        stopped = true;
        rbspOpaqueData(f, "rbsp_rest");
      } else {
        const bool chroma_444 = pps.transform_8x8_mode && sps->second.chroma_format_idc == 3;
        scalingMatrix(f, "pic_scaling_list_present_flag", 6 + (pps.transform_8x8_mode ? (chroma_444 ? 6 : 2) : 0));
      }
    }
    if (!stopped) f.se("second_chroma_qp_index_offset");
  }
  rbspTrailingBits(f);
  if (!f.ok()) return "PPS";
  context.pps[id] = pps;
  std::string summary = "PPS " + numberText(id) + ", SPS " + numberText(pps.seq_parameter_set_id) + ": " +
                        (pps.entropy_coding_mode ? "CABAC" : "CAVLC");
  if (pps.transform_8x8_mode) summary += ", 8x8 transform";
  if (stopped) summary += "; the rest needs SPS " + numberText(pps.seq_parameter_set_id) + ", not seen before";
  return summary;
}

std::string accessUnitDelimiter(FieldReader& f) {
  const uint64_t types = f.uh("primary_pic_type", 3, [](uint64_t v) { return nameText(kPrimaryPicTypes, v); });
  rbspTrailingBits(f);
  return "access unit delimiter: " + nameText(kPrimaryPicTypes, types);
}

}  // namespace

std::string h264ProfileName(uint64_t profile_idc) { return nameText(kProfiles, profile_idc); }

std::string h264LevelText(uint64_t level_idc) {
  if (level_idc == 9) return "1b";
  return numberText(level_idc / 10) + "." + numberText(level_idc % 10);
}

std::string h264NalUnit(FieldReader& f, H264Context& context, SliceInfo* slice) {
  f.u("forbidden_zero_bit", 1);
  const uint64_t ref_idc = f.u("nal_ref_idc", 2);
  const uint64_t type = f.uh("nal_unit_type", 5, [](uint64_t v) { return nameText(kNalUnitTypes, v); });
  if (!f.ok()) return "NAL unit";
  std::string summary;
  SliceInfo ignored;
  switch (type) {
    case kNonIdrSlice: case kIdrSlice:
      f.startRbsp();
      summary = h264SliceLayer(f, context, type, ref_idc, slice ? *slice : ignored);
      break;
    case kSei: f.startRbsp(); summary = seiRbsp(f, SeiSyntax::H264, &context.sei); break;
    case kAccessUnitDelimiter: f.startRbsp(); summary = accessUnitDelimiter(f); break;
    case kFillerData: f.rest("filler_data"); summary = "filler data"; break;
    case kSps: f.startRbsp(); summary = seqParameterSet(f, context); break;
    case kPps: f.startRbsp(); summary = picParameterSet(f, context); break;
    case kSpsExtension: f.startRbsp(); summary = seqParameterSetExtension(f); break;
    case kSubsetSps: f.startRbsp(); summary = subsetSeqParameterSet(f); break;
    default:
      f.rest("payload");
      summary = nameText(kNalUnitTypes, type);
      if (summary.empty()) summary = "NAL unit type " + numberText(type);
      break;
  }
  if (!endNalUnit(f)) summary += ", broken";
  return summary;
}

}  // namespace corvanta::codecs
