#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::codecs {

struct Av1SequenceHeader;

// The segment features of a frame (8 segments, 8 features each), which a later frame may take
// over instead of sending its own.
struct Av1SegmentFeatures {
  std::array<std::array<bool, 8>, 8> enabled{};
  std::array<std::array<int16_t, 8>, 8> data{};
};

// What a later frame header needs from the frame kept in one of the eight reference slots.
struct Av1ReferenceFrame {
  bool valid = false;           // its size and order hint are known
  bool segments_known = false;  // and its segment features
  uint64_t frame_type = 0;
  uint64_t order_hint = 0;
  uint64_t upscaled_width = 0, frame_width = 0, frame_height = 0, render_width = 0, render_height = 0;
  Av1SegmentFeatures segments;
};

// The decoding state that frame headers carry from one to the next within a stream.
struct Av1FrameState {
  std::array<Av1ReferenceFrame, 8> refs;
  // Of the last frame header, for the tile group OBUs that follow it.
  bool has_frame_header = false;
  uint64_t tile_cols_log2 = 0, tile_rows_log2 = 0, tile_count = 1;
  // Of the OBU being read (its extension header), for buffer_removal_time.
  uint64_t temporal_id = 0, spatial_id = 0;
};

// What the OBU's summary and the picture type need from one frame header.
struct Av1FrameFacts {
  bool complete = false;  // decoded to its last field; otherwise a note stands where it stopped
  bool show_existing_frame = false;
  uint64_t frame_type = 0;
  bool show_frame = true;
  uint64_t width = 0, height = 0, base_q_idx = 0;
  std::string note;  // why the decoding stopped early, when it did for want of earlier frames
};

// uncompressed_header() from the reader's position: every field, its groups (frame size, tile
// info, quantization, segmentation, loop filter, CDEF, loop restoration) as units. A field that
// needs what the stream has not shown (a reference slot never filled) ends the decoding with a
// note over what is left of the OBU, so nothing is guessed. On success the reference slots are
// updated as refresh_frame_flags says.
Av1FrameFacts av1UncompressedHeader(FieldReader& f, const Av1SequenceHeader& seq, Av1FrameState& state);

std::string av1FrameTypeName(uint64_t frame_type);  // "KEY_FRAME", ...

// byte_alignment(): the zero bits up to the next byte, as one field.
void av1ByteAlignment(FieldReader& f);

// The tile group header at the reader's position (tile_start_and_end_present_flag, tg_start,
// tg_end, the alignment) when the frame has several tiles, then the tile data as one leaf. Needs the tile layout of the frame
// header before it.
void av1TileGroup(FieldReader& f, const Av1FrameState& state);

}  // namespace corvanta::codecs
