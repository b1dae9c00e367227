#include "codecs/Mpeg2Video.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/ColourCodePoints.h"

#include <cstdio>
#include <cstring>

namespace corvanta::codecs {

namespace {

constexpr uint8_t kPicture = 0x00, kLastSlice = 0xAF, kUserData = 0xB2, kSequenceHeader = 0xB3,
                  kSequenceError = 0xB4, kExtension = 0xB5, kSequenceEnd = 0xB7, kGroup = 0xB8;

bool isSlice(uint8_t code) { return code >= 0x01 && code <= kLastSlice; }

const ValueName kStartCodes[] = {
    {kPicture, "picture_start_code"},   {kUserData, "user_data_start_code"},
    {kSequenceHeader, "sequence_header_code"}, {kSequenceError, "sequence_error_code"},
    {kExtension, "extension_start_code"}, {kSequenceEnd, "sequence_end_code"},
    {kGroup, "group_start_code"},
};

const ValueName kUnitNames[] = {
    {kPicture, "picture_header"},   {kUserData, "user_data"},        {kSequenceHeader, "sequence_header"},
    {kSequenceError, "sequence_error"}, {kSequenceEnd, "sequence_end"}, {kGroup, "group_of_pictures_header"},
};

const ValueName kExtensionNames[] = {
    {1, "sequence_extension"},          {2, "sequence_display_extension"},
    {3, "quant_matrix_extension"},      {4, "copyright_extension"},
    {5, "sequence_scalable_extension"}, {7, "picture_display_extension"},
    {8, "picture_coding_extension"},    {9, "picture_spatial_scalable_extension"},
    {10, "picture_temporal_scalable_extension"},
};

const ValueName kAspectRatios[] = {{1, "square samples"}, {2, "4:3 display"}, {3, "16:9 display"}, {4, "2.21:1 display"}};
// MPEG-1 gives the shape of a sample (height / width) instead.
const ValueName kPelAspectRatios[] = {
    {1, "1.0 (square)"}, {2, "0.6735"}, {3, "0.7031 (16:9, 625 lines)"}, {4, "0.7615"}, {5, "0.8055"},
    {6, "0.8437 (16:9, 525 lines)"}, {7, "0.8935"}, {8, "0.9157 (702x575 at 4:3)"}, {9, "0.9815"},
    {10, "1.0255"}, {11, "1.0695"}, {12, "1.0950 (711x487 at 4:3)"}, {13, "1.1575"}, {14, "1.2015"},
};
const ValueName kFrameRates[] = {{1, "23.976 fps"}, {2, "24 fps"}, {3, "25 fps"},   {4, "29.97 fps"},
                                 {5, "30 fps"},     {6, "50 fps"}, {7, "59.94 fps"}, {8, "60 fps"}};
const ValueName kCodingTypes[] = {{1, "I"}, {2, "P"}, {3, "B"}, {4, "D"}};
const ValueName kProfiles[] = {{1, "High"}, {2, "Spatially Scalable"}, {3, "SNR Scalable"}, {4, "Main"}, {5, "Simple"}};
const ValueName kLevels[] = {{4, "High"}, {6, "High 1440"}, {8, "Main"}, {10, "Low"}};
const ValueName kChromaFormats[] = {{1, "4:2:0"}, {2, "4:2:2"}, {3, "4:4:4"}};
const ValueName kVideoFormats[] = {{0, "component"}, {1, "PAL"}, {2, "NTSC"}, {3, "SECAM"}, {4, "MAC"}, {5, "unspecified"}};
const ValueName kPictureStructures[] = {{1, "top field"}, {2, "bottom field"}, {3, "frame"}};
const ValueName kDcPrecisions[] = {{0, "8 bits"}, {1, "9 bits"}, {2, "10 bits"}, {3, "11 bits"}};

void markerBit(FieldReader& f) {
  f.u("marker_bit", 1, f.has(1) && f.peek(1) == 1 ? std::string_view() : std::string_view("should be 1"));
}

std::string named(const char* name) { return name ? name : "reserved"; }

void startCode(FieldReader& f) {
  if (!f.need(32)) return;
  f.text("start_code_prefix", 24, hexText(f.peek(24), 6));
  const uint8_t code = uint8_t(f.peek(8));
  f.text("start_code", 8, hexText(code, 2), mpegVideoStartCodeName(code));
}

// A loaded matrix follows its one-bit flag, so its 64 bytes are seldom byte-aligned.
void quantiserMatrix(FieldReader& f, const char* load_name, const char* matrix_name) {
  if (!f.flag(load_name, f.has(1) && f.peek(1) ? "loaded" : "default")) return;
  if (!f.need(64 * 8)) return;
  FieldReader values = f;
  std::string text;
  for (int i = 0; i < 64; ++i) {
    if (i) text += ' ';
    appendNumber(text, values.read(8));
  }
  f.text(matrix_name, 64 * 8, text, "64 values in zigzag scan order");
}

std::string sequenceHeader(FieldReader& f, const MpegVideoContext& context) {
  const uint64_t width = f.u("horizontal_size_value", 12);
  const uint64_t height = f.u("vertical_size_value", 12);
  const uint64_t aspect = f.uh("aspect_ratio_information", 4, [&](uint64_t v) {
    return named(context.mpeg2 ? nameOf(kAspectRatios, v) : nameOf(kPelAspectRatios, v));
  });
  const uint64_t rate = f.uh("frame_rate_code", 4, [](uint64_t v) { return named(nameOf(kFrameRates, v)); });
  f.uh("bit_rate_value", 18, [&](uint64_t v) {
    return v == 0x3FFFF && !context.mpeg2 ? std::string("variable") : numberText(v * 400) + " bit/s";
  });
  markerBit(f);
  f.uh("vbv_buffer_size_value", 10, [](uint64_t v) { return numberText(v * 16 * 1024) + " bits"; });
  f.u("constrained_parameters_flag", 1);
  quantiserMatrix(f, "load_intra_quantiser_matrix", "intra_quantiser_matrix");
  quantiserMatrix(f, "load_non_intra_quantiser_matrix", "non_intra_quantiser_matrix");
  std::string summary = numberText(width) + "x" + numberText(height);
  if (const char* fps = nameOf(kFrameRates, rate)) summary += std::string(", ") + fps;
  if (context.mpeg2)
    if (const char* shape = nameOf(kAspectRatios, aspect)) summary += std::string(", ") + shape;
  return summary;
}

std::string sequenceExtension(FieldReader& f, MpegVideoContext& context) {
  std::string summary;
  if (f.need(8)) {
    const uint64_t indication = f.peek(8);
    const bool escape = indication & 0x80;
    const std::string profile = named(nameOf(kProfiles, (indication >> 4) & 7));
    const std::string level = named(nameOf(kLevels, indication & 15));
    summary = escape ? "escaped profile and level" : profile + " profile, " + level + " level";
    FieldUnit unit(f, "profile_and_level_indication", -1, numberText(indication), summary);
    f.u("escape_bit", 1);
    f.u("profile_identification", 3, escape ? "" : profile);
    f.u("level_identification", 4, escape ? "" : level);
  }
  context.progressive_sequence = f.flag("progressive_sequence");
  const uint64_t chroma = f.uh("chroma_format", 2, [](uint64_t v) { return named(nameOf(kChromaFormats, v)); });
  f.u("horizontal_size_extension", 2);
  f.u("vertical_size_extension", 2);
  f.u("bit_rate_extension", 12);
  markerBit(f);
  f.u("vbv_buffer_size_extension", 8);
  f.u("low_delay", 1);
  f.u("frame_rate_extension_n", 2);
  f.u("frame_rate_extension_d", 5);
  if (const char* name = nameOf(kChromaFormats, chroma)) summary += std::string(", ") + name;
  if (context.progressive_sequence) summary += ", progressive";
  return summary;
}

std::string sequenceDisplayExtension(FieldReader& f) {
  const uint64_t format = f.uh("video_format", 3, [](uint64_t v) { return named(nameOf(kVideoFormats, v)); });
  if (f.flag("colour_description")) {
    f.uh("colour_primaries", 8, colourPrimariesName);
    f.uh("transfer_characteristics", 8, transferCharacteristicsName);
    f.uh("matrix_coefficients", 8, matrixCoefficientsName);
  }
  const uint64_t width = f.u("display_horizontal_size", 14);
  markerBit(f);
  const uint64_t height = f.u("display_vertical_size", 14);
  return numberText(width) + "x" + numberText(height) + ", " + named(nameOf(kVideoFormats, format));
}

std::string quantMatrixExtension(FieldReader& f) {
  quantiserMatrix(f, "load_intra_quantiser_matrix", "intra_quantiser_matrix");
  quantiserMatrix(f, "load_non_intra_quantiser_matrix", "non_intra_quantiser_matrix");
  quantiserMatrix(f, "load_chroma_intra_quantiser_matrix", "chroma_intra_quantiser_matrix");
  quantiserMatrix(f, "load_chroma_non_intra_quantiser_matrix", "chroma_non_intra_quantiser_matrix");
  return {};
}

std::string copyrightExtension(FieldReader& f) {
  const bool copyrighted = f.flag("copyright_flag");
  f.u("copyright_identifier", 8);
  f.uh("original_or_copy", 1, [](uint64_t v) { return std::string(v ? "original" : "copy"); });
  f.u("reserved", 7);
  markerBit(f);
  f.u("copyright_number_1", 20);
  markerBit(f);
  f.u("copyright_number_2", 22);
  markerBit(f);
  f.u("copyright_number_3", 22);
  return copyrighted ? "copyrighted" : "not copyrighted";
}

std::string pictureDisplayExtension(FieldReader& f, const MpegVideoContext& context) {
  int offsets = 1;
  if (context.progressive_sequence)
    offsets = context.repeat_first_field ? (context.top_field_first ? 3 : 2) : 1;
  else if (context.picture_structure == 3)
    offsets = context.repeat_first_field ? 3 : 2;
  for (int i = 0; i < offsets; ++i) {
    f.s("frame_centre_horizontal_offset", 16, "1/16 sample", i);
    markerBit(f);
    f.s("frame_centre_vertical_offset", 16, "1/16 line", i);
    markerBit(f);
  }
  return numberText(uint64_t(offsets)) + (offsets == 1 ? " offset" : " offsets");
}

std::string pictureCodingExtension(FieldReader& f, MpegVideoContext& context) {
  f.u("f_code[0][0]", 4, "forward horizontal");
  f.u("f_code[0][1]", 4, "forward vertical");
  f.u("f_code[1][0]", 4, "backward horizontal");
  f.u("f_code[1][1]", 4, "backward vertical");
  f.uh("intra_dc_precision", 2, [](uint64_t v) { return nameText(kDcPrecisions, v); });
  const uint64_t structure =
      f.uh("picture_structure", 2, [](uint64_t v) { return named(nameOf(kPictureStructures, v)); });
  context.top_field_first = f.flag("top_field_first");
  f.u("frame_pred_frame_dct", 1);
  f.u("concealment_motion_vectors", 1);
  f.uh("q_scale_type", 1, [](uint64_t v) { return std::string(v ? "non-linear" : "linear"); });
  f.u("intra_vlc_format", 1);
  f.uh("alternate_scan", 1, [](uint64_t v) { return std::string(v ? "alternate" : "zigzag"); });
  context.repeat_first_field = f.flag("repeat_first_field");
  f.u("chroma_420_type", 1);
  const bool progressive = f.flag("progressive_frame");
  if (f.flag("composite_display_flag")) {
    f.u("v_axis", 1);
    f.u("field_sequence", 3);
    f.u("sub_carrier", 1);
    f.u("burst_amplitude", 7);
    f.u("sub_carrier_phase", 8);
  }
  if (f.ok()) context.picture_structure = uint8_t(structure);
  std::string summary = named(nameOf(kPictureStructures, structure));
  if (progressive) summary += ", progressive";
  if (context.top_field_first) summary += ", top field first";
  if (context.repeat_first_field) summary += ", repeat first field";
  return summary;
}

// Writes an extension's fields after its start code; returns its summary.
std::string extension(FieldReader& f, MpegVideoContext& context) {
  if (!f.need(4)) return {};
  const uint64_t id = f.peek(4);
  const char* name = nameOf(kExtensionNames, id);
  f.u("extension_start_code_identifier", 4, named(name));
  if (!name) return "reserved identifier " + numberText(id);
  std::string summary;
  switch (id) {
    case 1: summary = sequenceExtension(f, context); break;
    case 2: summary = sequenceDisplayExtension(f); break;
    case 3: summary = quantMatrixExtension(f); break;
    case 4: summary = copyrightExtension(f); break;
    case 7: summary = pictureDisplayExtension(f, context); break;
    case 8: summary = pictureCodingExtension(f, context); break;
    default: break;  // scalable extensions: shown as data
  }
  return summary;
}

// Units are named for their start code, extensions for their identifier.
std::string unitName(const FieldReader& f, uint8_t code) {
  if (code != kExtension) return named(nameOf(kUnitNames, code));
  const char* name = f.has(36) ? nameOf(kExtensionNames, f.fileData()[f.bytePos() + 4] >> 4) : nullptr;
  return name ? name : "extension";
}

std::string timeCodeText(uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u%c%02u", unsigned((v >> 19) & 31), unsigned((v >> 13) & 63),
                unsigned((v >> 6) & 63), (v >> 24) ? ';' : ':', unsigned(v & 63));
  return text;
}

std::string groupOfPictures(FieldReader& f) {
  std::string summary;
  if (f.need(25)) {
    const uint64_t code = f.peek(25);
    summary = timeCodeText(code);
    FieldUnit unit(f, "time_code", -1, numberText(code), summary);
    f.uh("drop_frame_flag", 1, [](uint64_t v) { return std::string(v ? "drop frame" : ""); });
    f.u("time_code_hours", 5);
    f.u("time_code_minutes", 6);
    markerBit(f);
    f.u("time_code_seconds", 6);
    f.u("time_code_pictures", 6);
  }
  if (f.flag("closed_gop", f.has(1) && f.peek(1) ? "closed" : "open")) summary += ", closed";
  if (f.flag("broken_link", f.has(1) && f.peek(1) ? "broken" : "")) summary += ", broken link";
  return summary;
}

std::string pictureHeader(FieldReader& f, MpegVideoContext& context) {
  const uint64_t reference = f.u("temporal_reference", 10);
  const uint64_t type = f.uh("picture_coding_type", 3, [](uint64_t v) { return named(nameOf(kCodingTypes, v)); });
  if (f.ok() && context.picture_coding_type == 0) context.picture_coding_type = uint8_t(type);
  f.uh("vbv_delay", 16, [](uint64_t v) {
    return v == 0xFFFF ? std::string("variable bit rate") : secondsText(int64_t(v), 90000);
  });
  if (type == 2 || type == 3) {
    f.u("full_pel_forward_vector", 1);
    f.u("forward_f_code", 3);
  }
  if (type == 3) {
    f.u("full_pel_backward_vector", 1);
    f.u("backward_f_code", 3);
  }
  // Each extra byte is announced by a one bit; their number is bounded by the unit.
  int64_t extra = 0;
  while (f.has(9) && f.peek(1) == 1) {
    f.u("extra_bit_picture", 1, {}, extra);
    f.u("extra_information_picture", 8, {}, extra);
    ++extra;
  }
  f.u("extra_bit_picture", 1);
  return named(nameOf(kCodingTypes, type)) + ", temporal reference " + numberText(reference);
}

bool allZero(const FieldReader& f) {
  const int64_t first = (f.bitPos() + 7) >> 3;
  const uint8_t* data = f.fileData();
  if (f.bitPos() & 7 && (data[f.bytePos()] & ((1u << (8 - (f.bitPos() & 7))) - 1)) != 0) return false;
  for (int64_t i = first; i < f.endByte(); ++i)
    if (data[i] != 0) return false;
  return true;
}

}  // namespace

void MpegVideoScanner::feed(const uint8_t* bytes, int64_t size) {
  for (int64_t i = 0; i < size; ++i) {
    const uint8_t b = bytes[i];
    const int64_t at = position + i;
    if (code_pending) {
      code_pending = false;
      startCode(at - 3, b);
      zeros = 0;
      continue;
    }
    if (extension_pending) {
      extension_pending = false;
      if ((b >> 4) == 1) mpeg2 = true;
    }
    if (b == 0) {
      ++zeros;
      continue;
    }
    if (b == 1 && zeros >= 2) code_pending = true;
    zeros = 0;
    // Nothing can start a code before the next zero byte.
    if (!code_pending && !extension_pending) {
      const void* zero = std::memchr(bytes + i + 1, 0, size_t(size - i - 1));
      if (!zero) break;
      i = static_cast<const uint8_t*>(zero) - bytes - 1;
    }
  }
  position += size;
}

void MpegVideoScanner::startCode(int64_t at, uint8_t code) {
  if (code == kExtension) extension_pending = true;
  if (open && current.kind == MpegVideoUnitKind::Slices && isSlice(code)) {
    ++current.slices;
    current.last_code = code;
    return;
  }
  if (!open && at > 0) units.push_back({0, at, MpegVideoUnitKind::Lead, 0, 0, 0});
  if (open) closeCurrent(at);
  current = {at, at, isSlice(code) ? MpegVideoUnitKind::Slices : MpegVideoUnitKind::Header, code, code,
             isSlice(code) ? 1 : 0};
  open = true;
}

void MpegVideoScanner::closeCurrent(int64_t end) {
  current.end = end;
  if (current.kind == MpegVideoUnitKind::Header && end - current.begin > kMaxMpegVideoHeaderBytes) {
    MpegVideoUnit tail = current;
    current.end = current.begin + kMaxMpegVideoHeaderBytes;
    tail.begin = current.end;
    tail.kind = MpegVideoUnitKind::Tail;
    units.push_back(current);
    units.push_back(tail);
    return;
  }
  units.push_back(current);
}

std::vector<MpegVideoUnit> MpegVideoScanner::finish() {
  if (open)
    closeCurrent(position);
  else if (position > 0)
    units.push_back({0, position, MpegVideoUnitKind::Lead, 0, 0, 0});
  open = false;
  return std::move(units);
}

std::string mpegVideoStartCodeName(uint8_t code) {
  if (isSlice(code)) return "slice_start_code " + numberText(code);
  if (const char* name = nameOf(kStartCodes, code)) return name;
  return code >= 0xB9 ? "system start code" : "reserved";
}

const char* mpegVideoLeafName(const MpegVideoUnit& unit) {
  switch (unit.kind) {
    case MpegVideoUnitKind::Lead: return "data before the first start code";
    case MpegVideoUnitKind::Slices: return "slices";
    default: return "stuffing";
  }
}

std::string mpegVideoLeafSummary(const MpegVideoUnit& unit) {
  if (unit.kind != MpegVideoUnitKind::Slices) return numberText(uint64_t(unit.end - unit.begin)) + " bytes";
  std::string summary = numberText(uint64_t(unit.slices)) + (unit.slices == 1 ? " slice" : " slices");
  summary += ", rows " + numberText(unit.code) + "-" + numberText(unit.last_code);
  return summary;
}

void mpegVideoHeader(FieldReader& f, MpegVideoContext& context) {
  if (!f.has(32)) {
    f.rest("start code", "cut short");
    return;
  }
  const uint8_t code = uint8_t(f.fileData()[f.bytePos() + 3]);
  const int64_t start = f.bitPos();
  f.openUnit(unitName(f, code));
  startCode(f);
  std::string summary;
  switch (code) {
    case kSequenceHeader: summary = sequenceHeader(f, context); break;
    case kExtension: summary = extension(f, context); break;
    case kGroup: summary = groupOfPictures(f); break;
    case kPicture: summary = pictureHeader(f, context); break;
    case kUserData: f.rest("user_data"); break;
    default: break;
  }
  if (!f.ok()) {
    summary += summary.empty() ? "cut short" : ", cut short";
    f.recover();
  }
  if (f.bitsLeft() > 0) {
    if (code == kUserData || allZero(f))
      f.rest("stuffing", "zero bits up to the next start code");
    else
      f.rest(code == kExtension ? "extension_data" : "data");
  }
  if (!summary.empty()) f.setUnitValue(summary);
  f.closeUnit(start);
}

void writeMpegVideoStream(ElementWriter& writer, const uint8_t* file_data, int64_t begin, int64_t end) {
  MpegVideoContext context;
  writeMpegVideoStream(writer, file_data, begin, end, context);
}

void writeMpegVideoStream(ElementWriter& writer, const uint8_t* file_data, int64_t begin, int64_t end,
                          MpegVideoContext& context) {
  MpegVideoScanner scanner;
  scanner.feed(file_data + begin, end - begin);
  context.mpeg2 = context.mpeg2 || scanner.sawSequenceExtension();
  for (const MpegVideoUnit& unit : scanner.finish()) {
    if (unit.kind == MpegVideoUnitKind::Header) {
      FieldReader f(writer, file_data, begin + unit.begin, begin + unit.end);
      mpegVideoHeader(f, context);
    } else {
      writer.addField(mpegVideoLeafName(unit), (begin + unit.begin) * 8, (unit.end - unit.begin) * 8,
                      mpegVideoLeafSummary(unit));
    }
  }
}

}  // namespace corvanta::codecs
