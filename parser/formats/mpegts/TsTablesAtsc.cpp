// Decoders of the ATSC PSIP tables (A/65, 6).
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/mpegts/TsSection.h"

namespace corvanta::mpegts::table {

namespace {

// Seconds from 1970-01-01 to the GPS epoch, 1980-01-06.
constexpr int64_t kGpsEpoch = 315964800;

const ValueName kModulationModes[] = {{0x01, "analog"}, {0x02, "SCTE mode 1 (64-QAM)"}, {0x03, "SCTE mode 2 (256-QAM)"},
                                      {0x04, "ATSC 8-VSB"}, {0x05, "ATSC 16-VSB"}};
const ValueName kAtscServiceTypes[] = {{0x01, "analog television"}, {0x02, "ATSC digital television"},
                                       {0x03, "ATSC audio"}, {0x04, "ATSC data only service"},
                                       {0x05, "ATSC software download service"}};
const ValueName kEtmLocations[] = {{0, "no ETM"}, {1, "ETM in the PTC carrying this PSIP"},
                                   {2, "ETM in the PTC of the channel"}, {3, "reserved"}};

std::string tableTypeName(uint64_t type) {
  if (type == 0x0000) return "terrestrial VCT, current";
  if (type == 0x0001) return "terrestrial VCT, next";
  if (type == 0x0002) return "cable VCT, current";
  if (type == 0x0003) return "cable VCT, next";
  if (type == 0x0004) return "channel ETT";
  if (type == 0x0005) return "DCCSCT";
  if (type >= 0x0100 && type <= 0x017F) return "EIT-" + numberText(type - 0x0100);
  if (type >= 0x0200 && type <= 0x027F) return "event ETT-" + numberText(type - 0x0200);
  if (type >= 0x0301 && type <= 0x03FF) return "RRT for rating region " + numberText(type - 0x0300);
  if (type >= 0x1400 && type <= 0x14FF) return "DCCT " + numberText(type - 0x1400);
  return "reserved";
}

}  // namespace

void mgt(SectionScope& s) {
  FieldReader& f = s.f;
  f.u("protocol_version", 8);
  const uint64_t declared = f.u("tables_defined", 16);
  uint64_t tables = 0;
  for (; tables < declared && f.ok() && f.bytesLeft() >= 11; ++tables) {
    FieldUnit entry(f, "table", int64_t(tables));
    const uint64_t type = f.uh("table_type", 16, tableTypeName);
    f.u("reserved", 3);
    const uint64_t pid = f.uh("table_type_PID", 13, [](uint64_t v) { return hexText(v, 4); });
    f.u("reserved", 3);
    f.u("table_type_version_number", 5);
    f.u("number_bytes", 32, "bytes");
    descriptorLoopWithLength(f, 4, "table_type_descriptors_length", 12, s.descriptors);
    entry.setSummary(tableTypeName(type) + " on PID " + hexText(pid, 4));
  }
  descriptorLoopWithLength(f, 4, "descriptors_length", 12, s.descriptors);
  s.summary = numberText(tables) + (tables == 1 ? " table" : " tables");
}

void vct(SectionScope& s) {
  FieldReader& f = s.f;
  const bool cable = s.table_id == 0xC9;
  f.u("protocol_version", 8);
  const uint64_t declared = f.u("num_channels_in_section", 8);
  uint64_t channels = 0;
  for (; channels < declared && f.ok() && f.bytesLeft() >= 32; ++channels) {
    FieldUnit entry(f, "channel", int64_t(channels));
    const std::string name = f.fixedString("short_name", 14, TextEncoding::Utf16Be);
    f.u("reserved", 4);
    const uint64_t major = f.u("major_channel_number", 10);
    const uint64_t minor = f.u("minor_channel_number", 10);
    f.uh("modulation_mode", 8, [](uint64_t v) { return nameText(kModulationModes, v); });
    f.u("carrier_frequency", 32, "Hz");
    f.u("channel_TSID", 16);
    f.u("program_number", 16);
    f.uh("ETM_location", 2, [](uint64_t v) { return nameText(kEtmLocations, v); });
    f.u("access_controlled", 1);
    f.u("hidden", 1);
    if (cable) {
      f.u("path_select", 1);
      f.u("out_of_band", 1);
    } else {
      f.u("reserved", 2);
    }
    f.u("hide_guide", 1);
    f.u("reserved", 3);
    f.uh("service_type", 6, [](uint64_t v) { return nameText(kAtscServiceTypes, v); });
    f.u("source_id", 16);
    descriptorLoopWithLength(f, 6, "descriptors_length", 10, s.descriptors);
    entry.setSummary(numberText(major) + "." + numberText(minor) + " \"" + name + "\"");
  }
  descriptorLoopWithLength(f, 6, "additional_descriptors_length", 10, s.descriptors);
  s.summary = numberText(channels) + (channels == 1 ? " channel" : " channels");
}

void stt(SectionScope& s) {
  FieldReader& f = s.f;
  f.u("protocol_version", 8);
  const uint64_t gps = f.has(40) ? f.peek(32) : 0;
  const uint64_t offset = f.has(40) ? f.peek(40) & 0xFF : 0;
  const std::string utc = unixDateText(kGpsEpoch + int64_t(gps) - int64_t(offset));
  f.u("system_time", 32, utc);
  f.u("GPS_UTC_offset", 8, "seconds");
  f.uh("DS_status", 1, [](uint64_t v) { return std::string(v ? "daylight saving time" : "standard time"); });
  f.u("reserved", 2);
  f.u("DS_day_of_month", 5);
  f.u("DS_hour", 8);
  descriptorLoop(f, s.descriptors);
  s.summary = utc;
}

}  // namespace corvanta::mpegts::table
