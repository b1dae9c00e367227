// Decoders of the program specific information tables (ISO/IEC 13818-1, 2.4.4).
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "formats/mpegts/TsSection.h"
#include "codecs/StreamTypes.h"

namespace corvanta::mpegts::table {

namespace {

std::string pidText(uint64_t pid) { return hexText(pid, 4); }

std::string countText(uint64_t count, const char* one, const char* many) {
  return numberText(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void pat(SectionScope& s) {
  FieldReader& f = s.f;
  uint64_t programs = 0;
  for (; f.ok() && f.bytesLeft() >= 4; ++programs) {
    FieldUnit entry(f, "program", int64_t(programs));
    const uint64_t number = f.u("program_number", 16);
    f.u("reserved", 3);
    const uint64_t pid = f.uh(number == 0 ? "network_PID" : "program_map_PID", 13, pidText);
    std::string summary = number == 0 ? "network" : "program " + numberText(number);
    summary += number == 0 ? ", NIT PID " : ", PMT PID ";
    summary += pidText(pid);
    entry.setSummary(summary);
  }
  s.summary = countText(programs, "program", "programs");
}

void cat(SectionScope& s) { descriptorLoop(s.f, s.descriptors); }

void descriptorsOnly(SectionScope& s) { descriptorLoop(s.f, s.descriptors); }

void pmt(SectionScope& s) {
  FieldReader& f = s.f;
  f.u("reserved", 3);
  const uint64_t pcr_pid = f.uh("PCR_PID", 13, [](uint64_t v) { return v == 0x1FFF ? std::string("no PCR") : pidText(v); });
  descriptorLoopWithLength(f, 4, "program_info_length", 12, s.descriptors);
  const bool blu_ray = s.context.blu_ray;
  uint64_t streams = 0;
  for (; f.ok() && f.bytesLeft() >= 5; ++streams) {
    FieldUnit entry(f, "elementary_stream", int64_t(streams));
    const uint64_t type =
        f.uh("stream_type", 8, [blu_ray](uint64_t v) { return std::string(codecs::streamType(uint8_t(v), blu_ray).name); });
    f.u("reserved", 3);
    const uint64_t pid = f.uh("elementary_PID", 13, pidText);
    DescriptorContext stream = s.descriptors;
    stream.stream_type = uint8_t(type);
    descriptorLoopWithLength(f, 4, "ES_info_length", 12, stream);
    entry.setSummary("PID " + pidText(pid) + ", " + codecs::streamType(uint8_t(type), blu_ray).name);
  }
  s.summary = "program " + numberText(s.table_id_extension) + ", PCR PID " + pidText(pcr_pid) + ", " +
              countText(streams, "stream", "streams");
}

}  // namespace corvanta::mpegts::table
