// SEI messages of H.264 and H.265: the message framing and the payloads worth reading by eye.
#include "codecs/SeiMessages.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/ColourCodePoints.h"
#include "codecs/NalUnits.h"

#include <vector>

namespace corvanta::codecs {

namespace {

const ValueName kPayloadTypes[] = {
    {0, "buffering period"}, {1, "pic timing"}, {2, "pan-scan rect"}, {3, "filler payload"},
    {4, "user data registered ITU-T T.35"}, {5, "user data unregistered"}, {6, "recovery point"},
    {7, "dec ref pic marking repetition"}, {8, "spare pic"}, {9, "scene info"}, {10, "sub seq info"},
    {11, "sub seq layer characteristics"}, {12, "sub seq characteristics"}, {13, "full-frame freeze"},
    {14, "full-frame freeze release"}, {15, "picture snapshot"}, {16, "progressive refinement segment start"},
    {17, "progressive refinement segment end"}, {18, "motion-constrained slice group set"},
    {19, "film grain characteristics"}, {20, "deblocking filter display preference"}, {21, "stereo video info"},
    {22, "post-filter hint"}, {23, "tone mapping info"}, {45, "frame packing arrangement"},
    {47, "display orientation"}, {56, "green metadata"}, {128, "structure of pictures info"},
    {129, "active parameter sets"}, {130, "decoding unit info"}, {131, "temporal sub-layer zero index"},
    {132, "decoded picture hash"}, {133, "scalable nesting"}, {134, "region refresh info"}, {135, "no display"},
    {136, "time code"}, {137, "mastering display colour volume"}, {138, "segmented rect frame packing"},
    {139, "temporal motion-constrained tile sets"}, {140, "chroma resampling filter hint"},
    {141, "knee function info"}, {142, "colour remapping info"}, {143, "deinterlaced field identification"},
    {144, "content light level information"}, {145, "dependent RAP indication"}, {146, "coded region completion"},
    {147, "alternative transfer characteristics"}, {148, "ambient viewing environment"},
    {149, "content colour volume"}, {150, "equirectangular projection"}, {151, "cubemap projection"},
    {154, "sphere rotation"}, {155, "region-wise packing"}, {156, "omni viewport"},
};

// ITU-T T.35 country codes and the provider codes seen in video (captions and HDR metadata).
const ValueName kCountryCodes[] = {{0x26, "China"}, {0x61, "Korea"}, {0xB4, "United Kingdom"},
                                   {0xB5, "United States"}, {0xFF, "extension"}};
const ValueName kProviderCodes[] = {{0x0031, "ATSC"}, {0x002F, "DirecTV"}, {0x003A, "SMPTE ST 2094-40"},
                                    {0x003B, "Dolby"}, {0x5890, "AOM"}};

constexpr uint64_t kBufferingPeriod = 0;
constexpr uint64_t kPicTiming = 1;
constexpr uint64_t kRecoveryPoint = 6;
constexpr uint64_t kUserDataRegistered = 4;
constexpr uint64_t kUserDataUnregistered = 5;
constexpr uint64_t kMasteringDisplay = 137;
constexpr uint64_t kContentLightLevel = 144;
constexpr uint64_t kAlternativeTransfer = 147;
// More messages than any encoder writes into one NAL unit: a broken stream stops here.
constexpr int kMaxMessages = 256;
constexpr uint32_t kAtscUserIdentifier = 0x47413934;  // "GA94"
constexpr uint64_t kCaptionDataType = 3;

// payloadType and payloadSize: a run of 0xFF bytes, each adding 255, then the last byte.
uint64_t byteRunValue(FieldReader& f, std::string_view last_name) {
  uint64_t value = 0;
  int ff_bytes = 0;
  while (f.ok() && f.has(8) && f.peek(8) == 0xFF && ff_bytes < 1024) {
    value += 255;
    f.u("ff_byte", 8, {}, ff_bytes++);
  }
  return value + f.u(last_name, 8);
}

std::string textOf(const std::vector<uint8_t>& bytes) {
  std::string printable;
  for (uint8_t c : bytes) printable += (c >= 0x20 && c < 0x7F) ? char(c) : '.';
  return printable;
}

void userDataUnregistered(FieldReader& f, int64_t size) {
  if (size < 16) return;
  uint8_t uuid[16];
  FieldReader probe = f;
  for (uint8_t& byte : uuid) byte = uint8_t(probe.read(8));
  f.text("uuid_iso_iec_11578", 128, uuidText(uuid));
  if (size == 16) return;
  std::vector<uint8_t> bytes;
  FieldReader text_probe = f;
  for (int64_t i = 0; i < size - 16 && text_probe.ok(); ++i) bytes.push_back(uint8_t(text_probe.read(8)));
  while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
  f.bytes("user_data_payload_byte", size - 16, textOf(bytes));
}

// ATSC A/53 cc_data() after the user identifier: the caption constructs counted.
void atscCaptionData(FieldReader& f, int64_t size) {
  const uint64_t type = f.u("user_data_type_code", 8);
  if (type != kCaptionDataType || size < 2) return;
  f.flag("process_em_data_flag");
  f.flag("process_cc_data_flag");
  f.flag("additional_data_flag");
  const uint64_t count = f.u("cc_count", 5);
  f.u("em_data", 8);
  if (int64_t(count) * 3 > size - 2) return;
  f.bytes("cc_data", int64_t(count) * 3, numberText(count) + " caption constructs");
}

void userDataRegistered(FieldReader& f, int64_t size) {
  const int64_t start = f.bitsLeft();
  const uint64_t country = f.uh("itu_t_t35_country_code", 8, [](uint64_t v) { return nameText(kCountryCodes, v); });
  if (country == 0xFF) f.u("itu_t_t35_country_code_extension_byte", 8);
  const int64_t used = (start - f.bitsLeft()) / 8;
  if (size - used < 2) return;
  const uint64_t provider =
      f.uh("itu_t_t35_provider_code", 16, [](uint64_t v) { return nameText(kProviderCodes, v); });
  if (provider == 0x0031 && size - used >= 6 && f.has(32) && f.peek(32) == kAtscUserIdentifier) {
    f.fourcc("user_identifier");
    atscCaptionData(f, size - used - 6);
  }
}

void recoveryPoint(FieldReader& f, SeiSyntax syntax) {
  if (syntax == SeiSyntax::H264) {
    f.ue("recovery_frame_cnt");
  } else {
    f.se("recovery_poc_cnt");
  }
  f.flag("exact_match_flag");
  f.flag("broken_link_flag");
  if (syntax == SeiSyntax::H264) f.u("changing_slice_group_idc", 2);
}

// Units of 0.0001 cd/m2 as "1000 cd/m2" or "0.005 cd/m2".
std::string luminanceText(uint64_t value) {
  std::string fraction = numberText(value % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  return numberText(value / 10000) + (fraction.empty() ? "" : "." + fraction) + " cd/m2";
}

void masteringDisplay(FieldReader& f) {
  static const char* const kPrimaries[] = {"G", "B", "R"};  // the order H.265 D.3.28 gives them
  for (int c = 0; c < 3; ++c) {
    f.u("display_primaries_x", 16, kPrimaries[c], c);
    f.u("display_primaries_y", 16, kPrimaries[c], c);
  }
  f.u("white_point_x", 16);
  f.u("white_point_y", 16);
  f.uh("max_display_mastering_luminance", 32, luminanceText);
  f.uh("min_display_mastering_luminance", 32, luminanceText);
}

void contentLightLevel(FieldReader& f) {
  f.uh("max_content_light_level", 16, [](uint64_t v) { return numberText(v) + " cd/m2"; });
  f.uh("max_pic_average_light_level", 16, [](uint64_t v) { return numberText(v) + " cd/m2"; });
}

const ValueName kPicStructs[] = {
    {0, "frame"}, {1, "top field"}, {2, "bottom field"}, {3, "top field, bottom field"},
    {4, "bottom field, top field"}, {5, "top, bottom, top field"}, {6, "bottom, top, bottom field"},
    {7, "frame doubling"}, {8, "frame tripling"}, {9, "top field, paired with the previous bottom"},
    {10, "bottom field, paired with the previous top"}, {11, "top field, paired with the next bottom"},
    {12, "bottom field, paired with the next top"},
};
// NumClockTS of each H.264 pic_struct (Table D-1).
constexpr int kClockTimestamps[] = {1, 1, 1, 2, 2, 3, 3, 2, 3};
constexpr uint64_t kLastH264PicStruct = 8;

const char* const kNoActiveSps = "not decoded: the lengths of its fields come from the active SPS, not known here";

// The HRD whose lengths the delays take: NAL when the SPS has one, else VCL.
const SeiHrd& delayHrd(const SeiTiming& sps) { return sps.nal.present ? sps.nal : sps.vcl; }

void clockTimestamp(FieldReader& f, const SeiTiming& sps, int index) {
  FieldUnit unit(f, "clock_timestamp", index);
  f.u("ct_type", 2);
  f.flag("nuit_field_based_flag");
  f.u("counting_type", 5);
  const bool full = f.flag("full_timestamp_flag");
  f.flag("discontinuity_flag");
  f.flag("cnt_dropped_flag");
  f.u("n_frames", 8);
  if (full) {
    f.u("seconds_value", 6);
    f.u("minutes_value", 6);
    f.u("hours_value", 5);
  } else if (f.flag("seconds_flag")) {
    f.u("seconds_value", 6);
    if (f.flag("minutes_flag")) {
      f.u("minutes_value", 6);
      if (f.flag("hours_flag")) f.u("hours_value", 5);
    }
  }
  const int offset_length = delayHrd(sps).time_offset_length;
  if (offset_length > 0) f.s("time_offset", offset_length);
}

// H.264 pic_timing() (D.1.3).
void h264PicTiming(FieldReader& f, const SeiTiming& sps) {
  const SeiHrd& hrd = delayHrd(sps);
  if (hrd.present) {
    f.u("cpb_removal_delay", hrd.cpb_removal_delay_length);
    f.u("dpb_output_delay", hrd.dpb_output_delay_length);
  }
  if (!sps.pic_struct_present) return;
  const uint64_t pic_struct = f.uh("pic_struct", 4, [](uint64_t v) {
    return v > kLastH264PicStruct ? std::string("reserved") : nameText(kPicStructs, v);
  });
  if (pic_struct > kLastH264PicStruct) {
    f.fail();  // how many clock timestamps follow is not known
    return;
  }
  for (int i = 0; i < kClockTimestamps[pic_struct] && f.ok(); ++i)
    if (f.u("clock_timestamp_flag", 1, {}, i)) clockTimestamp(f, sps, i);
}

// H.265 pic_timing() (D.2.3).
void hevcPicTiming(FieldReader& f, const SeiTiming& sps) {
  if (sps.pic_struct_present) {
    f.uh("pic_struct", 4, [](uint64_t v) { return nameText(kPicStructs, v); });
    f.uh("source_scan_type", 2, [](uint64_t v) {
      static const char* const kScans[] = {"interlaced", "progressive", "unknown", "reserved"};
      return std::string(kScans[v & 3]);
    });
    f.flag("duplicate_flag");
  }
  const SeiHrd& hrd = delayHrd(sps);
  if (!hrd.present) return;
  f.u("au_cpb_removal_delay_minus1", hrd.cpb_removal_delay_length);
  f.u("pic_dpb_output_delay", hrd.dpb_output_delay_length);
  if (!sps.sub_pic_hrd_params) return;
  f.u("pic_dpb_output_du_delay", sps.dpb_output_delay_du_length);
  if (!sps.sub_pic_cpb_params_in_pic_timing_sei) return;
  const uint64_t units = f.ue("num_decoding_units_minus1") + 1;
  const bool common = f.flag("du_common_cpb_removal_delay_flag");
  if (common) f.u("du_common_cpb_removal_delay_increment_minus1", sps.du_cpb_removal_delay_increment_length);
  // Each unit takes at least one bit, so the payload's end bounds the loop.
  for (uint64_t i = 0; i < units && f.ok(); ++i) {
    f.ue("num_nalus_in_du_minus1", {}, int64_t(i));
    if (!common && i + 1 < units)
      f.u("du_cpb_removal_delay_increment_minus1", sps.du_cpb_removal_delay_increment_length, {}, int64_t(i));
  }
}

// The initial delays of each CPB of the NAL and then the VCL HRD.
void initialCpbRemovalDelays(FieldReader& f, const SeiTiming& sps, SeiSyntax syntax, bool alternative) {
  const bool h264 = syntax == SeiSyntax::H264;
  for (const bool nal : {true, false}) {
    const SeiHrd& hrd = nal ? sps.nal : sps.vcl;
    if (!hrd.present) continue;
    for (uint64_t i = 0; i < hrd.cpb_count && f.ok(); ++i) {
      const int64_t seq = int64_t(i);
      const int bits = hrd.initial_cpb_removal_delay_length;
      if (h264) {
        f.u("initial_cpb_removal_delay", bits, {}, seq);
        f.u("initial_cpb_removal_delay_offset", bits, {}, seq);
        continue;
      }
      f.u(nal ? "nal_initial_cpb_removal_delay" : "vcl_initial_cpb_removal_delay", bits, {}, seq);
      f.u(nal ? "nal_initial_cpb_removal_offset" : "vcl_initial_cpb_removal_offset", bits, {}, seq);
      if (!alternative) continue;
      f.u(nal ? "nal_initial_alt_cpb_removal_delay" : "vcl_initial_alt_cpb_removal_delay", bits, {}, seq);
      f.u(nal ? "nal_initial_alt_cpb_removal_offset" : "vcl_initial_alt_cpb_removal_offset", bits, {}, seq);
    }
  }
}

// buffering_period() (H.264 D.1.2, H.265 D.2.2): names its SPS, which it activates.
void bufferingPeriod(FieldReader& f, SeiSyntax syntax, SeiTimingContext* timing) {
  const bool h264 = syntax == SeiSyntax::H264;
  const uint64_t id = f.ue(h264 ? "seq_parameter_set_id" : "bp_seq_parameter_set_id");
  const auto sps = timing ? timing->sps.find(id) : std::map<uint64_t, SeiTiming>::const_iterator();
  if (!f.ok() || !timing || sps == timing->sps.end()) {
    if (f.ok()) f.rest("payload_rest", "not decoded: needs SPS " + numberText(id) + ", not seen before");
    return;
  }
  timing->active_sps = int64_t(id);
  if (h264) {
    initialCpbRemovalDelays(f, sps->second, syntax, false);
    return;
  }
  const SeiHrd& hrd = delayHrd(sps->second);
  const bool irap_cpb_params = !sps->second.sub_pic_hrd_params && f.flag("irap_cpb_params_present_flag");
  if (irap_cpb_params) {
    f.u("cpb_delay_offset", hrd.cpb_removal_delay_length);
    f.u("dpb_delay_offset", hrd.dpb_output_delay_length);
  }
  f.flag("concatenation_flag");
  f.u("au_cpb_removal_delay_delta_minus1", hrd.cpb_removal_delay_length);
  initialCpbRemovalDelays(f, sps->second, syntax, sps->second.sub_pic_hrd_params || irap_cpb_params);
}

void picTiming(FieldReader& f, SeiSyntax syntax, const SeiTimingContext* timing) {
  const SeiTiming* sps = timing ? timing->active() : nullptr;
  if (!sps) {
    f.rest("payload_rest", kNoActiveSps);
    return;
  }
  if (!sps->nal.present && !sps->vcl.present && !sps->pic_struct_present) {
    f.rest("payload_rest", "not decoded: the active SPS has neither HRD parameters nor picture structure");
    return;
  }
  if (syntax == SeiSyntax::H264) h264PicTiming(f, *sps);
  else hevcPicTiming(f, *sps);
}

// After the fields of a payload that does not end on a byte: the one bit and the zero bits up
// to the byte (H.264 bit_equal_to_one and bit_equal_to_zero); anything else as one field.
void payloadEnd(FieldReader& f, int64_t left_bits) {
  if (left_bits <= 0) return;
  const int padding = int(8 - (f.bitPos() & 7));
  if (!f.byteAligned() && left_bits >= padding && f.peek(padding) == (uint64_t(1) << (padding - 1))) {
    f.u("bit_equal_to_one", 1);
    if (padding > 1) f.u("bit_equal_to_zero", padding - 1);
    left_bits -= padding;
  }
  if (left_bits <= 0) return;
  if (f.byteAligned()) f.bytes("payload_rest", left_bits / 8);
  else f.text("payload_rest", left_bits, numberText(uint64_t(left_bits)) + " bits");
}

// The timing messages on a reader over exactly their payload, which they fill to its end.
void timingPayload(FieldReader& f, uint64_t type, SeiSyntax syntax, SeiTimingContext* timing) {
  if (type == kBufferingPeriod) bufferingPeriod(f, syntax, timing);
  else picTiming(f, syntax, timing);
  if (!f.ok()) {
    f.recover();
    f.rest("payload_rest", "not decoded: the payload ends early or a value above is out of range");
    return;
  }
  payloadEnd(f, f.bitsLeft());
}

// Decodes a payload known to fit in `size` bytes; false when the type is not one decoded here
// or the payload is too short for its fields.
bool decodePayload(FieldReader& f, uint64_t type, int64_t size, SeiSyntax syntax) {
  switch (type) {
    case kUserDataUnregistered: if (size < 16) return false; userDataUnregistered(f, size); return true;
    case kUserDataRegistered: if (size < 1) return false; userDataRegistered(f, size); return true;
    case kRecoveryPoint: recoveryPoint(f, syntax); return true;
    case kMasteringDisplay: if (size < 24) return false; masteringDisplay(f); return true;
    case kContentLightLevel: if (size < 4) return false; contentLightLevel(f); return true;
    case kAlternativeTransfer:
      if (size < 1) return false;
      f.uh("preferred_transfer_characteristics", 8, transferCharacteristicsName);
      return true;
    default: return false;
  }
}

std::string seiMessage(FieldReader& f, SeiSyntax syntax, SeiTimingContext* timing, int index) {
  FieldUnit unit(f, "sei_message", index);
  const uint64_t type = byteRunValue(f, "last_payload_type_byte");
  const uint64_t size = byteRunValue(f, "last_payload_size_byte");
  std::string name = nameText(kPayloadTypes, type);
  if (name.empty()) name = "payload type " + numberText(type);
  unit.setSummary(name + ", " + numberText(size) + " bytes");
  if (!f.ok()) return name;
  if (int64_t(size) > f.bytesLeft()) {
    f.rest("sei_payload", "runs past the NAL unit");
    f.fail();
    return name;
  }
  if ((type == kBufferingPeriod || type == kPicTiming) && size > 0) {
    FieldUnit payload(f, "sei_payload", -1, name);
    FieldReader inner = f.subPayload(int64_t(size));
    timingPayload(inner, type, syntax, timing);
    f.skipPast(inner);
    return name;
  }
  const int64_t payload_bits = int64_t(size) * 8;
  const int64_t before = f.bitsLeft();
  {
    FieldUnit payload(f, "sei_payload", -1, name);
    const bool decoded = decodePayload(f, type, int64_t(size), syntax);
    const int64_t used = before - f.bitsLeft();
    if (decoded && f.ok() && used <= payload_bits) {
      payloadEnd(f, payload_bits - used);
    } else if (!decoded && size > 0) {
      f.bytes("payload_data", int64_t(size));
    } else if (decoded) {
      f.fail();  // the payload's fields ran past its size: the message framing is lost
    }
  }
  return name;
}

}  // namespace

const SeiTiming* SeiTimingContext::active() const {
  const auto found = sps.find(uint64_t(active_sps));
  if (active_sps >= 0 && found != sps.end()) return &found->second;
  return active_sps < 0 && sps.size() == 1 ? &sps.begin()->second : nullptr;
}

std::string seiRbsp(FieldReader& f, SeiSyntax syntax, SeiTimingContext* timing) {
  std::string kinds;
  int index = 0;
  while (f.ok() && f.moreRbspData() && index < kMaxMessages) {
    const std::string name = seiMessage(f, syntax, timing, index++);
    if (index <= 3) kinds += (index > 1 ? ", " : "") + name;
  }
  if (index > 3) kinds += ", ...";
  if (f.ok()) rbspTrailingBits(f);
  return "SEI: " + kinds;
}

}  // namespace corvanta::codecs
