#pragma once

#include "codecs/Av1FrameHeader.h"
#include "codecs/VideoFormat.h"

#include <array>
#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// What the summary and later OBUs (frame headers) need from a sequence header.
struct Av1SequenceHeader {
  uint64_t seq_profile = 0;
  bool still_picture = false, reduced_still_picture_header = false;
  bool timing_info_present = false, decoder_model_info_present = false, equal_picture_interval = false;
  uint64_t num_units_in_display_tick = 0, time_scale = 0, num_ticks_per_picture = 1;
  uint64_t buffer_removal_time_length = 0, frame_presentation_time_length = 0;
  uint64_t operating_points = 1;
  // Per operating point: which frame headers carry a buffer_removal_time for it.
  std::array<uint64_t, 32> operating_point_idc{};
  std::array<bool, 32> decoder_model_present_for_op{};
  uint64_t seq_level_idx_0 = 0, seq_tier_0 = 0;
  uint64_t frame_width_bits = 0, frame_height_bits = 0, max_frame_width = 0, max_frame_height = 0;
  bool frame_id_numbers_present = false;
  uint64_t delta_frame_id_length = 0, additional_frame_id_length = 0;
  bool use_128x128_superblock = false, enable_order_hint = false;
  bool enable_warped_motion = false, enable_ref_frame_mvs = false;
  uint64_t order_hint_bits = 0;
  uint64_t seq_force_screen_content_tools = 2, seq_force_integer_mv = 2;  // 2: chosen per frame
  bool enable_superres = false, enable_cdef = false, enable_restoration = false;
  uint64_t bit_depth = 8;
  bool mono_chrome = false;
  uint64_t color_primaries = 2, transfer_characteristics = 2, matrix_coefficients = 2;  // unspecified
  bool color_range = false, subsampling_x = true, subsampling_y = true;
  bool separate_uv_delta_q = false, film_grain_params_present = false;
};

// Carried from OBU to OBU of one stream.
struct Av1Context {
  bool has_sequence_header = false;
  Av1SequenceHeader sequence_header;
  // Of the first frame header since the caller last cleared them: a temporal unit's picture.
  std::string first_frame_type;  // "KEY", "INTER", "INTRA_ONLY", "SWITCH"
  bool first_frame_random_access = false;
  // The reference slots and the tile layout that frame headers leave for the next ones.
  Av1FrameState frames;
};

std::string av1ProfileName(uint64_t seq_profile);
std::string av1LevelText(uint64_t seq_level_idx);  // 0 -> "2.0", 31 -> "maximum parameters"
VideoFormat av1VideoFormat(const Av1SequenceHeader& header);  // the largest frame size

// The OBUs from the reader's position to its end (configOBUs of av1C, a temporal unit): each as a
// unit with its header and size; a sequence header decoded field by field, frame headers up to
// their last field and tile group headers after them, metadata of the HDR and ITU-T T.35 kinds
// decoded, other types' payloads opaque. Returns the summary of
// the last sequence header, or empty.
std::string av1Obus(FieldReader& f, Av1Context& context);

}  // namespace corvanta::codecs
