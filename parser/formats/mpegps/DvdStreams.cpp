#include "formats/mpegps/DvdStreams.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"

#include <cstdio>

namespace corvanta::mpegps {

namespace {

constexpr uint32_t kPtsClock = 90000;

const ValueName kLpcmQuantisation[] = {{0, "16 bits"}, {1, "20 bits"}, {2, "24 bits"}, {3, "reserved"}};
const ValueName kLpcmRates[] = {{0, "48000 Hz"}, {1, "96000 Hz"}, {2, "44100 Hz"}, {3, "32000 Hz"}};
const ValueName kFrameRates[] = {{1, "25 fps"}, {3, "29.97 fps"}};

bool isAudioWithHeader(uint8_t id) { return id >= 0x80 && id <= 0xAF; }
bool isLpcm(uint8_t id) { return id >= 0xA0 && id <= 0xA7; }

// AC-3, DTS and LPCM: the frames that start in this packet and where the first one starts.
void audioHeader(FieldReader& f) {
  f.u("number_of_frame_headers", 8);
  f.uh("first_access_unit_pointer", 16, [](uint64_t v) {
    return v == 0 ? std::string("no frame starts here") : "byte " + numberText(v) + " after this field's first byte";
  });
}

void lpcmHeader(FieldReader& f) {
  f.u("audio_emphasis_flag", 1);
  f.u("audio_mute_flag", 1);
  f.u("reserved", 1);
  f.u("audio_frame_number", 5);
  f.uh("quantization_word_length", 2, [](uint64_t v) { return nameText(kLpcmQuantisation, v); });
  f.uh("audio_sampling_frequency", 2, [](uint64_t v) { return nameText(kLpcmRates, v); });
  f.u("reserved", 1);
  f.uh("number_of_audio_channels", 3, [](uint64_t v) { return numberText(v + 1) + (v ? " channels" : " channel"); });
  f.uh("dynamic_range_control", 8, [](uint64_t v) { return std::string(v == 0x80 ? "no compression" : ""); });
}

// A time of the DVD's playback clock: BCD hours, minutes, seconds, and a byte of the frame rate
// (2 bits) and BCD frames.
void dvdTime(FieldReader& f, std::string_view name) {
  if (!f.need(32)) return;
  const uint64_t v = f.peek(32);
  auto bcd = [](uint64_t byte) { return unsigned((byte >> 4) * 10 + (byte & 15)); };
  char text[40];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u.%02u", bcd(v >> 24 & 0xFF), bcd(v >> 16 & 0xFF),
                bcd(v >> 8 & 0xFF), bcd(v & 0x3F));
  std::string hrf = text;
  if (const char* rate = nameOf(kFrameRates, (v >> 6) & 3)) hrf += std::string(", ") + rate;
  f.text(name, 32, hexText(v, 8), hrf);
}

void ptm(FieldReader& f, std::string_view name) {
  f.uh(name, 32, [](uint64_t v) { return secondsText(int64_t(v), kPtsClock); });
}

std::string pci(FieldReader& f) {
  FieldUnit unit(f, "pci_gi");
  const uint64_t lbn = f.u("nv_pck_lbn", 32, "logical block of this navigation pack");
  f.text("vobu_cat", 16, f.has(16) ? hexText(f.peek(16), 4) : std::string());
  f.u("reserved", 16);
  f.text("vobu_uop_ctl", 32, f.has(32) ? hexText(f.peek(32), 8) : std::string(), "prohibited user operations");
  const uint64_t start = f.has(32) ? f.peek(32) : 0;
  ptm(f, "vobu_s_ptm");
  const uint64_t end = f.has(32) ? f.peek(32) : 0;
  ptm(f, "vobu_e_ptm");
  ptm(f, "vobu_se_e_ptm");
  dvdTime(f, "e_eltm");
  f.bytes("vobu_isrc", 32);
  std::string summary = "PCI, block " + numberText(lbn) + ", ";
  appendSeconds(summary, int64_t(start), kPtsClock);
  summary += " to ";
  appendSeconds(summary, int64_t(end), kPtsClock);
  unit.setSummary(summary);
  return summary;
}

std::string dsi(FieldReader& f) {
  FieldUnit unit(f, "dsi_gi");
  f.uh("nv_pck_scr", 32, [](uint64_t v) { return secondsText(int64_t(v), kPtsClock); });
  const uint64_t lbn = f.u("nv_pck_lbn", 32, "logical block of this navigation pack");
  f.u("vobu_ea", 32, "last block of this VOBU, relative");
  f.u("vobu_1stref_ea", 32, "end of the first reference picture, relative");
  f.u("vobu_2ndref_ea", 32, "end of the second reference picture, relative");
  f.u("vobu_3rdref_ea", 32, "end of the third reference picture, relative");
  f.u("vobu_vob_idn", 16);
  f.u("reserved", 8);
  f.u("vobu_c_idn", 8);
  dvdTime(f, "c_eltm");
  const std::string summary = "DSI, block " + numberText(lbn);
  unit.setSummary(summary);
  return summary;
}

}  // namespace

std::string subStreamName(uint8_t id) {
  if (id >= 0x20 && id <= 0x3F) return "subpicture " + numberText(id & 0x1F);
  if (id >= 0x80 && id <= 0x87) return "AC-3 " + numberText(id & 7);
  if (id >= 0x88 && id <= 0x8F) return "DTS " + numberText(id & 7);
  if (id >= 0x90 && id <= 0x97) return "SDDS " + numberText(id & 7);
  if (isLpcm(id)) return "LPCM " + numberText(id & 7);
  return "sub-stream " + hexText(id, 2);
}

std::string privateStream1Payload(FieldReader& f) {
  if (!f.has(8)) return {};
  const uint8_t id = uint8_t(f.peek(8));
  const std::string name = subStreamName(id);
  f.text("sub_stream_id", 8, hexText(id, 2), name);
  if (isAudioWithHeader(id) && f.has(24)) {
    audioHeader(f);
    if (isLpcm(id) && f.has(24)) lpcmHeader(f);
  }
  f.rest(isLpcm(id) ? "LPCM samples" : "PES_packet_data_byte");
  return name;
}

std::string privateStream2Payload(FieldReader& f) {
  if (!f.has(8)) return {};
  const uint8_t id = uint8_t(f.peek(8));
  std::string summary;
  if (id == 0 || id == 1) {
    f.text("sub_stream_id", 8, hexText(id, 2), id == 0 ? "PCI" : "DSI");
    summary = id == 0 ? pci(f) : dsi(f);
    if (!f.ok()) f.recover();
    f.rest(id == 0 ? "pci data" : "dsi data");
  } else {
    f.rest("PES_packet_data_byte");
  }
  return summary;
}

}  // namespace corvanta::mpegps
