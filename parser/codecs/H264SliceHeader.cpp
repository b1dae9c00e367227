// H.264 slice headers (ITU-T H.264 7.3.3 and its subclauses 7.3.3.1 to 7.3.3.3).
#include "codecs/H264SliceHeader.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "codecs/H264ParameterSets.h"
#include "codecs/NalUnits.h"

namespace corvanta::codecs {

namespace {

enum SliceKind : uint64_t { kP = 0, kB = 1, kI = 2, kSP = 3, kSI = 4 };
constexpr uint64_t kIdrNalUnitType = 5;
constexpr uint64_t kMaxSliceType = 9;
constexpr uint64_t kMaxPpsId = 255;
constexpr uint64_t kMaxRefIdxActiveMinus1 = 31;
// Loops that the stream ends itself (a code 3 or 0): bounded so that a broken stream cannot
// write elements without end; real streams use a few entries.
constexpr int kMaxListModifications = 66;
constexpr int kMaxMemoryOperations = 66;

// The fields the header reads on its way that later fields depend on.
struct SliceState {
  const H264Sps* sps = nullptr;
  const H264Pps* pps = nullptr;
  uint64_t nal_unit_type = 0, nal_ref_idc = 0;
  uint64_t kind = 0;  // slice_type % 5
  bool field_pic = false;
  uint64_t num_ref_idx_l0 = 1, num_ref_idx_l1 = 1;
};

uint64_t chromaArrayType(const H264Sps& sps) { return sps.separate_colour_plane ? 0 : sps.chroma_format_idc; }

void refPicListModification(FieldReader& f, int list) {
  const std::string suffix = list == 0 ? "_l0" : "_l1";
  if (!f.flag("ref_pic_list_modification_flag" + suffix)) return;
  for (int i = 0; i < kMaxListModifications && f.ok(); ++i) {
    const uint64_t idc = f.ue("modification_of_pic_nums_idc", {}, i);
    if (idc == 0 || idc == 1) f.ue("abs_diff_pic_num_minus1", {}, i);
    else if (idc == 2) f.ue("long_term_pic_num", {}, i);
    else if (idc == 3) return;
    else f.fail();  // no other code is legal, and what follows it cannot be read
  }
  f.fail();
}

void refPicListModifications(FieldReader& f, const SliceState& s) {
  if (s.kind == kI || s.kind == kSI) return;
  FieldUnit unit(f, "ref_pic_list_modification");
  refPicListModification(f, 0);
  if (s.kind == kB) refPicListModification(f, 1);
}

void weightsOfList(FieldReader& f, const SliceState& s, int list) {
  const std::string suffix = list == 0 ? "_l0" : "_l1";
  const uint64_t count = list == 0 ? s.num_ref_idx_l0 : s.num_ref_idx_l1;
  const bool chroma = chromaArrayType(*s.sps) != 0;
  for (uint64_t i = 0; i < count && f.ok(); ++i) {
    const auto seq = int64_t(i);
    if (f.u("luma_weight" + suffix + "_flag", 1, {}, seq)) {
      f.se("luma_weight" + suffix, {}, seq);
      f.se("luma_offset" + suffix, {}, seq);
    }
    if (chroma && f.u("chroma_weight" + suffix + "_flag", 1, {}, seq)) {
      for (int j = 0; j < 2; ++j) {
        f.se("chroma_weight" + suffix, {}, seq);
        f.se("chroma_offset" + suffix, {}, seq);
      }
    }
  }
}

void predWeightTable(FieldReader& f, const SliceState& s) {
  const bool weighted = (s.pps->weighted_pred && (s.kind == kP || s.kind == kSP)) ||
                        (s.pps->weighted_bipred_idc == 1 && s.kind == kB);
  if (!weighted) return;
  FieldUnit unit(f, "pred_weight_table");
  f.ue("luma_log2_weight_denom");
  if (chromaArrayType(*s.sps) != 0) f.ue("chroma_log2_weight_denom");
  weightsOfList(f, s, 0);
  if (s.kind == kB) weightsOfList(f, s, 1);
}

void decRefPicMarking(FieldReader& f, const SliceState& s) {
  if (s.nal_ref_idc == 0) return;
  FieldUnit unit(f, "dec_ref_pic_marking");
  if (s.nal_unit_type == kIdrNalUnitType) {
    f.flag("no_output_of_prior_pics_flag");
    f.flag("long_term_reference_flag");
    return;
  }
  if (!f.flag("adaptive_ref_pic_marking_mode_flag")) return;
  for (int i = 0; i < kMaxMemoryOperations && f.ok(); ++i) {
    const uint64_t operation = f.ue("memory_management_control_operation", {}, i);
    if (operation == 0) return;
    if (operation > 6) break;
    if (operation == 1 || operation == 3) f.ue("difference_of_pic_nums_minus1", {}, i);
    if (operation == 2) f.ue("long_term_pic_num", {}, i);
    if (operation == 3 || operation == 6) f.ue("long_term_frame_idx", {}, i);
    if (operation == 4) f.ue("max_long_term_frame_idx_plus1", {}, i);
  }
  f.fail();
}

int ceilLog2(uint64_t value) {
  int bits = 0;
  while (bits < 63 && (uint64_t(1) << bits) < value) ++bits;
  return bits;
}

// From num_ref_idx_active_override_flag to the end of the header.
void sliceHeaderTail(FieldReader& f, SliceState& s) {
  if (s.kind == kP || s.kind == kSP || s.kind == kB) {
    s.num_ref_idx_l0 = s.pps->num_ref_idx_l0_default_active;
    s.num_ref_idx_l1 = s.pps->num_ref_idx_l1_default_active;
    if (f.flag("num_ref_idx_active_override_flag")) {
      s.num_ref_idx_l0 = 1 + ueMax(f, "num_ref_idx_l0_active_minus1", kMaxRefIdxActiveMinus1);
      if (s.kind == kB) s.num_ref_idx_l1 = 1 + ueMax(f, "num_ref_idx_l1_active_minus1", kMaxRefIdxActiveMinus1);
    }
  }
  refPicListModifications(f, s);
  predWeightTable(f, s);
  decRefPicMarking(f, s);
  if (s.pps->entropy_coding_mode && s.kind != kI && s.kind != kSI) ueMax(f, "cabac_init_idc", 2);
  f.se("slice_qp_delta");
  if (s.kind == kSP || s.kind == kSI) {
    if (s.kind == kSP) f.flag("sp_for_switch_flag");
    f.se("slice_qs_delta");
  }
  if (s.pps->deblocking_filter_control_present) {
    const uint64_t disable = ueMax(f, "disable_deblocking_filter_idc", 2);
    if (disable != 1) {
      f.se("slice_alpha_c0_offset_div2");
      f.se("slice_beta_offset_div2");
    }
  }
  if (s.pps->num_slice_groups > 1 && s.pps->slice_group_map_type >= 3 && s.pps->slice_group_map_type <= 5) {
    const uint64_t map_units = s.sps->pic_width_in_mbs * s.sps->pic_height_in_map_units;
    const uint64_t rate = s.pps->slice_group_change_rate ? s.pps->slice_group_change_rate : 1;
    f.u("slice_group_change_cycle", ceilLog2(map_units / rate + 1));
  }
}

std::string pictureText(bool field_pic, bool bottom) {
  if (!field_pic) return {};
  return bottom ? ", bottom field" : ", top field";
}

}  // namespace

std::string h264SliceTypeName(uint64_t slice_type) {
  static const char* const kNames[] = {"P", "B", "I", "SP", "SI"};
  return slice_type <= kMaxSliceType ? kNames[slice_type % 5] : std::string();
}

std::string h264SliceLayer(FieldReader& f, const H264Context& context, uint64_t nal_unit_type, uint64_t nal_ref_idc,
                           SliceInfo& info) {
  info = {};
  const bool idr = nal_unit_type == kIdrNalUnitType;
  info.random_access = idr;
  std::string summary = idr ? "IDR slice" : "non-IDR slice";
  SliceState s;
  s.nal_unit_type = nal_unit_type;
  s.nal_ref_idc = nal_ref_idc;
  {
    FieldUnit header(f, "slice_header");
    f.ue("first_mb_in_slice");
    const uint64_t slice_type = f.ueh("slice_type", [](uint64_t v) { return h264SliceTypeName(v); });
    const uint64_t pps_id = ueMax(f, "pic_parameter_set_id", kMaxPpsId);
    if (!f.ok() || slice_type > kMaxSliceType) {
      f.fail();
      return summary + ", broken";
    }
    s.kind = slice_type % 5;
    info.dependency = s.kind == kB ? 2 : (s.kind == kP || s.kind == kSP) ? 1 : 0;
    info.typed = true;
    summary += ", " + h264SliceTypeName(slice_type);
    const auto pps = context.pps.find(pps_id);
    const auto sps = pps == context.pps.end() ? context.sps.end() : context.sps.find(pps->second.seq_parameter_set_id);
    if (sps == context.sps.end()) {
      rbspOpaqueData(f, "slice_header_rest");
      header.setSummary("needs PPS " + numberText(pps_id) + ", not seen before");
      f.rest("slice_data");
      return summary + ", PPS " + numberText(pps_id) + " not seen before";
    }
    s.pps = &pps->second;
    s.sps = &sps->second;
    context.sei.active_sps = int64_t(sps->first);  // the SPS of the pictures that timing SEI describe
    if (s.sps->separate_colour_plane) f.u("colour_plane_id", 2);
    const uint64_t frame_num = f.u("frame_num", int(s.sps->log2_max_frame_num));
    bool bottom = false;
    if (!s.sps->frame_mbs_only) {
      s.field_pic = f.flag("field_pic_flag");
      if (s.field_pic) bottom = f.flag("bottom_field_flag");
    }
    if (idr) f.ue("idr_pic_id");
    summary += ", frame_num " + numberText(frame_num);
    if (s.sps->pic_order_cnt_type == 0) {
      const uint64_t lsb = f.u("pic_order_cnt_lsb", int(s.sps->log2_max_pic_order_cnt_lsb));
      summary += ", POC " + numberText(lsb);
      if (s.pps->bottom_field_pic_order_in_frame_present && !s.field_pic) f.se("delta_pic_order_cnt_bottom");
    } else if (s.sps->pic_order_cnt_type == 1 && !s.sps->delta_pic_order_always_zero) {
      f.se("delta_pic_order_cnt", {}, 0);
      if (s.pps->bottom_field_pic_order_in_frame_present && !s.field_pic) f.se("delta_pic_order_cnt", {}, 1);
    }
    summary += pictureText(s.field_pic, bottom);
    if (s.pps->redundant_pic_cnt_present) f.ue("redundant_pic_cnt");
    if (s.kind == kB) f.flag("direct_spatial_mv_pred_flag");
    sliceHeaderTail(f, s);
    info.decoded = f.ok();
    if (!f.ok()) summary += ", broken";
  }
  if (f.ok() && s.pps->entropy_coding_mode && !f.byteAligned()) {
    const int bits = int(8 - (f.bitPos() & 7));
    f.text("cabac_alignment_one_bit", bits, numberText(f.peek(bits)), bits == 1 ? "1 bit" : numberText(uint64_t(bits)) + " bits");
  }
  if (f.ok()) f.rest("slice_data");
  return summary;
}

}  // namespace corvanta::codecs
