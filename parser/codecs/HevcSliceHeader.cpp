// H.265 slice segment headers (ITU-T H.265 7.3.6.1 to 7.3.6.3).
#include "codecs/HevcSliceHeader.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "codecs/HevcParameterSets.h"
#include "codecs/NalUnits.h"

namespace corvanta::codecs {

namespace {

enum SliceType : uint64_t { kB = 0, kP = 1, kI = 2 };
constexpr uint64_t kBlaWLp = 16, kIdrWRadl = 19, kIdrNLp = 20, kLastIrap = 23;
constexpr uint64_t kMaxPpsId = 63;
constexpr uint64_t kMaxRefIdxActiveMinus1 = 14;
constexpr uint64_t kMaxLongTermPics = 32;
constexpr uint64_t kMaxEntryPoints = 4400;  // more than the tiles and CTB rows of the largest level
constexpr uint64_t kMaxExtensionLength = 256;

int ceilLog2(uint64_t value) {
  int bits = 0;
  while (bits < 63 && (uint64_t(1) << bits) < value) ++bits;
  return bits;
}

struct SliceState {
  const HevcSps* sps = nullptr;
  const HevcPps* pps = nullptr;
  uint64_t type = kI;
  uint64_t num_ref_idx_l0 = 0, num_ref_idx_l1 = 0;  // active entries
  int pic_total_curr = 0;                           // NumPicTotalCurr (7-55)
  bool temporal_mvp = false, sao_luma = false, sao_chroma = false;
};

uint64_t chromaArrayType(const HevcSps& sps) { return sps.separate_colour_plane ? 0 : sps.chroma_format_idc; }

int usedByCurrent(const HevcShortTermRps& rps) {
  int used = 0;
  for (int i = 0; i < rps.count(); ++i) used += rps.used[size_t(i)] ? 1 : 0;
  return used;
}

// The short-term set of the slice (its own or one of the SPS's) and the long-term pictures.
void referencePictures(FieldReader& f, SliceState& s) {
  const size_t sets = s.sps->short_term_rps.size();
  if (!f.flag("short_term_ref_pic_set_sps_flag")) {
    HevcShortTermRps rps;
    if (hevcShortTermRefPicSet(f, sets, sets, s.sps->short_term_rps, rps)) s.pic_total_curr += usedByCurrent(rps);
  } else {
    uint64_t idx = 0;
    if (sets > 1) idx = f.u("short_term_ref_pic_set_idx", ceilLog2(sets));
    if (idx < sets) s.pic_total_curr += usedByCurrent(s.sps->short_term_rps[idx]);
    else f.fail();
  }
  if (s.sps->long_term_ref_pics_present) {
    FieldUnit unit(f, "long_term_ref_pics");
    uint64_t from_sps = 0;
    if (s.sps->num_long_term_ref_pics_sps > 0) from_sps = f.ue("num_long_term_sps");
    const uint64_t own = f.ue("num_long_term_pics");
    if (from_sps > s.sps->num_long_term_ref_pics_sps || own > kMaxLongTermPics) {
      f.fail();
      return;
    }
    for (uint64_t i = 0; i < from_sps + own && f.ok(); ++i) {
      const auto seq = int64_t(i);
      if (i < from_sps) {
        uint64_t idx = 0;
        if (s.sps->num_long_term_ref_pics_sps > 1)
          idx = f.u("lt_idx_sps", ceilLog2(s.sps->num_long_term_ref_pics_sps), {}, seq);
        if (idx < s.sps->lt_used_by_curr_pic_sps.size() && s.sps->lt_used_by_curr_pic_sps[idx]) ++s.pic_total_curr;
      } else {
        f.u("poc_lsb_lt", int(s.sps->log2_max_pic_order_cnt_lsb), {}, seq);
        if (f.u("used_by_curr_pic_lt_flag", 1, {}, seq)) ++s.pic_total_curr;
      }
      if (f.u("delta_poc_msb_present_flag", 1, {}, seq)) f.ue("delta_poc_msb_cycle_lt", {}, seq);
    }
  }
}

void refPicListsModification(FieldReader& f, const SliceState& s) {
  FieldUnit unit(f, "ref_pic_lists_modification");
  const int bits = ceilLog2(uint64_t(s.pic_total_curr));
  if (f.flag("ref_pic_list_modification_flag_l0"))
    for (uint64_t i = 0; i < s.num_ref_idx_l0 && f.ok(); ++i) f.u("list_entry_l0", bits, {}, int64_t(i));
  if (s.type != kB) return;
  if (f.flag("ref_pic_list_modification_flag_l1"))
    for (uint64_t i = 0; i < s.num_ref_idx_l1 && f.ok(); ++i) f.u("list_entry_l1", bits, {}, int64_t(i));
}

// The weights of one list: all luma flags, all chroma flags, then the weights they announce.
void weightsOfList(FieldReader& f, uint64_t count, bool chroma, int list) {
  const char* luma_flag = list == 0 ? "luma_weight_l0_flag" : "luma_weight_l1_flag";
  const char* chroma_flag = list == 0 ? "chroma_weight_l0_flag" : "chroma_weight_l1_flag";
  std::vector<bool> luma(count), chromas(count);
  for (uint64_t i = 0; i < count && f.ok(); ++i) luma[i] = f.u(luma_flag, 1, {}, int64_t(i)) != 0;
  if (chroma)
    for (uint64_t i = 0; i < count && f.ok(); ++i) chromas[i] = f.u(chroma_flag, 1, {}, int64_t(i)) != 0;
  for (uint64_t i = 0; i < count && f.ok(); ++i) {
    const auto seq = int64_t(i);
    if (luma[i]) {
      f.se(list == 0 ? "delta_luma_weight_l0" : "delta_luma_weight_l1", {}, seq);
      f.se(list == 0 ? "luma_offset_l0" : "luma_offset_l1", {}, seq);
    }
    if (chromas[i]) {
      for (int j = 0; j < 2; ++j) {
        f.se(list == 0 ? "delta_chroma_weight_l0" : "delta_chroma_weight_l1", {}, seq);
        f.se(list == 0 ? "delta_chroma_offset_l0" : "delta_chroma_offset_l1", {}, seq);
      }
    }
  }
}

void predWeightTable(FieldReader& f, const SliceState& s) {
  FieldUnit unit(f, "pred_weight_table");
  const bool chroma = chromaArrayType(*s.sps) != 0;
  f.ue("luma_log2_weight_denom");
  if (chroma) f.se("delta_chroma_log2_weight_denom");
  weightsOfList(f, s.num_ref_idx_l0, chroma, 0);
  if (s.type == kB) weightsOfList(f, s.num_ref_idx_l1, chroma, 1);
}

// From num_ref_idx_active_override_flag to five_minus_max_num_merge_cand: P and B slices only.
void interPrediction(FieldReader& f, SliceState& s) {
  s.num_ref_idx_l0 = s.pps->num_ref_idx_l0_default_active;
  s.num_ref_idx_l1 = s.type == kB ? s.pps->num_ref_idx_l1_default_active : 0;
  if (f.flag("num_ref_idx_active_override_flag")) {
    s.num_ref_idx_l0 = 1 + ueMax(f, "num_ref_idx_l0_active_minus1", kMaxRefIdxActiveMinus1);
    if (s.type == kB) s.num_ref_idx_l1 = 1 + ueMax(f, "num_ref_idx_l1_active_minus1", kMaxRefIdxActiveMinus1);
  }
  if (s.pps->lists_modification_present && s.pic_total_curr > 1) refPicListsModification(f, s);
  if (s.type == kB) f.flag("mvd_l1_zero_flag");
  if (s.pps->cabac_init_present) f.flag("cabac_init_flag");
  if (s.temporal_mvp) {
    bool from_l0 = true;
    if (s.type == kB) from_l0 = f.flag("collocated_from_l0_flag");
    if ((from_l0 && s.num_ref_idx_l0 > 1) || (!from_l0 && s.num_ref_idx_l1 > 1))
      ueMax(f, "collocated_ref_idx", kMaxRefIdxActiveMinus1);
  }
  if ((s.pps->weighted_pred && s.type == kP) || (s.pps->weighted_bipred && s.type == kB)) predWeightTable(f, s);
  ueMax(f, "five_minus_max_num_merge_cand", 4);
}

// From slice_qp_delta to slice_loop_filter_across_slices_enabled_flag.
void quantisationAndFilters(FieldReader& f, const SliceState& s) {
  f.se("slice_qp_delta");
  if (s.pps->slice_chroma_qp_offsets_present) {
    f.se("slice_cb_qp_offset");
    f.se("slice_cr_qp_offset");
  }
  if (s.pps->chroma_qp_offset_list_enabled) f.flag("cu_chroma_qp_offset_enabled_flag");
  bool override_deblocking = false;
  if (s.pps->deblocking_filter_override_enabled) override_deblocking = f.flag("deblocking_filter_override_flag");
  bool deblocking_disabled = s.pps->deblocking_filter_disabled;
  if (override_deblocking) {
    deblocking_disabled = f.flag("slice_deblocking_filter_disabled_flag");
    if (!deblocking_disabled) {
      f.se("slice_beta_offset_div2");
      f.se("slice_tc_offset_div2");
    }
  }
  if (s.pps->loop_filter_across_slices_enabled && (s.sao_luma || s.sao_chroma || !deblocking_disabled))
    f.flag("slice_loop_filter_across_slices_enabled_flag");
}

void entryPoints(FieldReader& f) {
  const uint64_t count = ueMax(f, "num_entry_point_offsets", kMaxEntryPoints);
  if (count == 0 || !f.ok()) return;
  const uint64_t bits = 1 + ueMax(f, "offset_len_minus1", 31);
  compactField(f, "entry_point_offset_minus1", -1, [&](FieldReader& probe) {
    std::string values;
    for (uint64_t i = 0; i < count && probe.ok(); ++i) {
      if (i < 8) values += (i ? ", " : "") + numberText(probe.read(int(bits)));
      else probe.skipBits(int64_t(bits));
    }
    if (count > 8) values += ", ...";
    return std::pair<std::string, std::string>{numberText(count) + " offsets", values};
  });
}

void sliceSegmentHeaderExtension(FieldReader& f) {
  const uint64_t length = ueMax(f, "slice_segment_header_extension_length", kMaxExtensionLength);
  if (length > 0) f.bytes("slice_segment_header_extension_data_byte", int64_t(length));
}

// The fields an independent slice segment has and a dependent one takes from it.
std::string independentFields(FieldReader& f, SliceState& s, uint64_t nal_unit_type, SliceInfo& info) {
  for (uint64_t i = 0; i < s.pps->num_extra_slice_header_bits && f.ok(); ++i) f.u("slice_reserved_flag", 1, {}, int64_t(i));
  s.type = f.ueh("slice_type", hevcSliceTypeName);
  if (!f.ok() || s.type > kI) {
    f.fail();
    return {};
  }
  info.typed = true;
  info.dependency = s.type == kB ? 2 : s.type == kP ? 1 : 0;
  std::string summary = ", " + hevcSliceTypeName(s.type);
  if (s.pps->output_flag_present) f.flag("pic_output_flag");
  if (s.sps->separate_colour_plane) f.u("colour_plane_id", 2);
  if (nal_unit_type != kIdrWRadl && nal_unit_type != kIdrNLp) {
    const uint64_t lsb = f.u("slice_pic_order_cnt_lsb", int(s.sps->log2_max_pic_order_cnt_lsb));
    summary += ", POC lsb " + numberText(lsb);
    referencePictures(f, s);
    if (s.sps->temporal_mvp_enabled) s.temporal_mvp = f.flag("slice_temporal_mvp_enabled_flag");
  } else {
    summary += ", POC 0";
  }
  if (s.sps->sample_adaptive_offset_enabled) {
    s.sao_luma = f.flag("slice_sao_luma_flag");
    if (chromaArrayType(*s.sps) != 0) s.sao_chroma = f.flag("slice_sao_chroma_flag");
  }
  if (s.type != kI) interPrediction(f, s);
  quantisationAndFilters(f, s);
  return summary;
}

}  // namespace

std::string hevcSliceTypeName(uint64_t slice_type) {
  static const char* const kNames[] = {"B", "P", "I"};
  return slice_type <= kI ? kNames[slice_type] : std::string();
}

std::string hevcSliceSegmentLayer(FieldReader& f, const HevcContext& context, uint64_t nal_unit_type,
                                  SliceInfo& info) {
  info = {};
  info.random_access = nal_unit_type >= kBlaWLp && nal_unit_type <= kLastIrap;
  std::string summary;
  SliceState s;
  {
    FieldUnit header(f, "slice_segment_header");
    const bool first = f.flag("first_slice_segment_in_pic_flag");
    if (info.random_access) f.flag("no_output_of_prior_pics_flag");
    const uint64_t pps_id = ueMax(f, "slice_pic_parameter_set_id", kMaxPpsId);
    if (!f.ok()) return ", broken";
    const auto pps = context.pps.find(pps_id);
    const auto sps = pps == context.pps.end() ? context.sps.end() : context.sps.find(pps->second.seq_parameter_set_id);
    if (sps == context.sps.end() || sps->second.other_extensions || pps->second.other_extensions) {
      rbspOpaqueData(f, "slice_segment_header_rest");
      const std::string why = sps == context.sps.end() ? "needs PPS " + numberText(pps_id) + ", not seen before"
                                                       : "an extension this viewer does not read";
      header.setSummary(why);
      f.rest("slice_segment_data");
      return ", " + why;
    }
    s.pps = &pps->second;
    s.sps = &sps->second;
    context.sei.active_sps = int64_t(sps->first);  // the SPS of the pictures that timing SEI describe
    bool dependent = false;
    if (!first) {
      if (s.pps->dependent_slice_segments_enabled) dependent = f.flag("dependent_slice_segment_flag");
      const uint64_t ctb = uint64_t(1) << s.sps->log2_ctb_size;
      const uint64_t ctbs = ((s.sps->width + ctb - 1) / ctb) * ((s.sps->height + ctb - 1) / ctb);
      f.u("slice_segment_address", ceilLog2(ctbs));
    }
    if (dependent) summary = ", dependent segment";
    else summary = independentFields(f, s, nal_unit_type, info);
    if (s.pps->tiles_enabled || s.pps->entropy_coding_sync_enabled) entryPoints(f);
    if (s.pps->slice_segment_header_extension_present) sliceSegmentHeaderExtension(f);
    if (f.ok()) {
      f.u("alignment_bit_equal_to_one", 1);
      if (!f.byteAligned()) f.u("alignment_bit_equal_to_zero", int(8 - (f.bitPos() & 7)));
    }
    info.decoded = f.ok();
    if (!f.ok()) summary += ", broken";
  }
  if (f.ok()) f.rest("slice_segment_data");
  return summary;
}

}  // namespace corvanta::codecs
