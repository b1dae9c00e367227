#include "formats/mpegts/TsAdaptationField.h"

#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "codecs/PesHeader.h"

#include <string_view>

namespace corvanta::mpegts {

namespace {

constexpr uint32_t kPtsClock = 90000;

// The 27 MHz value of the 48 bits of a PCR or OPCR: 33-bit base, 6 reserved bits, 9-bit extension.
uint64_t clockReference(const uint8_t* p) {
  const uint64_t raw = (uint64_t(p[0]) << 40) | (uint64_t(p[1]) << 32) | (uint64_t(p[2]) << 24) |
                       (uint64_t(p[3]) << 16) | (uint64_t(p[4]) << 8) | uint64_t(p[5]);
  return (raw >> 15) * 300 + (raw & 0x1FF);
}

// A PCR or OPCR as a unit over its three fields, the whole 27 MHz value as the unit's value.
void clockReferenceUnit(FieldReader& f, std::string_view name, std::string_view base_name,
                        std::string_view extension_name, std::string& scratch) {
  if (!f.need(48)) return;
  const uint64_t raw = f.peek(48);
  const uint64_t base = raw >> 15;
  const uint64_t value = base * 300 + (raw & 0x1FF);
  std::string raw_text;
  appendNumber(raw_text, value);
  scratch.clear();
  appendSeconds(scratch, int64_t(value), kSystemClock);
  FieldUnit unit(f, name, -1, raw_text, scratch);
  scratch.clear();
  appendSeconds(scratch, int64_t(base), kPtsClock);
  f.u(base_name, 33, scratch);
  f.u("reserved", 6);
  f.u(extension_name, 9, "27 MHz ticks");
}

void extension(FieldReader& f) {
  FieldUnit unit(f, "adaptation_field_extension");
  const uint64_t length = f.u("adaptation_field_extension_length", 8);
  FieldReader e = f.sub(int64_t(length));
  const bool ltw = e.flag("ltw_flag");
  const bool piecewise = e.flag("piecewise_rate_flag");
  const bool seamless = e.flag("seamless_splice_flag");
  const bool no_descriptors = e.flag("af_descriptor_not_present_flag");
  e.u("reserved", 4);
  if (ltw) {
    e.u("ltw_valid_flag", 1);
    e.u("ltw_offset", 15);
  }
  if (piecewise) {
    e.u("reserved", 2);
    e.uh("piecewise_rate", 22, [](uint64_t v) { return numberText(v * 400) + " bit/s"; });
  }
  if (seamless) {
    static const codecs::TimeStampNames kDtsNextAu = {
        "DTS_next_AU", {"DTS_next_AU[32..30]", "DTS_next_AU[29..15]", "DTS_next_AU[14..0]"}};
    e.u("splice_type", 4);
    codecs::timeStamp(e, kDtsNextAu);
  }
  if (!e.ok()) {
    e.recover();
    e.rest("extension_data", "the flagged fields run past adaptation_field_extension_length");
  } else if (!no_descriptors) {
    e.rest("af_descriptors");
  } else {
    e.rest("reserved");
  }
  f.skipPast(e);
}

bool allStuffing(const uint8_t* p, int64_t size) {
  for (int64_t i = 0; i < size; ++i)
    if (p[i] != 0xFF) return false;
  return true;
}

}  // namespace

AdaptationFacts readAdaptationFacts(const uint8_t* p, int64_t length) {
  AdaptationFacts facts;
  if (length < 1) return facts;
  facts.discontinuity = (p[0] & 0x80) != 0;
  facts.random_access = (p[0] & 0x40) != 0;
  if ((p[0] & 0x10) && length >= 7) {
    facts.has_pcr = true;
    facts.pcr = clockReference(p + 1);
  }
  return facts;
}

void adaptationField(FieldReader& f, const AdaptationFacts& facts, bool has_payload, std::string& scratch) {
  if (!f.need(8)) return;
  const uint64_t declared = f.peek(8);
  const uint64_t most = has_payload ? 182 : 183;
  scratch.clear();
  if (facts.discontinuity) scratch += "discontinuity";
  if (facts.random_access) scratch += scratch.empty() ? "random access" : ", random access";
  if (facts.has_pcr) {
    scratch += scratch.empty() ? "PCR " : ", PCR ";
    appendSeconds(scratch, int64_t(facts.pcr), kSystemClock);
  }
  if (scratch.empty()) scratch = declared == 0 ? "empty" : "stuffing";
  FieldUnit unit(f, "adaptation_field", -1, scratch);
  f.u("adaptation_field_length", 8,
      declared > most ? std::string_view(has_payload ? "more than the 182 bytes allowed before a payload"
                                                     : "more than the 183 bytes of the packet")
                      : std::string_view());
  if (declared == 0) return;
  FieldReader a = f.sub(int64_t(declared));
  a.u("discontinuity_indicator", 1);
  a.u("random_access_indicator", 1);
  a.u("elementary_stream_priority_indicator", 1);
  const bool pcr = a.flag("PCR_flag");
  const bool opcr = a.flag("OPCR_flag");
  const bool splicing = a.flag("splicing_point_flag");
  const bool private_data = a.flag("transport_private_data_flag");
  const bool has_extension = a.flag("adaptation_field_extension_flag");
  if (pcr) clockReferenceUnit(a, "PCR", "program_clock_reference_base", "program_clock_reference_extension", scratch);
  if (opcr)
    clockReferenceUnit(a, "OPCR", "original_program_clock_reference_base",
                       "original_program_clock_reference_extension", scratch);
  if (splicing) a.s("splice_countdown", 8, "packets of the PID until the splicing point");
  if (private_data) {
    const uint64_t length = a.u("transport_private_data_length", 8);
    if (length > 0) a.bytes("private_data_byte", int64_t(length));
  }
  if (has_extension) extension(a);
  if (!a.ok()) {
    a.recover();
    a.rest("adaptation_field_data", "the flagged fields run past adaptation_field_length");
  } else if (a.bytesLeft() > 0) {
    const int64_t count = a.bytesLeft();
    const bool stuffing = allStuffing(a.fileData() + a.bytePos(), count);
    scratch.clear();
    appendNumber(scratch, uint64_t(count));
    scratch += count == 1 ? " byte" : " bytes";
    if (stuffing)
      a.text("stuffing_byte", count * 8, "0xFF", scratch);
    else
      a.text("stuffing_byte", count * 8, hexDump(a.fileData() + a.bytePos(), count), "not all 0xFF");
  }
  f.skipPast(a);
}

}  // namespace corvanta::mpegts
