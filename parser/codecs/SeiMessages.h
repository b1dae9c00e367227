#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

enum class SeiSyntax { H264, Hevc };

// The lengths of the delay fields of one HRD (NAL or VCL), as its hrd_parameters() give them.
struct SeiHrd {
  bool present = false;
  uint64_t cpb_count = 1;  // cpb_cnt_minus1 + 1 (H.265: of the highest sub-layer)
  int initial_cpb_removal_delay_length = 24, cpb_removal_delay_length = 24, dpb_output_delay_length = 24;
  int time_offset_length = 24;  // H.264 only
};

// What buffering period and pic timing messages need from an SPS: its VUI's HRD parameters
// and whether pictures say their structure (H.264 pic_struct_present_flag, H.265
// frame_field_info_present_flag).
struct SeiTiming {
  bool vui = false;  // the SPS has VUI parameters, read to their end
  SeiHrd nal, vcl;
  bool pic_struct_present = false;
  // H.265 decoding-unit parameters.
  bool sub_pic_hrd_params = false, sub_pic_cpb_params_in_pic_timing_sei = false;
  int du_cpb_removal_delay_increment_length = 0, dpb_output_delay_du_length = 0;
};

// The SPSs of one stream as the timing messages need them, carried from NAL unit to NAL unit.
struct SeiTimingContext {
  std::map<uint64_t, SeiTiming> sps;  // by seq_parameter_set_id
  // Activated by the last buffering period or slice, -1 when none yet. Slice headers, which
  // only read the rest of the context, set it too.
  mutable int64_t active_sps = -1;
  // The active SPS, or the only one seen when none was activated yet; null otherwise.
  const SeiTiming* active() const;
};

// sei_rbsp() of H.264 (7.3.2.3, Annex D) and H.265 (7.3.5, Annex D), after the NAL unit header:
// every sei_message as a unit with its payloadType named and its payloadSize, the payloads that
// carry what people look for decoded (user data unregistered with its UUID and text, ITU-T T.35
// with its country and provider codes and caption data counted, recovery point, mastering display
// colour volume, content light level, alternative transfer characteristics), others as one field.
// Buffering period and pic timing are decoded when `timing` knows the SPS that gives the lengths
// of their fields (a buffering period names it and activates it; pic timing follows the active
// one), else they stay one field with a note.
// Returns the summary ("SEI: user data unregistered, recovery point").
std::string seiRbsp(FieldReader& f, SeiSyntax syntax, SeiTimingContext* timing = nullptr);

}  // namespace corvanta::codecs
