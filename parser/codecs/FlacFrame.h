#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

// What a frame header may leave to STREAMINFO (0: not known).
struct FlacStreamParameters {
  uint32_t sample_rate = 0;
  int bits_per_sample = 0;
  uint32_t min_block_size = 0, max_block_size = 0;
  uint32_t max_frame_size = 0;
};

// The parameters from the 34-byte body of a STREAMINFO block; all 0 when it is shorter.
FlacStreamParameters flacStreamParameters(const uint8_t* body, int64_t size);

// Where one subframe's parts lie, in bits from the start of the frame.
struct FlacSubframeLayout {
  int64_t begin = 0;
  int type_code = 0;     // the 6-bit subframe type
  int order = 0;         // predictor order of FIXED and LPC
  int wasted = 0;        // wasted bits per sample
  int sample_bits = 0;   // bits of each sample after the wasted ones are taken off
  int precision = 0;     // LPC coefficient precision in bits
  int64_t residual = -1; // where the residual coding method stands, or -1
  int64_t end = 0;
};

// One frame as measured from its bytes, without writing anything: the header (its length and
// values), and when the subframes could be walked, each subframe and the frame's end. Frames are
// found by this measure and written by flacFrame, so that any container walks them the same way.
struct FlacFrameLayout {
  bool header_ok = false;      // sync code, reserved bits, valid codes and CRC-8 all check
  bool crc8_ok = false;
  int64_t header_bytes = 0;    // with its CRC-8
  bool variable_block_size = false;
  uint32_t block_size = 0;
  uint32_t sample_rate = 0;    // 0: not known
  int assignment = 0;          // the 4-bit channel assignment
  int channels = 0;
  int bits_per_sample = 0;     // 0: not known
  uint64_t number = 0;         // frame number (fixed block size) or first sample number
  bool subframes_ok = false;   // every subframe walked inside the bytes
  int subframe_count = 0;
  std::array<FlacSubframeLayout, 8> subframes{};
  int64_t end_bytes = 0;       // the frame's length with its CRC-16, when subframes_ok
};

// True when a frame header starts at `p` (the 14-bit sync code and a 0 reserved bit). Cheap: the
// first test of a search for frames.
bool flacFrameSyncAt(const uint8_t* p, int64_t room);

// Measures the frame that starts at `p` within `room` bytes. Subframes are walked when asked,
// and only when the header checks and its sample size is known.
FlacFrameLayout measureFlacFrame(const uint8_t* p, int64_t room, const FlacStreamParameters& stream,
                                 bool walk_subframes = true);

// Writes the frame that `layout` measured at the reader's position, covering `frame_bytes`
// bytes: the frame header's fields, each subframe's header with its warm-up samples,
// coefficients and residual, the padding and the CRC-16, checked. A frame `cut` short by the end
// of its bytes has no CRC-16 to show. Returns the frame's summary ("576 samples, MID_SIDE").
std::string flacFrame(FieldReader& f, const FlacFrameLayout& layout, int64_t frame_bytes, bool cut = false);

// The readable name of a channel assignment: "INDEPENDENT", "LEFT_SIDE", "SIDE_RIGHT", "MID_SIDE".
const char* flacChannelAssignmentName(int assignment);

}  // namespace corvanta::codecs
