#include "codecs/AnnexB.h"

namespace corvanta::codecs {

namespace {

constexpr int kStartCodePrefixBytes = 3;

// H.264 NAL unit types (Table 7-1) that matter to access units.
bool isH264Slice(int type) { return type >= 1 && type <= 5; }
// SEI, SPS, PPS, access unit delimiter, and 14 to 18 (prefix NAL unit, subset SPS, depth
// parameter set, reserved): the first of these after a picture begins the next access unit.
bool beginsH264AccessUnit(int type) { return (type >= 6 && type <= 9) || (type >= 14 && type <= 18); }

// H.265 (Table 7-1): slices are types 0 to 31; VPS, SPS, PPS, access unit delimiter, prefix SEI,
// 41 to 44 and 48 to 55 begin the next access unit.
bool isHevcSlice(int type) { return type < 32; }
bool beginsHevcAccessUnit(int type) {
  return (type >= 32 && type <= 35) || type == 39 || (type >= 41 && type <= 44) || (type >= 48 && type <= 55);
}

}  // namespace

int64_t findStartCodePrefix(const uint8_t* data, int64_t from, int64_t end) {
  int64_t i = from;
  while (i + kStartCodePrefixBytes <= end) {
    const uint8_t third = data[i + 2];
    if (third > 1) {
      i += 3;  // none of the three windows that hold this byte before their last can match
    } else if (third == 1 && data[i + 1] == 0 && data[i] == 0) {
      return i;
    } else {
      ++i;
    }
  }
  return end;
}

bool nextAnnexBNalUnit(const uint8_t* data, int64_t from, int64_t end, AnnexBNalUnit& unit) {
  const int64_t prefix = findStartCodePrefix(data, from, end);
  if (prefix >= end) return false;
  unit.start = prefix > from && data[prefix - 1] == 0 ? prefix - 1 : prefix;
  unit.start_code_bytes = int(prefix - unit.start) + kStartCodePrefixBytes;
  unit.begin = prefix + kStartCodePrefixBytes;
  const int64_t following = findStartCodePrefix(data, unit.begin, end);
  unit.next = following < end && following > unit.begin && data[following - 1] == 0 ? following - 1 : following;
  unit.end = unit.next;
  while (unit.end > unit.begin && data[unit.end - 1] == 0) --unit.end;
  return true;
}

bool AccessUnitSplitter::beginsAccessUnit(const uint8_t* nal, int64_t size) {
  if (size < 1) return false;
  bool slice = false, first_slice = false, starter = false;
  if (is_hevc) {
    if (size < 2) return false;
    const int type = (nal[0] >> 1) & 0x3F;
    const int layer = ((nal[0] & 1) << 5) | (nal[1] >> 3);
    if (layer != 0) return false;  // other layers belong to the base layer's access unit
    slice = isHevcSlice(type);
    first_slice = slice && size > 2 && (nal[2] & 0x80);
    starter = beginsHevcAccessUnit(type);
  } else {
    const int type = nal[0] & 0x1F;
    slice = isH264Slice(type);
    // first_mb_in_slice is ue(v): 0 is the single bit 1.
    first_slice = slice && size > 1 && (nal[1] & 0x80);
    starter = beginsH264AccessUnit(type);
  }
  const bool begins = picture_seen && (starter || first_slice);
  if (begins) picture_seen = false;
  if (slice) picture_seen = true;
  return begins;
}

ByteStreamCodec byteStreamCodec(const uint8_t* data, int64_t size) {
  int64_t at = 0;
  while (at < size && data[at] == 0) ++at;
  if (at < 2 || at + 2 >= size || data[at] != 1) return ByteStreamCodec::Other;
  const uint8_t header = data[at + 1], next = data[at + 2];
  if (header & 0x80) return ByteStreamCodec::Other;
  const int h264_type = header & 0x1F;
  if (h264_type == 9 || h264_type == 7) return ByteStreamCodec::H264;
  const int hevc_type = (header >> 1) & 0x3F;
  const bool base_layer = (header & 1) == 0 && (next >> 3) == 0 && (next & 7) != 0;
  if (base_layer && (hevc_type == 35 || hevc_type == 32)) return ByteStreamCodec::Hevc;
  return ByteStreamCodec::Other;
}

bool plausibleH264NalHeader(uint8_t byte) {
  const int type = byte & 0x1F;
  return !(byte & 0x80) && type >= 1 && type <= 21 && type != 16 && type != 17 && type != 18;
}

bool plausibleHevcNalHeader(uint8_t byte, uint8_t next) {
  const int type = (byte >> 1) & 0x3F;
  const int temporal_id_plus1 = next & 7;
  return !(byte & 0x80) && temporal_id_plus1 != 0 && type <= 40;
}

}  // namespace corvanta::codecs
