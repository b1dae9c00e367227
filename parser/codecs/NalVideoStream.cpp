#include "codecs/NalVideoStream.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "codecs/AnnexB.h"
#include "codecs/AvcConfiguration.h"
#include "codecs/HevcConfiguration.h"
#include "codecs/NalUnits.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

// A frame of a few units lists their kinds; a longer one is counted.
constexpr int64_t kListedNalUnits = 4;

// Offset of the byte whose low two bits are lengthSizeMinusOne in each record.
constexpr int64_t kAvcLengthSizeByte = 4;
constexpr int64_t kHevcLengthSizeByte = 21;

// A picture is as dependent as its most dependent slice.
std::string pictureTypeOf(int dependency) {
  static const char* const kTypes[] = {"I", "P", "B"};
  return kTypes[dependency];
}

// The rank of a picture type that pictureTypeOf gave, or -1.
int rankOf(const std::string& type) {
  if (type == "I") return 0;
  if (type == "P") return 1;
  if (type == "B") return 2;
  return -1;
}

std::string hevcIrapType(uint64_t nal_unit_type) {
  if (nal_unit_type >= 16 && nal_unit_type <= 18) return "BLA";
  if (nal_unit_type == 19 || nal_unit_type == 20) return "IDR";
  if (nal_unit_type == 21) return "CRA";
  return {};
}

}  // namespace

std::string NalVideoStream::configuration(FieldReader& f) {
  const int64_t at = is_hevc ? kHevcLengthSizeByte : kAvcLengthSizeByte;
  if (f.byteAligned() && f.bytesLeft() > at) {
    length_size = int(f.fileData()[f.bytePos() + at] & 3) + 1;
    if (length_size == 3) length_size = 4;  // not a legal size: the common one is the likeliest
  }
  changes.changed(true);
  return is_hevc ? hevcConfiguration(f, h265) : avcConfiguration(f, h264);
}

std::string NalVideoStream::nalUnit(FieldReader& unit, FramePicture& picture, int& rank) {
  SliceInfo slice;
  std::string summary;
  if (unit.byteAligned())
    changes.nalUnit(unit.fileData() + unit.bytePos(), unit.bytesLeft());
  else
    changes.changed(true);
  const int64_t active = activeSps();
  if (is_hevc) {
    const uint64_t type = unit.has(7) ? (unit.peek(7) & 0x3F) : 64;
    summary = hevcNalUnit(unit, h265, &slice);
    if (slice.random_access) picture.type = hevcIrapType(type);
  } else {
    summary = h264NalUnit(unit, h264, &slice);
    if (slice.random_access) picture.type = "IDR";
  }
  if (slice.random_access) picture.random_access = true;
  if (slice.typed) rank = std::max(rank, slice.dependency);
  if (activeSps() != active) changes.changed(false);
  return summary;
}

void NalVideoStream::decodeNalUnit(FieldReader& f, int64_t bytes, FramePicture& picture, FrameUnits& units) {
  std::string summary;
  if (bytes > 0) {
    // A reader of its own, since RBSP mode must end with the unit; it writes where `f` writes.
    FieldReader unit = f.sub(bytes);
    summary = nalUnit(unit, picture, units.rank);
    unit.writeSkippedBytes();
  }
  f.skipBits(bytes * 8);
  f.setUnitValue(summary);
  if (units.count < kListedNalUnits) units.kinds += (units.count ? " + " : "") + summary.substr(0, summary.find(':'));
  ++units.count;
}

void NalVideoStream::lengthPrefixedUnits(FieldReader& f, FramePicture& picture, FrameUnits& units) {
  while (f.ok() && f.bytesLeft() > 0) {
    if (f.bytesLeft() < length_size) {
      f.rest("truncated NAL unit length");
      break;
    }
    const int64_t start = f.bitPos();
    const auto length = static_cast<int64_t>(f.peek(length_size * 8));
    const int64_t available = f.bytesLeft() - length_size;
    f.openUnit("NAL unit", units.count);
    f.u("NALUnitLength", length_size * 8, length > available ? "runs past the frame" : "");
    decodeNalUnit(f, std::min(length, available), picture, units);
    f.closeUnit(start);
  }
}

void NalVideoStream::byteStreamUnit(FieldReader& f, const AnnexBNalUnit& nal, FramePicture& picture,
                                    FrameUnits& units) {
  const int64_t start = f.bitPos();
  f.openUnit("NAL unit", units.count);
  f.u("start_code", nal.start_code_bytes * 8,
      nal.start_code_bytes == 4 ? "zero_byte, start_code_prefix_one_3bytes" : "start_code_prefix_one_3bytes");
  decodeNalUnit(f, nal.end - nal.begin, picture, units);
  if (nal.next > nal.end) f.bytes("trailing_zero_8bits", nal.next - nal.end);
  f.closeUnit(start);
}

void NalVideoStream::startCodeUnits(FieldReader& f, FramePicture& picture, FrameUnits& units) {
  const uint8_t* data = f.fileData();
  const int64_t end = f.endByte();
  AnnexBNalUnit nal;
  if (!f.byteAligned() || !nextAnnexBNalUnit(data, f.bytePos(), end, nal)) nal.start = end;
  if (nal.start > f.bytePos()) {
    f.writer().addGarbage(f.bytePos() * 8, (nal.start - f.bytePos()) * 8);
    f.skipBits((nal.start - f.bytePos()) * 8);
  }
  while (nal.start < end && f.ok()) {
    byteStreamUnit(f, nal, picture, units);
    if (!nextAnnexBNalUnit(data, nal.next, end, nal)) break;
  }
}

std::string NalVideoStream::byteStreamNalUnit(FieldReader& f, const AnnexBNalUnit& nal, int64_t seq,
                                              FramePicture& picture) {
  FrameUnits units;
  units.count = seq;
  const int rank = rankOf(picture.type);
  units.rank = rank;
  byteStreamUnit(f, nal, picture, units);
  if (units.rank > rank && !picture.random_access) picture.type = pictureTypeOf(units.rank);
  return units.kinds;
}

size_t NalVideoStream::stateBytes() const {
  // A map node's own cost beside its value, about.
  constexpr size_t kNode = 48;
  size_t bytes = sizeof(*this) + changes.heapBytes();
  bytes += h264.sps.size() * (sizeof(H264Sps) + kNode) + h264.pps.size() * (sizeof(H264Pps) + kNode);
  bytes += h264.sei.sps.size() * (sizeof(SeiTiming) + kNode) + h265.sei.sps.size() * (sizeof(SeiTiming) + kNode);
  bytes += h265.vps.size() * (sizeof(HevcVps) + kNode) + h265.pps.size() * (sizeof(HevcPps) + kNode);
  for (const auto& sps : h265.sps)
    bytes += sizeof(HevcSps) + kNode + sps.second.short_term_rps.capacity() * sizeof(HevcShortTermRps) +
             sps.second.lt_used_by_curr_pic_sps.capacity() / 8;
  return bytes;
}

std::string NalVideoStream::frame(FieldReader& f, FramePicture& picture) {
  picture = {};
  FrameUnits units;
  if (start_codes)
    startCodeUnits(f, picture, units);
  else
    lengthPrefixedUnits(f, picture, units);
  if (picture.type.empty() && units.rank >= 0) picture.type = pictureTypeOf(units.rank);
  if (!picture.type.empty()) return picture.type;
  if (units.count <= kListedNalUnits) return units.kinds;
  return numberText(uint64_t(units.count)) + " NAL units";
}

}  // namespace corvanta::codecs
