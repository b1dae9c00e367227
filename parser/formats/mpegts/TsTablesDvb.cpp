// Decoders of the DVB service information tables (ETSI EN 300 468, 5.2).
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "formats/mpegts/TsDvbNames.h"
#include "formats/mpegts/TsSection.h"

#include <cstdio>

namespace corvanta::mpegts::table {

namespace {

std::string countText(uint64_t count, const char* one, const char* many) {
  return numberText(count) + " " + (count == 1 ? one : many);
}

// A 24-bit BCD hh:mm:ss duration.
std::string bcdDurationText(uint64_t raw) {
  int digits[6];
  for (int i = 0; i < 6; ++i) {
    digits[i] = int((raw >> (20 - 4 * i)) & 15);
    if (digits[i] > 9) return "invalid BCD duration";
  }
  char text[16];
  std::snprintf(text, sizeof text, "%d:%d%d:%d%d", digits[0] * 10 + digits[1], digits[2], digits[3], digits[4],
                digits[5]);
  return text;
}

// The transport stream loop of the NIT and the BAT.
uint64_t transportStreamLoop(SectionScope& s) {
  FieldReader& f = s.f;
  f.u("reserved_future_use", 4);
  const uint64_t declared = f.u("transport_stream_loop_length", 12);
  FieldReader loop = f.sub(int64_t(declared));
  uint64_t count = 0;
  for (; loop.ok() && loop.bytesLeft() >= 6; ++count) {
    FieldUnit entry(loop, "transport_stream", int64_t(count));
    const uint64_t id = loop.u("transport_stream_id", 16);
    const uint64_t network = loop.u("original_network_id", 16);
    descriptorLoopWithLength(loop, 4, "transport_descriptors_length", 12, s.descriptors);
    entry.setSummary("transport stream " + numberText(id) + ", original network " + numberText(network));
  }
  loop.rest("transport_stream_data");
  f.skipPast(loop);
  return count;
}

}  // namespace

void nit(SectionScope& s) {
  descriptorLoopWithLength(s.f, 4, "network_descriptors_length", 12, s.descriptors);
  const uint64_t streams = transportStreamLoop(s);
  s.summary = "network " + numberText(s.table_id_extension) + ", " +
              countText(streams, "transport stream", "transport streams");
}

void bat(SectionScope& s) {
  descriptorLoopWithLength(s.f, 4, "bouquet_descriptors_length", 12, s.descriptors);
  const uint64_t streams = transportStreamLoop(s);
  s.summary = "bouquet " + numberText(s.table_id_extension) + ", " +
              countText(streams, "transport stream", "transport streams");
}

void sdt(SectionScope& s) {
  FieldReader& f = s.f;
  f.u("original_network_id", 16);
  f.u("reserved_future_use", 8);
  uint64_t services = 0;
  std::string names;
  for (; f.ok() && f.bytesLeft() >= 5; ++services) {
    FieldUnit entry(f, "service", int64_t(services));
    const uint64_t id = f.u("service_id", 16);
    f.u("reserved_future_use", 6);
    f.u("EIT_schedule_flag", 1);
    f.u("EIT_present_following_flag", 1);
    const uint64_t running = f.uh("running_status", 3, runningStatusName);
    f.uh("free_CA_mode", 1, [](uint64_t v) { return std::string(v ? "scrambled" : "free to air"); });
    s.descriptors.name.clear();
    descriptorLoopWithLength(f, 0, "descriptors_loop_length", 12, s.descriptors);
    std::string summary = "service " + numberText(id);
    if (!s.descriptors.name.empty()) {
      summary += " \"" + s.descriptors.name + "\"";
      names += (names.empty() ? "\"" : ", \"") + s.descriptors.name + "\"";
    }
    entry.setSummary(summary, runningStatusName(running));
  }
  s.summary = countText(services, "service", "services");
  if (!names.empty()) s.summary += " " + names;
}

void eit(SectionScope& s) {
  FieldReader& f = s.f;
  f.u("transport_stream_id", 16);
  f.u("original_network_id", 16);
  f.u("segment_last_section_number", 8);
  f.text("last_table_id", 8, f.has(8) ? hexText(f.peek(8), 2) : std::string());
  uint64_t events = 0;
  for (; f.ok() && f.bytesLeft() >= 12; ++events) {
    FieldUnit entry(f, "event", int64_t(events));
    const uint64_t id = f.u("event_id", 16);
    const uint64_t start = f.has(40) ? f.peek(40) : 0;
    f.mjdDate("start_time");
    const uint64_t duration = f.has(24) ? f.peek(24) : 0;
    f.text("duration", 24, hexText(duration, 6), bcdDurationText(duration));
    const uint64_t running = f.uh("running_status", 3, runningStatusName);
    f.uh("free_CA_mode", 1, [](uint64_t v) { return std::string(v ? "scrambled" : "free to air"); });
    s.descriptors.name.clear();
    descriptorLoopWithLength(f, 0, "descriptors_loop_length", 12, s.descriptors);
    std::string summary = "event " + numberText(id) + ", " + mjdDateText(uint16_t(start >> 24), start & 0xFFFFFF) +
                          ", " + bcdDurationText(duration);
    if (!s.descriptors.name.empty()) summary += ", \"" + s.descriptors.name + "\"";
    entry.setSummary(summary, runningStatusName(running));
  }
  s.summary = "service " + numberText(s.table_id_extension) + ", " + countText(events, "event", "events");
}

void tdt(SectionScope& s) {
  const uint64_t time = s.f.has(40) ? s.f.peek(40) : 0;
  s.f.mjdDate("UTC_time");
  s.summary = mjdDateText(uint16_t(time >> 24), time & 0xFFFFFF);
}

void tot(SectionScope& s) {
  const uint64_t time = s.f.has(40) ? s.f.peek(40) : 0;
  s.f.mjdDate("UTC_time");
  descriptorLoopWithLength(s.f, 4, "descriptors_loop_length", 12, s.descriptors);
  s.summary = mjdDateText(uint16_t(time >> 24), time & 0xFFFFFF);
}

void rst(SectionScope& s) {
  FieldReader& f = s.f;
  uint64_t count = 0;
  for (; f.ok() && f.bytesLeft() >= 9; ++count) {
    FieldUnit entry(f, "event", int64_t(count));
    f.u("transport_stream_id", 16);
    f.u("original_network_id", 16);
    const uint64_t service = f.u("service_id", 16);
    const uint64_t event = f.u("event_id", 16);
    f.u("reserved_future_use", 5);
    const uint64_t running = f.uh("running_status", 3, runningStatusName);
    entry.setSummary("service " + numberText(service) + ", event " + numberText(event), runningStatusName(running));
  }
  s.summary = countText(count, "event", "events");
}

void stuffing(SectionScope& s) {
  if (s.f.bytesLeft() > 0) s.f.bytes("data_byte", s.f.bytesLeft());
}

}  // namespace corvanta::mpegts::table
