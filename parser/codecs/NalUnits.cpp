#include "codecs/NalUnits.h"

#include "ElementWriter.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/ColourCodePoints.h"

namespace corvanta::codecs {

namespace {

const ValueName kAspectRatios[] = {
    {0, "unspecified"}, {1, "1:1"},   {2, "12:11"},  {3, "10:11"},  {4, "16:11"}, {5, "40:33"},
    {6, "24:11"},       {7, "20:11"}, {8, "32:11"},  {9, "80:33"},  {10, "18:11"}, {11, "15:11"},
    {12, "64:33"},      {13, "160:99"}, {14, "4:3"}, {15, "3:2"},   {16, "2:1"},   {255, "Extended_SAR"},
};

const ValueName kVideoFormats[] = {{0, "component"}, {1, "PAL"}, {2, "NTSC"}, {3, "SECAM"}, {4, "MAC"},
                                   {5, "unspecified"}};

constexpr uint64_t kExtendedSar = 255;

}  // namespace

void lengthPrefixedNalUnit(FieldReader& f, std::string_view length_name, std::string_view unit_name, int64_t seq,
                           const NalUnitDecoder& decode) {
  const uint64_t length = f.u(length_name, 16, {}, seq);
  if (!f.ok()) return;
  if (int64_t(length) > f.bytesLeft()) {
    f.fail();
    return;
  }
  const int64_t begin = f.bytePos();
  ElementWriter& w = f.writer();
  w.openUnit(unit_name, begin * 8, int64_t(length) * 8, {}, {}, seq);
  FieldReader unit(w, f.fileData(), begin, begin + int64_t(length));
  const std::string summary = decode(unit);
  unit.writeSkippedBytes();
  w.setUnitValue(summary);
  w.closeUnit();
  f.skipBits(int64_t(length) * 8);
}

void rbspTrailingBits(FieldReader& f) {
  if (!f.ok()) return;
  if (f.moreRbspData() || f.peek(1) != 1) {
    f.fail();
    return;
  }
  f.u("rbsp_stop_one_bit", 1);
  if (!f.byteAligned()) f.u("rbsp_alignment_zero_bits", int(8 - (f.bitPos() & 7)));
  f.rest("trailing_zero_8bits");
}

void rbspOpaqueData(FieldReader& f, std::string_view name) {
  const int64_t bits = f.rbspDataBitsLeft();
  if (bits > 0) f.text(name, bits, numberText(uint64_t(bits)) + " bits", "not decoded");
}

bool endNalUnit(FieldReader& f) {
  if (f.ok()) return true;
  f.recover();
  f.rest("rbsp_rest", "not decoded: the data ends early or a value above is out of range");
  return false;
}

uint64_t ueMax(FieldReader& f, std::string_view name, uint64_t max, int64_t seq) {
  const uint64_t value = f.ueh(
      name, [max](uint64_t v) { return v > max ? "out of range: at most " + numberText(max) : std::string(); }, seq);
  if (value > max) f.fail();
  return value;
}

uint64_t uMax(FieldReader& f, std::string_view name, int bits, uint64_t max, int64_t seq) {
  const uint64_t value = f.uh(
      name, bits, [max](uint64_t v) { return v > max ? "out of range: at most " + numberText(max) : std::string(); },
      seq);
  if (value > max) f.fail();
  return value;
}

std::string scaledValueText(uint64_t value_minus1, int shift, std::string_view unit) {
  // value_minus1 < 2^32 and shift <= 31: the product fits in 64 bits.
  return numberText((value_minus1 + 1) << shift) + " " + std::string(unit);
}

void vuiPictureFields(FieldReader& f) {
  if (f.flag("aspect_ratio_info_present_flag")) {
    const uint64_t idc = f.uh("aspect_ratio_idc", 8, [](uint64_t v) { return nameText(kAspectRatios, v); });
    if (idc == kExtendedSar) {
      f.u("sar_width", 16);
      f.u("sar_height", 16);
    }
  }
  if (f.flag("overscan_info_present_flag")) f.flag("overscan_appropriate_flag");
  if (f.flag("video_signal_type_present_flag")) {
    f.uh("video_format", 3, [](uint64_t v) { return nameText(kVideoFormats, v); });
    f.uh("video_full_range_flag", 1, [](uint64_t v) { return std::string(v ? "full range" : "limited range"); });
    if (f.flag("colour_description_present_flag")) {
      f.uh("colour_primaries", 8, colourPrimariesName);
      f.uh("transfer_characteristics", 8, transferCharacteristicsName);
      f.uh("matrix_coefficients", 8, matrixCoefficientsName);
    }
  }
  if (f.flag("chroma_loc_info_present_flag")) {
    f.ue("chroma_sample_loc_type_top_field");
    f.ue("chroma_sample_loc_type_bottom_field");
  }
}

}  // namespace corvanta::codecs
