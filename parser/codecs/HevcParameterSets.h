#pragma once

#include "codecs/SeiMessages.h"
#include "codecs/VideoFormat.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

struct SliceInfo;

// One short-term reference picture set (7.4.8): the POC deltas of the pictures before the
// current one (S0, closest first), then of those after it (S1), each used by the current picture
// or only kept for later ones.
struct HevcShortTermRps {
  static constexpr int kMaxPictures = 16;  // the largest decoded picture buffer of any level
  int num_negative = 0, num_positive = 0;
  std::array<int64_t, kMaxPictures> delta_poc{};  // S0 in [0, num_negative), then S1
  std::array<bool, kMaxPictures> used{};
  int count() const { return num_negative + num_positive; }
};

// What the summary and later NAL units (slice headers) need from a VPS, an SPS and a PPS.
struct HevcVps {
  uint64_t max_sub_layers = 1;
  uint64_t num_units_in_tick = 0, time_scale = 0;  // 0 without timing information
};

struct HevcSps {
  uint64_t video_parameter_set_id = 0, max_sub_layers = 1;
  uint64_t profile_idc = 0, tier = 0, level_idc = 0;
  uint32_t profile_compatibility = 0;  // general_profile_compatibility_flag[0] in the top bit
  uint64_t chroma_format_idc = 1;
  bool separate_colour_plane = false;
  uint64_t width = 0, height = 0;  // pic_width/height_in_luma_samples
  uint64_t conf_left = 0, conf_right = 0, conf_top = 0, conf_bottom = 0;
  uint64_t bit_depth_luma = 8, bit_depth_chroma = 8;
  uint64_t log2_max_pic_order_cnt_lsb = 4;
  uint64_t log2_min_luma_coding_block_size = 3, log2_ctb_size = 4;
  bool scaling_list_enabled = false, amp_enabled = false, sample_adaptive_offset_enabled = false;
  bool pcm_enabled = false;
  uint64_t pcm_bit_depth_luma = 0, pcm_bit_depth_chroma = 0;
  std::vector<HevcShortTermRps> short_term_rps;
  bool long_term_ref_pics_present = false;
  uint64_t num_long_term_ref_pics_sps = 0;
  std::vector<bool> lt_used_by_curr_pic_sps;
  bool temporal_mvp_enabled = false, strong_intra_smoothing_enabled = false;
  uint64_t num_units_in_tick = 0, time_scale = 0;  // VUI timing; 0 when absent
  bool other_extensions = false;  // multilayer, 3D, SCC or later: slice headers not decoded
  SeiTiming sei_timing;  // what buffering period and pic timing SEI need
};

struct HevcPps {
  uint64_t seq_parameter_set_id = 0;
  bool dependent_slice_segments_enabled = false, output_flag_present = false;
  uint64_t num_extra_slice_header_bits = 0;
  bool cabac_init_present = false;
  uint64_t num_ref_idx_l0_default_active = 1, num_ref_idx_l1_default_active = 1;
  bool weighted_pred = false, weighted_bipred = false;
  bool tiles_enabled = false, entropy_coding_sync_enabled = false;
  bool loop_filter_across_slices_enabled = false;
  bool deblocking_filter_override_enabled = false, deblocking_filter_disabled = false;
  bool lists_modification_present = false, slice_segment_header_extension_present = false;
  bool slice_chroma_qp_offsets_present = false, chroma_qp_offset_list_enabled = false;
  bool other_extensions = false;  // multilayer, 3D, SCC or later: slice headers not decoded
};

// The parameter sets seen so far in one stream, by id (at most 15, 15 and 63).
struct HevcContext {
  std::map<uint64_t, HevcVps> vps;
  std::map<uint64_t, HevcSps> sps;
  std::map<uint64_t, HevcPps> pps;
  SeiTimingContext sei;  // the SPSs' HRD facts, and which SPS is active
};

std::string hevcProfileName(uint64_t profile_idc);
std::string hevcLevelText(uint64_t level_idc);  // general_level_idc 93 -> "3.1"
std::string hevcNalUnitTypeName(uint64_t nal_unit_type);
VideoFormat hevcVideoFormat(const HevcSps& sps);

// st_ref_pic_set(idx) (7.3.7) as a unit. `sets` holds at least the sets before `idx`; `num_sets`
// is num_short_term_ref_pic_sets, so idx == num_sets is the set of a slice header. Fills `rps`;
// false when broken (the reader has failed).
bool hevcShortTermRefPicSet(FieldReader& f, size_t idx, size_t num_sets, const std::vector<HevcShortTermRps>& sets,
                            HevcShortTermRps& rps);

// One H.265 NAL unit that `f` covers exactly: its header, then VPS, SPS and PPS field by field
// (their extensions as one opaque field each); other types' payloads as one opaque field.
// Decoded parameter sets go into `context`. Returns the unit's summary.
// Slice segments of the base layer get their header decoded and tell `slice` what the frame's
// summary needs; SEI messages and access unit delimiters are decoded too.
std::string hevcNalUnit(FieldReader& f, HevcContext& context, SliceInfo* slice = nullptr);

}  // namespace corvanta::codecs
