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

std::string seiMessage(FieldReader& f, SeiSyntax syntax, int index) {
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
  const int64_t payload_bits = int64_t(size) * 8;
  const int64_t before = f.bitsLeft();
  {
    FieldUnit payload(f, "sei_payload", -1, name);
    const bool decoded = decodePayload(f, type, int64_t(size), syntax);
    const int64_t used = before - f.bitsLeft();
    if (decoded && f.ok() && used <= payload_bits) {
      if (used < payload_bits) {
        if ((used & 7) == 0) f.bytes("payload_rest", (payload_bits - used) / 8);
        else f.text("payload_rest", payload_bits - used, numberText(uint64_t(payload_bits - used)) + " bits");
      }
    } else if (!decoded && size > 0) {
      f.bytes("payload_data", int64_t(size));
    } else if (decoded) {
      f.fail();  // the payload's fields ran past its size: the message framing is lost
    }
  }
  return name;
}

}  // namespace

std::string seiRbsp(FieldReader& f, SeiSyntax syntax) {
  std::string kinds;
  int index = 0;
  while (f.ok() && f.moreRbspData() && index < kMaxMessages) {
    const std::string name = seiMessage(f, syntax, index++);
    if (index <= 3) kinds += (index > 1 ? ", " : "") + name;
  }
  if (index > 3) kinds += ", ...";
  if (f.ok()) rbspTrailingBits(f);
  return "SEI: " + kinds;
}

}  // namespace corvanta::codecs
