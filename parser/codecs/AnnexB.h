#pragma once

#include <cstdint>

// The byte stream format of H.264 and H.265 (Annex B of both): NAL units each after a start
// code, as transport streams, program streams and raw .264/.265 files carry them.
namespace corvanta::codecs {

// One NAL unit of a byte stream and the bytes around it.
struct AnnexBNalUnit {
  int64_t start = 0;           // first byte of the start code (its zero_byte when it has one)
  int start_code_bytes = 0;    // 3, or 4 with the zero_byte
  int64_t begin = 0, end = 0;  // the NAL unit itself
  int64_t next = 0;            // after its trailing_zero_8bits: where the next start code begins
};

// Position of the next start_code_prefix_one_3bytes (0x000001) in [from, end), or end.
int64_t findStartCodePrefix(const uint8_t* data, int64_t from, int64_t end);

// The first NAL unit whose start code lies in [from, end); false when there is none. The unit
// runs to the last non-zero byte before the next start code (or `end`).
bool nextAnnexBNalUnit(const uint8_t* data, int64_t from, int64_t end, AnnexBNalUnit& unit);

// Groups NAL units into access units (H.264 7.4.1.2.3, H.265 7.4.2.4.4): fed every NAL unit of
// the stream in order, it says which one begins a new access unit. The first slice of a picture
// is told by first_mb_in_slice == 0 (H.264) or first_slice_segment_in_pic_flag (H.265).
class AccessUnitSplitter {
 public:
  explicit AccessUnitSplitter(bool hevc) : is_hevc(hevc) {}
  // True when the NAL unit at [nal, nal + size) begins an access unit after one that already
  // holds a picture.
  bool beginsAccessUnit(const uint8_t* nal, int64_t size);

 private:
  bool is_hevc;
  bool picture_seen = false;  // the current access unit holds a slice
};

// The codec of a byte stream that starts at `data` (after zero bytes) with a start code and an
// access unit delimiter or the first parameter set: SPS for H.264, VPS for H.265.
enum class ByteStreamCodec { Other, H264, Hevc };
ByteStreamCodec byteStreamCodec(const uint8_t* data, int64_t size);

// A plausible H.264 (or H.265) NAL unit header in `byte` (and `next` for H.265's second byte).
bool plausibleH264NalHeader(uint8_t byte);
bool plausibleHevcNalHeader(uint8_t byte, uint8_t next);

}  // namespace corvanta::codecs
