// H.265 NAL units (ITU-T H.265 7.3.1, 7.3.2, 7.3.3, 7.3.4, 7.3.7 and Annex E): the header, video,
// sequence and picture parameter sets with profile_tier_level, scaling lists, short-term
// reference picture sets, VUI and HRD parameters.
#include "codecs/HevcParameterSets.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "FieldUnit.h"
#include "codecs/HevcSliceHeader.h"
#include "codecs/NalUnits.h"
#include "codecs/SeiMessages.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

const ValueName kProfiles[] = {
    {1, "Main"}, {2, "Main 10"}, {3, "Main Still Picture"}, {4, "Range extensions"}, {5, "High throughput"},
    {6, "Multiview Main"}, {7, "Scalable Main"}, {8, "3D Main"}, {9, "Screen content coding"},
    {10, "Scalable range extensions"}, {11, "High throughput screen content coding"},
};

const ValueName kNalUnitTypes[] = {
    {0, "TRAIL_N"}, {1, "TRAIL_R"}, {2, "TSA_N"}, {3, "TSA_R"}, {4, "STSA_N"}, {5, "STSA_R"},
    {6, "RADL_N"}, {7, "RADL_R"}, {8, "RASL_N"}, {9, "RASL_R"}, {16, "BLA_W_LP"}, {17, "BLA_W_RADL"},
    {18, "BLA_N_LP"}, {19, "IDR_W_RADL"}, {20, "IDR_N_LP"}, {21, "CRA"}, {32, "VPS"}, {33, "SPS"},
    {34, "PPS"}, {35, "access unit delimiter"}, {36, "end of sequence"}, {37, "end of bitstream"},
    {38, "filler data"}, {39, "prefix SEI"}, {40, "suffix SEI"},
};

enum NalUnitType : uint64_t {
  kRaslR = 9, kBlaWLp = 16, kLastVclDecoded = 21, kVps = 32, kSps = 33, kPps = 34, kAccessUnitDelimiter = 35,
  kFillerData = 38, kPrefixSei = 39, kSuffixSei = 40
};

// The largest legal values of the fields that size later reads or index the context.
constexpr uint64_t kMaxSpsId = 15;
constexpr uint64_t kMaxPpsId = 63;
constexpr uint64_t kMaxSubLayersMinus1 = 6;
constexpr uint64_t kMaxLayerSetsMinus1 = 1023;
constexpr uint64_t kMaxChromaFormatIdc = 3;
constexpr uint64_t kMaxBitDepthMinus8 = 8;
constexpr uint64_t kMaxLog2PocLsbMinus4 = 12;
constexpr uint64_t kMaxDecPicBufferingMinus1 = HevcShortTermRps::kMaxPictures - 1;
constexpr uint64_t kMaxLog2CtbSize = 6;
constexpr uint64_t kMaxShortTermRefPicSets = 64;
constexpr uint64_t kMaxLongTermRefPicsSps = 32;
constexpr uint64_t kMaxAbsDeltaRpsMinus1 = (1u << 15) - 1;
constexpr uint64_t kMaxCpbCntMinus1 = 31;
constexpr uint64_t kMaxRefIdxActiveMinus1 = 14;
constexpr uint64_t kMaxTileColumnsMinus1 = 19;
constexpr uint64_t kMaxTileRowsMinus1 = 21;
constexpr uint64_t kMaxChromaQpOffsetListLenMinus1 = 5;
constexpr uint64_t kMaxMultiLayerSubLayers = 7;  // sps_ext_or_max_sub_layers_minus1: multilayer SPS

std::string flagText(bool value, const char* yes, const char* no) { return value ? yes : no; }

struct ProfileTierLevel {
  uint64_t profile_idc = 0, tier = 0, level_idc = 0;
  uint32_t compatibility = 0;
  // The profile, or one the stream claims compatibility with (profile_idc 0 relies on the flags).
  bool has(uint64_t profile) const {
    return profile_idc == profile || (profile < 32 && ((compatibility >> (31 - profile)) & 1));
  }
};

std::string profileName(uint64_t profile_idc, uint32_t compatibility) {
  std::string name = hevcProfileName(profile_idc);
  for (uint64_t j = 1; name.empty() && j < 32; ++j)
    if ((compatibility >> (31 - j)) & 1) name = hevcProfileName(j);
  return name.empty() ? "profile " + numberText(profile_idc) : name;
}

std::string compatibilityText(uint64_t flags) {
  std::string text;
  for (uint64_t j = 0; j < 32; ++j) {
    if (!((flags >> (31 - j)) & 1)) continue;
    const std::string name = hevcProfileName(j);
    text += (text.empty() ? "" : ", ") + (name.empty() ? numberText(j) : name);
  }
  return text;
}

std::string tierText(uint64_t tier) { return flagText(tier, "High tier", "Main tier"); }

std::string profileLevelText(const ProfileTierLevel& ptl) {
  return profileName(ptl.profile_idc, ptl.compatibility) + "@" + hevcLevelText(ptl.level_idc) +
         (ptl.tier ? " High tier" : "");
}

// The 88 profile bits of profile_tier_level() (7.3.3), for the general profile or a sub-layer's:
// which constraint flags the 43 bits after the source flags hold depends on the profile.
void profileFields(FieldReader& f, const std::string& prefix, int64_t seq, ProfileTierLevel& ptl) {
  f.u(prefix + "profile_space", 2, {}, seq);
  ptl.tier = f.uh(prefix + "tier_flag", 1, tierText, seq);
  ptl.profile_idc = f.uh(prefix + "profile_idc", 5, hevcProfileName, seq);
  ptl.compatibility = uint32_t(f.uh(prefix + "profile_compatibility_flags", 32, compatibilityText, seq));
  for (const char* name : {"progressive_source_flag", "interlaced_source_flag", "non_packed_constraint_flag",
                           "frame_only_constraint_flag"})
    f.u(prefix + name, 1, {}, seq);
  const auto any = [&ptl](std::initializer_list<uint64_t> profiles) {
    return std::any_of(profiles.begin(), profiles.end(), [&ptl](uint64_t p) { return ptl.has(p); });
  };
  if (any({4, 5, 6, 7, 8, 9, 10, 11})) {
    for (const char* name : {"max_12bit_constraint_flag", "max_10bit_constraint_flag", "max_8bit_constraint_flag",
                             "max_422chroma_constraint_flag", "max_420chroma_constraint_flag",
                             "max_monochrome_constraint_flag", "intra_constraint_flag",
                             "one_picture_only_constraint_flag", "lower_bit_rate_constraint_flag"})
      f.u(prefix + name, 1, {}, seq);
    if (any({5, 9, 10, 11})) {
      f.u(prefix + "max_14bit_constraint_flag", 1, {}, seq);
      f.u(prefix + "reserved_zero_33bits", 33, {}, seq);
    } else {
      f.u(prefix + "reserved_zero_34bits", 34, {}, seq);
    }
  } else if (ptl.has(2)) {
    f.u(prefix + "reserved_zero_7bits", 7, {}, seq);
    f.u(prefix + "one_picture_only_constraint_flag", 1, {}, seq);
    f.u(prefix + "reserved_zero_35bits", 35, {}, seq);
  } else {
    f.u(prefix + "reserved_zero_43bits", 43, {}, seq);
  }
  f.u(prefix + (any({1, 2, 3, 4, 5, 9, 11}) ? "inbld_flag" : "reserved_zero_bit"), 1, {}, seq);
}

ProfileTierLevel profileTierLevel(FieldReader& f, bool profile_present, uint64_t max_sub_layers_minus1) {
  FieldUnit unit(f, "profile_tier_level");
  ProfileTierLevel ptl;
  if (profile_present) profileFields(f, "general_", -1, ptl);
  ptl.level_idc = f.uh("general_level_idc", 8, hevcLevelText);
  const uint64_t sub_layers = std::min(max_sub_layers_minus1, kMaxSubLayersMinus1);
  bool profile_present_in[8] = {}, level_present_in[8] = {};
  for (uint64_t i = 0; i < sub_layers; ++i) {
    profile_present_in[i] = f.u("sub_layer_profile_present_flag", 1, {}, int64_t(i));
    level_present_in[i] = f.u("sub_layer_level_present_flag", 1, {}, int64_t(i));
  }
  if (sub_layers > 0)
    for (uint64_t i = sub_layers; i < 8; ++i) f.u("reserved_zero_2bits", 2, {}, int64_t(i));
  for (uint64_t i = 0; i < sub_layers && f.ok(); ++i) {
    ProfileTierLevel sub_layer;
    if (profile_present_in[i]) profileFields(f, "sub_layer_", int64_t(i), sub_layer);
    if (level_present_in[i]) f.uh("sub_layer_level_idc", 8, hevcLevelText, int64_t(i));
  }
  unit.setSummary(profile_present ? profileLevelText(ptl) : "level " + hevcLevelText(ptl.level_idc));
  return ptl;
}

// scaling_list_data() (7.3.4): for each block size and matrix, a copy of another matrix (or the
// default) or coefficient deltas, shown as one field with the coefficients they make.
void scalingListData(FieldReader& f) {
  FieldUnit unit(f, "scaling_list_data");
  static const char* const kSizes[] = {"4x4", "8x8", "16x16", "32x32"};
  for (int size_id = 0; size_id < 4 && f.ok(); ++size_id) {
    FieldUnit size(f, "size_id", size_id);
    size.setSummary(kSizes[size_id]);
    const int step = size_id == 3 ? 3 : 1;
    for (int matrix_id = 0; matrix_id < 6 && f.ok(); matrix_id += step) {
      if (!f.u("scaling_list_pred_mode_flag", 1, {}, matrix_id)) {
        f.ueh("scaling_list_pred_matrix_id_delta", [&](uint64_t v) {
          if (v == 0) return std::string("default list");
          if (v * step > uint64_t(matrix_id)) return std::string("out of range");
          return "copy of matrix " + numberText(uint64_t(matrix_id) - v * step);
        }, matrix_id);
        continue;
      }
      int64_t next = 8;
      if (size_id > 1) next = 8 + f.se("scaling_list_dc_coef_minus8", {}, matrix_id);
      const int coefficients = std::min(64, 1 << (4 + (size_id << 1)));
      compactField(f, "scaling_list_delta_coef", matrix_id, [&](FieldReader& probe) {
        std::string deltas, values;
        for (int i = 0; i < coefficients && probe.ok(); ++i) {
          const int64_t delta = probe.readSe();
          next = ((next + delta) % 256 + 256) % 256;
          deltas += (deltas.empty() ? "" : " ") + signedText(delta);
          values += (values.empty() ? "" : " ") + numberText(uint64_t(next));
        }
        return std::pair<std::string, std::string>{deltas, values};
      });
    }
  }
}

std::string shortTermRpsText(const HevcShortTermRps& rps) {
  if (rps.count() == 0) return "no reference pictures";
  std::string deltas, kept;
  for (int i = 0; i < rps.count(); ++i) {
    const std::string delta = (rps.delta_poc[i] > 0 ? "+" : "") + signedText(rps.delta_poc[i]);
    deltas += (deltas.empty() ? "" : " ") + delta;
    if (!rps.used[i]) kept += (kept.empty() ? "" : " ") + delta;
  }
  return "POC " + deltas + (kept.empty() ? "" : " (" + kept + " only for later pictures)");
}

// The set predicted from `ref` (7.4.8, inter_ref_pic_set_prediction_flag 1): each picture of the
// reference set and the reference picture itself, shifted by delta_rps, kept where use_delta_flag
// says so, sorted into S0 (negative) and S1 (positive). False when the result is too large.
bool predictShortTermRps(const HevcShortTermRps& ref, int64_t delta_rps, const bool* used, const bool* use_delta,
                         HevcShortTermRps& rps) {
  struct Entry {
    int64_t delta;
    bool used;
  };
  Entry s0[HevcShortTermRps::kMaxPictures + 1], s1[HevcShortTermRps::kMaxPictures + 1];
  int n0 = 0, n1 = 0;
  const int negative = ref.num_negative, positive = ref.num_positive, self = ref.count();
  for (int j = positive - 1; j >= 0; --j) {
    const int64_t d = ref.delta_poc[negative + j] + delta_rps;
    if (d < 0 && use_delta[negative + j]) s0[n0++] = {d, used[negative + j]};
  }
  if (delta_rps < 0 && use_delta[self]) s0[n0++] = {delta_rps, used[self]};
  for (int j = 0; j < negative; ++j) {
    const int64_t d = ref.delta_poc[j] + delta_rps;
    if (d < 0 && use_delta[j]) s0[n0++] = {d, used[j]};
  }
  for (int j = negative - 1; j >= 0; --j) {
    const int64_t d = ref.delta_poc[j] + delta_rps;
    if (d > 0 && use_delta[j]) s1[n1++] = {d, used[j]};
  }
  if (delta_rps > 0 && use_delta[self]) s1[n1++] = {delta_rps, used[self]};
  for (int j = 0; j < positive; ++j) {
    const int64_t d = ref.delta_poc[negative + j] + delta_rps;
    if (d > 0 && use_delta[negative + j]) s1[n1++] = {d, used[negative + j]};
  }
  if (n0 + n1 > HevcShortTermRps::kMaxPictures) return false;
  rps.num_negative = n0;
  rps.num_positive = n1;
  for (int i = 0; i < n0; ++i) {
    rps.delta_poc[i] = s0[i].delta;
    rps.used[i] = s0[i].used;
  }
  for (int i = 0; i < n1; ++i) {
    rps.delta_poc[n0 + i] = s1[i].delta;
    rps.used[n0 + i] = s1[i].used;
  }
  return true;
}

void predictedShortTermRps(FieldReader& f, size_t idx, size_t num_sets, const std::vector<HevcShortTermRps>& sets,
                           HevcShortTermRps& rps) {
  uint64_t delta_idx = 1;
  if (idx == num_sets) delta_idx = 1 + ueMax(f, "delta_idx_minus1", idx - 1);
  const bool negative = f.flag("delta_rps_sign");
  const uint64_t magnitude = 1 + ueMax(f, "abs_delta_rps_minus1", kMaxAbsDeltaRpsMinus1);
  if (!f.ok()) return;
  const HevcShortTermRps& ref = sets[idx - delta_idx];
  bool used[HevcShortTermRps::kMaxPictures + 1] = {}, use_delta[HevcShortTermRps::kMaxPictures + 1] = {};
  for (int j = 0; j <= ref.count() && f.ok(); ++j) {
    used[j] = f.u("used_by_curr_pic_flag", 1, {}, j);
    use_delta[j] = used[j] || f.u("use_delta_flag", 1, {}, j);  // inferred 1 when not sent
  }
  const int64_t delta_rps = negative ? -int64_t(magnitude) : int64_t(magnitude);
  if (f.ok() && !predictShortTermRps(ref, delta_rps, used, use_delta, rps)) f.fail();
}

void explicitShortTermRps(FieldReader& f, HevcShortTermRps& rps) {
  const uint64_t negative = ueMax(f, "num_negative_pics", HevcShortTermRps::kMaxPictures);
  if (!f.ok()) return;
  const uint64_t positive = ueMax(f, "num_positive_pics", HevcShortTermRps::kMaxPictures - negative);
  if (!f.ok()) return;
  rps.num_negative = int(negative);
  rps.num_positive = int(positive);
  int64_t poc = 0;
  for (int i = 0; i < rps.num_negative && f.ok(); ++i) {
    poc -= 1 + int64_t(f.ue("delta_poc_s0_minus1", {}, i));
    rps.delta_poc[i] = poc;
    rps.used[i] = f.u("used_by_curr_pic_s0_flag", 1, {}, i);
  }
  poc = 0;
  for (int i = 0; i < rps.num_positive && f.ok(); ++i) {
    poc += 1 + int64_t(f.ue("delta_poc_s1_minus1", {}, i));
    rps.delta_poc[rps.num_negative + i] = poc;
    rps.used[rps.num_negative + i] = f.u("used_by_curr_pic_s1_flag", 1, {}, i);
  }
}

std::string hrdRateText(uint64_t value_minus1, uint64_t scale, int base, const char* unit) {
  return scaledValueText(value_minus1, int(base + scale), unit);
}

struct HrdScales {
  uint64_t bit_rate = 0, cpb_size = 0, cpb_size_du = 0;
  bool sub_pic = false;
};

void subLayerHrdParameters(FieldReader& f, const char* kind, uint64_t sub_layer, uint64_t cpb_count,
                           const HrdScales& scales) {
  FieldUnit unit(f, "sub_layer_hrd_parameters", int64_t(sub_layer));
  unit.setSummary(std::string(kind) + ", " + numberText(cpb_count) + (cpb_count == 1 ? " CPB" : " CPBs"));
  for (uint64_t i = 0; i < cpb_count && f.ok(); ++i) {
    const int64_t seq = int64_t(i);
    f.ueh("bit_rate_value_minus1", [&](uint64_t v) { return hrdRateText(v, scales.bit_rate, 6, "bit/s"); }, seq);
    f.ueh("cpb_size_value_minus1", [&](uint64_t v) { return hrdRateText(v, scales.cpb_size, 4, "bits"); }, seq);
    if (scales.sub_pic) {
      f.ueh("cpb_size_du_value_minus1", [&](uint64_t v) { return hrdRateText(v, scales.cpb_size_du, 4, "bits"); }, seq);
      f.ueh("bit_rate_du_value_minus1", [&](uint64_t v) { return hrdRateText(v, scales.bit_rate, 6, "bit/s"); }, seq);
    }
    f.uh("cbr_flag", 1, [](uint64_t v) { return flagText(v, "constant bit rate", "variable bit rate"); }, seq);
  }
}

// hrd_parameters() (E.2.2).
void hrdParameters(FieldReader& f, bool common_info, uint64_t max_sub_layers_minus1, SeiTiming& timing) {
  FieldUnit unit(f, "hrd_parameters");
  bool nal = false, vcl = false;
  HrdScales scales;
  if (common_info) {
    nal = f.flag("nal_hrd_parameters_present_flag");
    vcl = f.flag("vcl_hrd_parameters_present_flag");
    if (nal || vcl) {
      scales.sub_pic = f.flag("sub_pic_hrd_params_present_flag");
      if (scales.sub_pic) {
        f.u("tick_divisor_minus2", 8);
        timing.du_cpb_removal_delay_increment_length = 1 + int(f.u("du_cpb_removal_delay_increment_length_minus1", 5));
        timing.sub_pic_cpb_params_in_pic_timing_sei = f.flag("sub_pic_cpb_params_in_pic_timing_sei_flag");
        timing.dpb_output_delay_du_length = 1 + int(f.u("dpb_output_delay_du_length_minus1", 5));
      }
      scales.bit_rate = f.u("bit_rate_scale", 4);
      scales.cpb_size = f.u("cpb_size_scale", 4);
      if (scales.sub_pic) scales.cpb_size_du = f.u("cpb_size_du_scale", 4);
      timing.nal.initial_cpb_removal_delay_length = 1 + int(f.u("initial_cpb_removal_delay_length_minus1", 5));
      timing.nal.cpb_removal_delay_length = 1 + int(f.u("au_cpb_removal_delay_length_minus1", 5));
      timing.nal.dpb_output_delay_length = 1 + int(f.u("dpb_output_delay_length_minus1", 5));
    }
  }
  timing.sub_pic_hrd_params = scales.sub_pic;
  for (uint64_t i = 0; i <= std::min(max_sub_layers_minus1, kMaxSubLayersMinus1) && f.ok(); ++i) {
    const int64_t seq = int64_t(i);
    const bool fixed_general = f.u("fixed_pic_rate_general_flag", 1, {}, seq);
    const bool fixed_within_cvs = fixed_general || f.u("fixed_pic_rate_within_cvs_flag", 1, {}, seq);
    bool low_delay = false;
    if (fixed_within_cvs) f.ue("elemental_duration_in_tc_minus1", {}, seq);
    else low_delay = f.u("low_delay_hrd_flag", 1, {}, seq);
    uint64_t cpb_count = 1;
    if (!low_delay) cpb_count = 1 + ueMax(f, "cpb_cnt_minus1", kMaxCpbCntMinus1, seq);
    timing.nal.cpb_count = cpb_count;  // the buffering period counts the CPBs of the highest sub-layer
    if (nal && f.ok()) subLayerHrdParameters(f, "NAL", i, cpb_count, scales);
    if (vcl && f.ok()) subLayerHrdParameters(f, "VCL", i, cpb_count, scales);
  }
  timing.nal.present = nal && f.ok();
  const SeiHrd common = timing.nal;
  timing.vcl = common;  // one set of lengths for both
  timing.vcl.present = vcl && f.ok();
  unit.setSummary(nal && vcl ? "NAL and VCL" : nal ? "NAL" : vcl ? "VCL" : "HRD");
}

std::string timeScaleText(uint64_t time_scale, uint64_t ticks) {
  const std::string rate = frameRateText(time_scale, ticks);
  return numberText(time_scale) + " Hz" + (rate.empty() ? "" : ", " + rate);
}

// vui_parameters() (E.2.1).
void vuiParameters(FieldReader& f, HevcSps& sps) {
  FieldUnit unit(f, "vui_parameters");
  vuiPictureFields(f);
  f.flag("neutral_chroma_indication_flag");
  f.flag("field_seq_flag");
  SeiTiming timing;
  timing.pic_struct_present = f.flag("frame_field_info_present_flag");
  if (f.flag("default_display_window_flag")) {
    for (const char* name : {"def_disp_win_left_offset", "def_disp_win_right_offset", "def_disp_win_top_offset",
                             "def_disp_win_bottom_offset"})
      f.ue(name);
  }
  if (f.flag("vui_timing_info_present_flag")) {
    const uint64_t ticks = f.u("vui_num_units_in_tick", 32);
    const uint64_t scale = f.uh("vui_time_scale", 32, [ticks](uint64_t v) { return timeScaleText(v, ticks); });
    if (f.ok()) {
      sps.num_units_in_tick = ticks;
      sps.time_scale = scale;
    }
    if (f.flag("vui_poc_proportional_to_timing_flag")) f.ue("vui_num_ticks_poc_diff_one_minus1");
    if (f.flag("vui_hrd_parameters_present_flag")) hrdParameters(f, true, sps.max_sub_layers - 1, timing);
  }
  timing.vui = f.ok();
  if (timing.vui) sps.sei_timing = timing;
  if (f.flag("bitstream_restriction_flag")) {
    f.flag("tiles_fixed_structure_flag");
    f.flag("motion_vectors_over_pic_boundaries_flag");
    f.flag("restricted_ref_pic_lists_flag");
    f.ue("min_spatial_segmentation_idc");
    f.ue("max_bytes_per_pic_denom");
    f.ue("max_bits_per_min_cu_denom");
    f.ue("log2_max_mv_length_horizontal");
    f.ue("log2_max_mv_length_vertical");
  }
  const std::string rate = frameRateText(sps.time_scale, sps.num_units_in_tick);
  unit.setSummary(rate.empty() ? "VUI" : "VUI, " + rate);
}

// The max_dec_pic_buffering, num_reorder and latency of each sub-layer (or of the highest only).
void subLayerOrderingInfo(FieldReader& f, const std::string& prefix, uint64_t max_sub_layers) {
  const bool every_layer = f.flag(prefix + "sub_layer_ordering_info_present_flag");
  for (uint64_t i = every_layer ? 0 : max_sub_layers - 1; i < max_sub_layers && f.ok(); ++i) {
    ueMax(f, prefix + "max_dec_pic_buffering_minus1", kMaxDecPicBufferingMinus1, int64_t(i));
    f.ue(prefix + "max_num_reorder_pics", {}, int64_t(i));
    f.ue(prefix + "max_latency_increase_plus1", {}, int64_t(i));
  }
}

uint64_t bitDepth(FieldReader& f, std::string_view name) {
  const uint64_t minus8 = f.ueh(name, [](uint64_t v) {
    return v > kMaxBitDepthMinus8 ? "out of range: at most 8" : numberText(v + 8) + " bits";
  });
  if (minus8 > kMaxBitDepthMinus8) f.fail();
  return 8 + minus8;
}

std::string blockText(uint64_t log2) { return numberText(uint64_t(1) << log2) + "x" + numberText(uint64_t(1) << log2); }

// A log2 block size, checked against the largest one the format allows.
uint64_t log2Size(FieldReader& f, std::string_view name, uint64_t base, uint64_t max, const char* what) {
  const uint64_t value = f.ueh(name, [&](uint64_t v) {
    return base + v > max ? "out of range" : std::string(what) + blockText(base + v);
  });
  if (base + value > max) f.fail();
  return base + value;
}

// The conformance window offsets, with the size they leave as the flag's readable value.
void conformanceWindow(FieldReader& f, HevcSps& sps) {
  FieldReader probe = f;
  probe.skipBits(1);
  HevcSps cropped = sps;
  cropped.conf_left = probe.readUe();
  cropped.conf_right = probe.readUe();
  cropped.conf_top = probe.readUe();
  cropped.conf_bottom = probe.readUe();
  const VideoFormat format = hevcVideoFormat(cropped);
  const std::string size = displayedSizeText(format);
  if (!f.flag("conformance_window_flag", probe.ok() && f.peek(1) ? size : std::string())) return;
  sps.conf_left = f.ue("conf_win_left_offset");
  sps.conf_right = f.ue("conf_win_right_offset");
  sps.conf_top = f.ue("conf_win_top_offset");
  sps.conf_bottom = f.ue("conf_win_bottom_offset");
}

void codingBlockSizes(FieldReader& f, HevcSps& sps) {
  sps.log2_min_luma_coding_block_size =
      log2Size(f, "log2_min_luma_coding_block_size_minus3", 3, kMaxLog2CtbSize, "");
  sps.log2_ctb_size = log2Size(f, "log2_diff_max_min_luma_coding_block_size", sps.log2_min_luma_coding_block_size,
                               kMaxLog2CtbSize, "CTB ");
  const uint64_t min_transform = log2Size(f, "log2_min_luma_transform_block_size_minus2", 2, 5, "");
  log2Size(f, "log2_diff_max_min_luma_transform_block_size", min_transform, 5, "largest transform ");
  f.ue("max_transform_hierarchy_depth_inter");
  f.ue("max_transform_hierarchy_depth_intra");
}

void pcmParameters(FieldReader& f, HevcSps& sps) {
  sps.pcm_bit_depth_luma = 1 + f.uh("pcm_sample_bit_depth_luma_minus1", 4, [](uint64_t v) { return numberText(v + 1) + " bits"; });
  sps.pcm_bit_depth_chroma = 1 + f.uh("pcm_sample_bit_depth_chroma_minus1", 4, [](uint64_t v) { return numberText(v + 1) + " bits"; });
  const uint64_t min_pcm = log2Size(f, "log2_min_pcm_luma_coding_block_size_minus3", 3, 5, "");
  log2Size(f, "log2_diff_max_min_pcm_luma_coding_block_size", min_pcm, 5, "");
  f.flag("pcm_loop_filter_disabled_flag");
}

void shortTermRefPicSets(FieldReader& f, HevcSps& sps) {
  const uint64_t count = ueMax(f, "num_short_term_ref_pic_sets", kMaxShortTermRefPicSets);
  for (uint64_t i = 0; i < count && f.ok(); ++i) {
    HevcShortTermRps rps;
    if (hevcShortTermRefPicSet(f, size_t(i), size_t(count), sps.short_term_rps, rps)) sps.short_term_rps.push_back(rps);
  }
}

void longTermRefPics(FieldReader& f, HevcSps& sps) {
  sps.long_term_ref_pics_present = f.flag("long_term_ref_pics_present_flag");
  if (!sps.long_term_ref_pics_present) return;
  sps.num_long_term_ref_pics_sps = ueMax(f, "num_long_term_ref_pics_sps", kMaxLongTermRefPicsSps);
  for (uint64_t i = 0; i < sps.num_long_term_ref_pics_sps && f.ok(); ++i) {
    f.u("lt_ref_pic_poc_lsb_sps", int(sps.log2_max_pic_order_cnt_lsb), {}, int64_t(i));
    sps.lt_used_by_curr_pic_sps.push_back(f.u("used_by_curr_pic_lt_sps_flag", 1, {}, int64_t(i)) != 0);
  }
}

// The extension flags of an SPS or PPS; the range extension is decoded by `range`, every other
// extension stays one opaque field up to the stop bit. True when there is such another one.
template <class RangeExtension>
bool extensions(FieldReader& f, const std::string& prefix, RangeExtension&& range) {
  if (!f.flag(prefix + "_extension_present_flag")) return false;
  const bool has_range = f.flag(prefix + "_range_extension_flag");
  const bool multilayer = f.flag(prefix + "_multilayer_extension_flag");
  const bool three_d = f.flag(prefix + "_3d_extension_flag");
  const bool scc = f.flag(prefix + "_scc_extension_flag");
  const bool other = f.u(prefix + "_extension_4bits", 4) != 0;
  if (has_range && f.ok()) {
    FieldUnit unit(f, prefix + "_range_extension");
    range();
  }
  if ((multilayer || three_d || scc || other) && f.ok()) rbspOpaqueData(f, prefix + "_extension_data");
  return multilayer || three_d || scc || other;
}

void spsRangeExtension(FieldReader& f) {
  for (const char* name : {"transform_skip_rotation_enabled_flag", "transform_skip_context_enabled_flag",
                           "implicit_rdpcm_enabled_flag", "explicit_rdpcm_enabled_flag",
                           "extended_precision_processing_flag", "intra_smoothing_disabled_flag",
                           "high_precision_offsets_enabled_flag", "persistent_rice_adaptation_enabled_flag",
                           "cabac_bypass_alignment_enabled_flag"})
    f.flag(name);
}

// The frame rate of the SPS's VUI, else of its VPS.
void frameRate(const HevcSps& sps, const HevcContext& context, VideoFormat& format) {
  const auto vps = context.vps.find(sps.video_parameter_set_id);
  if (sps.time_scale && sps.num_units_in_tick) return;
  if (vps == context.vps.end()) return;
  format.rate_num = vps->second.time_scale;
  format.rate_den = vps->second.num_units_in_tick;
}

// seq_parameter_set_rbsp() (7.3.2.2) of the base layer.
std::string seqParameterSet(FieldReader& f, HevcContext& context, uint64_t layer_id) {
  HevcSps sps;
  sps.video_parameter_set_id = f.u("sps_video_parameter_set_id", 4);
  // In a layer above the base, 7 here announces a multilayer SPS of another syntax.
  const uint64_t max_sub_layers_minus1 = layer_id ? f.u("sps_ext_or_max_sub_layers_minus1", 3)
                                                  : uMax(f, "sps_max_sub_layers_minus1", 3, kMaxSubLayersMinus1);
  if (layer_id != 0 && max_sub_layers_minus1 == kMaxMultiLayerSubLayers) {
    rbspOpaqueData(f, "sps_multilayer_extension_data");
    rbspTrailingBits(f);
    return "SPS of layer " + numberText(layer_id);
  }
  sps.max_sub_layers = max_sub_layers_minus1 + 1;
  f.flag("sps_temporal_id_nesting_flag");
  const ProfileTierLevel ptl = profileTierLevel(f, true, max_sub_layers_minus1);
  sps.profile_idc = ptl.profile_idc;
  sps.tier = ptl.tier;
  sps.level_idc = ptl.level_idc;
  sps.profile_compatibility = ptl.compatibility;
  const uint64_t id = ueMax(f, "sps_seq_parameter_set_id", kMaxSpsId);
  sps.chroma_format_idc = f.ueh("chroma_format_idc", [](uint64_t v) {
    return v > kMaxChromaFormatIdc ? "out of range: at most 3" : chromaFormatText(v);
  });
  if (sps.chroma_format_idc > kMaxChromaFormatIdc) f.fail();
  if (sps.chroma_format_idc == 3) sps.separate_colour_plane = f.flag("separate_colour_plane_flag");
  sps.width = f.ue("pic_width_in_luma_samples");
  sps.height = f.ueh("pic_height_in_luma_samples", [&](uint64_t v) { return numberText(sps.width) + "x" + numberText(v) + " coded"; });
  conformanceWindow(f, sps);
  sps.bit_depth_luma = bitDepth(f, "bit_depth_luma_minus8");
  sps.bit_depth_chroma = bitDepth(f, "bit_depth_chroma_minus8");
  sps.log2_max_pic_order_cnt_lsb = 4 + f.ueh("log2_max_pic_order_cnt_lsb_minus4", [](uint64_t v) {
    return v > kMaxLog2PocLsbMinus4 ? "out of range: at most 12" : "MaxPicOrderCntLsb " + numberText(uint64_t(1) << (v + 4));
  });
  if (sps.log2_max_pic_order_cnt_lsb > kMaxLog2PocLsbMinus4 + 4) f.fail();
  subLayerOrderingInfo(f, "sps_", sps.max_sub_layers);
  codingBlockSizes(f, sps);
  sps.scaling_list_enabled = f.flag("scaling_list_enabled_flag");
  if (sps.scaling_list_enabled && f.uh("sps_scaling_list_data_present_flag", 1, [](uint64_t v) {
        return v ? std::string() : std::string("default lists");
      }))
    scalingListData(f);
  sps.amp_enabled = f.flag("amp_enabled_flag");
  sps.sample_adaptive_offset_enabled = f.flag("sample_adaptive_offset_enabled_flag");
  sps.pcm_enabled = f.flag("pcm_enabled_flag");
  if (sps.pcm_enabled) pcmParameters(f, sps);
  if (f.ok()) shortTermRefPicSets(f, sps);
  longTermRefPics(f, sps);
  sps.temporal_mvp_enabled = f.flag("sps_temporal_mvp_enabled_flag");
  sps.strong_intra_smoothing_enabled = f.flag("strong_intra_smoothing_enabled_flag");
  const bool vui = f.flag("vui_parameters_present_flag");
  const bool usable = f.ok();
  if (vui) vuiParameters(f, sps);
  sps.other_extensions = extensions(f, "sps", [&f] { spsRangeExtension(f); });
  rbspTrailingBits(f);
  if (!usable) return "SPS";
  context.sps[id] = sps;
  context.sei.sps[id] = sps.sei_timing;
  VideoFormat format = hevcVideoFormat(sps);
  frameRate(sps, context, format);
  return "SPS " + numberText(id) + ": " + profileLevelText(ptl) + ", " + videoFormatText(format);
}

// video_parameter_set_rbsp() (7.3.2.1).
std::string videoParameterSet(FieldReader& f, HevcContext& context) {
  HevcVps vps;
  const uint64_t id = f.u("vps_video_parameter_set_id", 4);
  f.flag("vps_base_layer_internal_flag");
  f.flag("vps_base_layer_available_flag");
  f.u("vps_max_layers_minus1", 6);
  const uint64_t max_sub_layers_minus1 = uMax(f, "vps_max_sub_layers_minus1", 3, kMaxSubLayersMinus1);
  vps.max_sub_layers = max_sub_layers_minus1 + 1;
  f.flag("vps_temporal_id_nesting_flag");
  f.u("vps_reserved_0xffff_16bits", 16);
  if (!f.ok()) return "VPS";
  const ProfileTierLevel ptl = profileTierLevel(f, true, max_sub_layers_minus1);
  subLayerOrderingInfo(f, "vps_", vps.max_sub_layers);
  const uint64_t max_layer_id = f.u("vps_max_layer_id", 6);
  const uint64_t layer_sets = 1 + ueMax(f, "vps_num_layer_sets_minus1", kMaxLayerSetsMinus1);
  for (uint64_t i = 1; i < layer_sets && f.ok(); ++i)
    f.u("layer_id_included_flags", int(max_layer_id + 1), {}, int64_t(i));
  if (f.flag("vps_timing_info_present_flag")) {
    const uint64_t ticks = f.u("vps_num_units_in_tick", 32);
    const uint64_t scale = f.uh("vps_time_scale", 32, [ticks](uint64_t v) { return timeScaleText(v, ticks); });
    if (f.ok()) {
      vps.num_units_in_tick = ticks;
      vps.time_scale = scale;
    }
    if (f.flag("vps_poc_proportional_to_timing_flag")) f.ue("vps_num_ticks_poc_diff_one_minus1");
    const uint64_t hrd_count = ueMax(f, "vps_num_hrd_parameters", layer_sets);
    for (uint64_t i = 0; i < hrd_count && f.ok(); ++i) {
      f.ue("hrd_layer_set_idx", {}, int64_t(i));
      const bool common = i == 0 || f.u("cprms_present_flag", 1, {}, int64_t(i));
      SeiTiming unused;  // the SEI timing messages follow the SPS's HRD, not these
      hrdParameters(f, common, max_sub_layers_minus1, unused);
    }
  }
  const bool usable = f.ok();
  if (f.flag("vps_extension_flag")) rbspOpaqueData(f, "vps_extension_data");
  rbspTrailingBits(f);
  if (!usable) return "VPS";
  context.vps[id] = vps;
  const std::string rate = frameRateText(vps.time_scale, vps.num_units_in_tick);
  return "VPS " + numberText(id) + ": " + profileLevelText(ptl) + ", " + numberText(vps.max_sub_layers) +
         (vps.max_sub_layers == 1 ? " sub-layer" : " sub-layers") + (rate.empty() ? "" : ", " + rate);
}

void tiles(FieldReader& f) {
  const uint64_t columns = 1 + ueMax(f, "num_tile_columns_minus1", kMaxTileColumnsMinus1);
  const uint64_t rows = 1 + ueMax(f, "num_tile_rows_minus1", kMaxTileRowsMinus1);
  if (!f.flag("uniform_spacing_flag")) {
    for (uint64_t i = 0; i + 1 < columns && f.ok(); ++i) f.ue("column_width_minus1", {}, int64_t(i));
    for (uint64_t i = 0; i + 1 < rows && f.ok(); ++i) f.ue("row_height_minus1", {}, int64_t(i));
  }
  f.flag("loop_filter_across_tiles_enabled_flag");
}

void ppsRangeExtension(FieldReader& f, bool transform_skip, HevcPps& pps) {
  if (transform_skip) f.ue("log2_max_transform_skip_block_size_minus2");
  f.flag("cross_component_prediction_enabled_flag");
  pps.chroma_qp_offset_list_enabled = f.flag("chroma_qp_offset_list_enabled_flag");
  if (pps.chroma_qp_offset_list_enabled) {
    f.ue("diff_cu_chroma_qp_offset_depth");
    const uint64_t length = 1 + ueMax(f, "chroma_qp_offset_list_len_minus1", kMaxChromaQpOffsetListLenMinus1);
    for (uint64_t i = 0; i < length && f.ok(); ++i) {
      f.se("cb_qp_offset_list", {}, int64_t(i));
      f.se("cr_qp_offset_list", {}, int64_t(i));
    }
  }
  f.ue("log2_sao_offset_scale_luma");
  f.ue("log2_sao_offset_scale_chroma");
}

// pic_parameter_set_rbsp() (7.3.2.3): none of its fields depends on the SPS.
std::string picParameterSet(FieldReader& f, HevcContext& context) {
  HevcPps pps;
  const uint64_t id = ueMax(f, "pps_pic_parameter_set_id", kMaxPpsId);
  pps.seq_parameter_set_id = ueMax(f, "pps_seq_parameter_set_id", kMaxSpsId);
  pps.dependent_slice_segments_enabled = f.flag("dependent_slice_segments_enabled_flag");
  pps.output_flag_present = f.flag("output_flag_present_flag");
  pps.num_extra_slice_header_bits = f.u("num_extra_slice_header_bits", 3);
  f.flag("sign_data_hiding_enabled_flag");
  pps.cabac_init_present = f.flag("cabac_init_present_flag");
  pps.num_ref_idx_l0_default_active = 1 + ueMax(f, "num_ref_idx_l0_default_active_minus1", kMaxRefIdxActiveMinus1);
  pps.num_ref_idx_l1_default_active = 1 + ueMax(f, "num_ref_idx_l1_default_active_minus1", kMaxRefIdxActiveMinus1);
  f.se("init_qp_minus26");
  f.flag("constrained_intra_pred_flag");
  const bool transform_skip = f.flag("transform_skip_enabled_flag");
  if (f.flag("cu_qp_delta_enabled_flag")) f.ue("diff_cu_qp_delta_depth");
  f.se("pps_cb_qp_offset");
  f.se("pps_cr_qp_offset");
  pps.slice_chroma_qp_offsets_present = f.flag("pps_slice_chroma_qp_offsets_present_flag");
  pps.weighted_pred = f.flag("weighted_pred_flag");
  pps.weighted_bipred = f.flag("weighted_bipred_flag");
  f.flag("transquant_bypass_enabled_flag");
  pps.tiles_enabled = f.flag("tiles_enabled_flag");
  pps.entropy_coding_sync_enabled = f.flag("entropy_coding_sync_enabled_flag");
  if (pps.tiles_enabled) tiles(f);
  pps.loop_filter_across_slices_enabled = f.flag("pps_loop_filter_across_slices_enabled_flag");
  if (f.flag("deblocking_filter_control_present_flag")) {
    pps.deblocking_filter_override_enabled = f.flag("deblocking_filter_override_enabled_flag");
    pps.deblocking_filter_disabled = f.flag("pps_deblocking_filter_disabled_flag");
    if (!pps.deblocking_filter_disabled) {
      f.se("pps_beta_offset_div2");
      f.se("pps_tc_offset_div2");
    }
  }
  if (f.flag("pps_scaling_list_data_present_flag")) scalingListData(f);
  pps.lists_modification_present = f.flag("lists_modification_present_flag");
  f.ue("log2_parallel_merge_level_minus2");
  pps.slice_segment_header_extension_present = f.flag("slice_segment_header_extension_present_flag");
  const bool usable = f.ok();
  pps.other_extensions = extensions(f, "pps", [&f, transform_skip, &pps] { ppsRangeExtension(f, transform_skip, pps); });
  rbspTrailingBits(f);
  if (!usable) return "PPS";
  context.pps[id] = pps;
  std::string summary = "PPS " + numberText(id) + ", SPS " + numberText(pps.seq_parameter_set_id);
  if (pps.tiles_enabled) summary += ", tiles";
  if (pps.entropy_coding_sync_enabled) summary += ", wavefront";
  return summary;
}

// access_unit_delimiter_rbsp() (7.3.2.5).
std::string accessUnitDelimiter(FieldReader& f) {
  static const char* const kPicTypes[] = {"I", "P, I", "B, P, I"};
  const uint64_t pic_type = f.uh("pic_type", 3, [](uint64_t v) { return std::string(v < 3 ? kPicTypes[v] : ""); });
  rbspTrailingBits(f);
  return "access unit delimiter" + std::string(pic_type < 3 ? std::string(": ") + kPicTypes[pic_type] : "");
}

}  // namespace

std::string hevcProfileName(uint64_t profile_idc) { return nameText(kProfiles, profile_idc); }

std::string hevcLevelText(uint64_t level_idc) {
  return numberText(level_idc / 30) + "." + numberText(level_idc % 30 / 3);
}

std::string hevcNalUnitTypeName(uint64_t nal_unit_type) { return nameText(kNalUnitTypes, nal_unit_type); }

// Frame size before and after the conformance window (7.4.3.2.1).
VideoFormat hevcVideoFormat(const HevcSps& sps) {
  VideoFormat format;
  format.coded_width = sps.width;
  format.coded_height = sps.height;
  const uint64_t chroma = sps.separate_colour_plane ? 0 : sps.chroma_format_idc;
  const uint64_t sub_width = chroma == 1 || chroma == 2 ? 2 : 1;
  const uint64_t sub_height = chroma == 1 ? 2 : 1;
  const uint64_t crop_x = sub_width * (sps.conf_left + sps.conf_right);
  const uint64_t crop_y = sub_height * (sps.conf_top + sps.conf_bottom);
  format.width = crop_x < sps.width ? sps.width - crop_x : 0;
  format.height = crop_y < sps.height ? sps.height - crop_y : 0;
  format.chroma = sps.separate_colour_plane ? "4:4:4 separate planes" : chromaFormatText(sps.chroma_format_idc);
  format.bit_depth = sps.bit_depth_luma;
  format.rate_num = sps.time_scale;
  format.rate_den = sps.num_units_in_tick;
  return format;
}

bool hevcShortTermRefPicSet(FieldReader& f, size_t idx, size_t num_sets, const std::vector<HevcShortTermRps>& sets,
                            HevcShortTermRps& rps) {
  FieldUnit unit(f, "st_ref_pic_set", int64_t(idx));
  rps = {};
  if (idx > num_sets || sets.size() < idx) {
    f.fail();
    return false;
  }
  if (idx != 0 && f.flag("inter_ref_pic_set_prediction_flag")) predictedShortTermRps(f, idx, num_sets, sets, rps);
  else explicitShortTermRps(f, rps);
  if (f.ok()) unit.setSummary(shortTermRpsText(rps));
  return f.ok();
}

std::string hevcNalUnit(FieldReader& f, HevcContext& context, SliceInfo* slice) {
  f.u("forbidden_zero_bit", 1);
  const uint64_t type = f.uh("nal_unit_type", 6, hevcNalUnitTypeName);
  const uint64_t layer_id = f.u("nuh_layer_id", 6);
  f.u("nuh_temporal_id_plus1", 3);
  if (!f.ok()) return "NAL unit";
  std::string summary;
  SliceInfo ignored;
  const bool slice_segment = type <= kLastVclDecoded && (type <= kRaslR || type >= kBlaWLp);
  if (slice_segment && layer_id == 0) {
    f.startRbsp();
    summary = hevcNalUnitTypeName(type) + hevcSliceSegmentLayer(f, context, type, slice ? *slice : ignored);
  } else {
    switch (type) {
      case kVps: f.startRbsp(); summary = videoParameterSet(f, context); break;
      case kSps: f.startRbsp(); summary = seqParameterSet(f, context, layer_id); break;
      case kPps: f.startRbsp(); summary = picParameterSet(f, context); break;
      case kAccessUnitDelimiter: f.startRbsp(); summary = accessUnitDelimiter(f); break;
      case kPrefixSei: case kSuffixSei: f.startRbsp(); summary = seiRbsp(f, SeiSyntax::Hevc, &context.sei); break;
      case kFillerData: f.rest("filler_data"); summary = "filler data"; break;
      default:
        f.rest("payload");
        summary = hevcNalUnitTypeName(type);
        if (summary.empty()) summary = "NAL unit type " + numberText(type);
        break;
    }
  }
  if (!endNalUnit(f)) summary += ", broken";
  return summary;
}

}  // namespace corvanta::codecs
