#pragma once

#include "codecs/SeiMessages.h"
#include "codecs/VideoFormat.h"

#include <cstdint>
#include <map>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

struct SliceInfo;

// What later NAL units of the same stream need from an SPS (the PPS, slice headers) and what its
// summary shows.
struct H264Sps {
  uint64_t profile_idc = 0, constraint_flags = 0, level_idc = 0;  // constraint_set0_flag in bit 0
  uint64_t chroma_format_idc = 1;
  bool separate_colour_plane = false;
  uint64_t bit_depth_luma = 8, bit_depth_chroma = 8;
  uint64_t log2_max_frame_num = 4;
  uint64_t pic_order_cnt_type = 0, log2_max_pic_order_cnt_lsb = 4;
  bool delta_pic_order_always_zero = false;
  uint64_t pic_width_in_mbs = 0, pic_height_in_map_units = 0;
  bool frame_mbs_only = true;
  uint64_t crop_left = 0, crop_right = 0, crop_top = 0, crop_bottom = 0;
  uint64_t num_units_in_tick = 0, time_scale = 0;  // 0 without VUI timing
  SeiTiming sei_timing;  // what buffering period and pic timing SEI need
};

// What slice headers need from a PPS.
struct H264Pps {
  uint64_t seq_parameter_set_id = 0;
  bool entropy_coding_mode = false, bottom_field_pic_order_in_frame_present = false;
  uint64_t num_slice_groups = 1, slice_group_map_type = 0, slice_group_change_rate = 1;
  uint64_t num_ref_idx_l0_default_active = 1, num_ref_idx_l1_default_active = 1;
  bool weighted_pred = false;
  uint64_t weighted_bipred_idc = 0;
  bool deblocking_filter_control_present = false, redundant_pic_cnt_present = false;
  bool transform_8x8_mode = false;
};

// The parameter sets seen so far in one stream, by id, carried from NAL unit to NAL unit
// (ids are at most 31 and 255, so the maps stay small).
struct H264Context {
  std::map<uint64_t, H264Sps> sps;
  std::map<uint64_t, H264Pps> pps;
  SeiTimingContext sei;  // the SPSs' HRD facts, and which SPS is active
};

// profile_idc as named in Annex A ("High"), without the refinements of the constraint flags.
std::string h264ProfileName(uint64_t profile_idc);
// level_idc as "3.1".
std::string h264LevelText(uint64_t level_idc);
// Coded and displayed frame size, chroma format, bit depth and frame rate of an SPS.
VideoFormat h264VideoFormat(const H264Sps& sps);

// One H.264 NAL unit that `f` covers exactly: its header, then SPS, PPS and SPS extension field by
// field (the SPS part of a subset SPS too); other types' payloads as one opaque field. Decoded
// parameter sets go into `context`. Returns the unit's summary ("SPS 0: High@3.0, 4:2:0 8-bit,
// 1920x1080 (coded 1920x1088), 25 fps").
// Slices (types 1 and 5) get their header decoded and tell `slice` what the frame's summary
// needs; SEI messages and access unit delimiters are decoded too.
std::string h264NalUnit(FieldReader& f, H264Context& context, SliceInfo* slice = nullptr);

}  // namespace corvanta::codecs
