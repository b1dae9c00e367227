#include "codecs/NalVideoStream.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
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
  return is_hevc ? hevcConfiguration(f, h265) : avcConfiguration(f, h264);
}

std::string NalVideoStream::nalUnit(FieldReader& unit, FramePicture& picture, int& rank) {
  SliceInfo slice;
  std::string summary;
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
  return summary;
}

std::string NalVideoStream::frame(FieldReader& f, FramePicture& picture) {
  picture = {};
  ElementWriter& w = f.writer();
  int64_t count = 0;
  std::string kinds;
  int rank = -1;  // of the most dependent slice so far
  while (f.ok() && f.bytesLeft() > 0) {
    if (f.bytesLeft() < length_size) {
      f.rest("truncated NAL unit length");
      break;
    }
    const int64_t begin = f.bytePos();
    const auto length = static_cast<int64_t>(f.peek(length_size * 8));
    const int64_t available = f.bytesLeft() - length_size;
    const int64_t body = std::min(length, available);
    w.openUnit("NAL unit", begin * 8, (length_size + body) * 8, {}, {}, count);
    f.u("NALUnitLength", length_size * 8, length > available ? "runs past the frame" : "");
    std::string summary;
    if (body > 0) {
      FieldReader unit(w, f.fileData(), f.bytePos(), f.bytePos() + body);
      summary = nalUnit(unit, picture, rank);
      f.skipBits(body * 8);
    }
    w.setUnitValue(summary);
    w.closeUnit();
    if (count < kListedNalUnits) kinds += (count ? " + " : "") + summary.substr(0, summary.find(':'));
    ++count;
  }
  if (picture.type.empty() && rank >= 0) picture.type = pictureTypeOf(rank);
  if (!picture.type.empty()) return picture.type;
  if (count <= kListedNalUnits) return kinds;
  return numberText(uint64_t(count)) + " NAL units";
}

}  // namespace corvanta::codecs
