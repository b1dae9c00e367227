#include "formats/mpegts/TsSection.h"

#include "Checksums.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"

namespace corvanta::mpegts {

namespace {

namespace t = table;

// ISO/IEC 13818-1 Table 2-31, ETSI EN 300 468 Table 2, ATSC A/65 Table 4.2 (only on PSIP PIDs).
const TableType kTables[] = {
    {0x00, 0x00, false, "program_association_section", "PAT", "transport_stream_id", false, t::pat},
    {0x01, 0x01, false, "CA_section", "CAT", "reserved", false, t::cat},
    {0x02, 0x02, false, "TS_program_map_section", "PMT", "program_number", false, t::pmt},
    {0x03, 0x03, false, "TS_description_section", "TSDT", "reserved", false, t::descriptorsOnly},
    {0x04, 0x04, false, "ISO_IEC_14496_scene_description_section", "scene description", "table_id_extension", false, nullptr},
    {0x05, 0x05, false, "ISO_IEC_14496_object_descriptor_section", "object descriptors", "table_id_extension", false, nullptr},
    {0x06, 0x06, false, "metadata_section", "metadata", "table_id_extension", false, nullptr},
    {0x07, 0x07, false, "IPMP_control_information_section", "IPMP control information", "table_id_extension", false, nullptr},
    {0x3A, 0x3A, false, "DSMCC_section", "DSM-CC multiprotocol encapsulated data", "table_id_extension", false, nullptr},
    {0x3B, 0x3B, false, "DSMCC_section", "DSM-CC U-N messages", "table_id_extension", false, nullptr},
    {0x3C, 0x3C, false, "DSMCC_section", "DSM-CC download data", "table_id_extension", false, nullptr},
    {0x3D, 0x3D, false, "DSMCC_section", "DSM-CC stream descriptors", "table_id_extension", false, nullptr},
    {0x3E, 0x3E, false, "DSMCC_section", "DSM-CC private data", "table_id_extension", false, nullptr},
    {0x3F, 0x3F, false, "DSMCC_section", "DSM-CC addressable data", "table_id_extension", false, nullptr},
    {0x40, 0x40, false, "network_information_section", "NIT actual network", "network_id", false, t::nit},
    {0x41, 0x41, false, "network_information_section", "NIT other network", "network_id", false, t::nit},
    {0x42, 0x42, false, "service_description_section", "SDT actual transport stream", "transport_stream_id", false, t::sdt},
    {0x46, 0x46, false, "service_description_section", "SDT other transport stream", "transport_stream_id", false, t::sdt},
    {0x4A, 0x4A, false, "bouquet_association_section", "BAT", "bouquet_id", false, t::bat},
    {0x4E, 0x4E, false, "event_information_section", "EIT present/following, actual", "service_id", false, t::eit},
    {0x4F, 0x4F, false, "event_information_section", "EIT present/following, other", "service_id", false, t::eit},
    {0x50, 0x5F, false, "event_information_section", "EIT schedule, actual", "service_id", false, t::eit},
    {0x60, 0x6F, false, "event_information_section", "EIT schedule, other", "service_id", false, t::eit},
    {0x70, 0x70, false, "time_date_section", "TDT", "", false, t::tdt},
    {0x71, 0x71, false, "running_status_section", "RST", "", false, t::rst},
    {0x72, 0x72, false, "stuffing_section", "ST", "table_id_extension", false, t::stuffing},
    {0x73, 0x73, false, "time_offset_section", "TOT", "", true, t::tot},
    {0x74, 0x74, false, "application_information_section", "AIT", "application_type", false, nullptr},
    {0x7E, 0x7E, false, "discontinuity_information_section", "DIT", "", false, nullptr},
    {0x7F, 0x7F, false, "selection_information_section", "SIT", "table_id_extension", false, nullptr},
    {0xC7, 0xC7, true, "master_guide_table_section", "MGT", "table_id_extension", false, t::mgt},
    {0xC8, 0xC8, true, "terrestrial_virtual_channel_table_section", "TVCT", "transport_stream_id", false, t::vct},
    {0xC9, 0xC9, true, "cable_virtual_channel_table_section", "CVCT", "transport_stream_id", false, t::vct},
    {0xCA, 0xCA, true, "rating_region_table_section", "RRT", "rating_region", false, nullptr},
    {0xCB, 0xCB, true, "event_information_table_section", "ATSC EIT", "source_id", false, nullptr},
    {0xCC, 0xCC, true, "extended_text_table_section", "ETT", "ETT_table_id_extension", false, nullptr},
    {0xCD, 0xCD, true, "system_time_table_section", "STT", "table_id_extension", false, t::stt},
    {0xFC, 0xFC, false, "splice_info_section", "SCTE-35 splice information", "", true, nullptr},
};

const TableType kCaMessage = {0x80, 0x8F, false, "CA_message_section", "CA message (ECM/EMM)", "table_id_extension", false, nullptr};
const TableType kUserPrivate = {0x80, 0xFE, false, "private_section", "user private", "table_id_extension", false, nullptr};
const TableType kReserved = {0x00, 0xFF, false, "section", "reserved", "table_id_extension", false, nullptr};
const TableType kForbidden = {0xFF, 0xFF, false, "section", "forbidden", "table_id_extension", false, nullptr};

bool onAtscPid(PidRole role) { return role == PidRole::AtscBase || role == PidRole::AtscTable; }

std::string sectionLengthNote(uint8_t table_id, uint64_t length) {
  // PSI and most SI sections may hold 1021 bytes after the length, private ones 4093.
  const bool psi = table_id <= 0x03;
  const uint64_t most = psi || table_id == 0x40 || table_id == 0x41 || table_id == 0x42 || table_id == 0x46 ||
                                table_id == 0x4A
                            ? 1021
                            : 4093;
  std::string out = numberText(length) + " bytes follow";
  if (length > most) out += ", more than the " + numberText(most) + " allowed";
  return out;
}

const char* privateIndicatorName(uint8_t table_id, bool atsc_table) {
  if (table_id <= 0x03) return "'0'";
  if (atsc_table) return "private_indicator";
  return table_id >= 0x40 && table_id <= 0x7F ? "reserved_future_use" : "private_indicator";
}

}  // namespace

const TableType& lookupTable(uint8_t table_id, PidRole role) {
  for (const TableType& line : kTables)
    if (table_id >= line.first_id && table_id <= line.last_id && (!line.atsc || onAtscPid(role))) return line;
  if (table_id == 0xFF) return kForbidden;
  if (table_id >= 0x80 && table_id <= 0x8F && (role == PidRole::Ecm || role == PidRole::Emm)) return kCaMessage;
  if (table_id >= 0x80) return kUserPrivate;
  return kReserved;
}

void sectionUnit(FieldReader& f, const SectionContext& context) {
  if (!f.need(8)) return;
  const int64_t start_byte = f.bytePos();
  const auto table_id = uint8_t(f.peek(8));
  const TableType& table = lookupTable(table_id, context.role);
  FieldUnit unit(f, table.section_name);
  f.text("table_id", 8, hexText(table_id, 2), table.short_name);
  const bool long_form = f.flag("section_syntax_indicator");
  f.u(privateIndicatorName(table_id, table.atsc), 1);
  f.u("reserved", 2);
  const uint64_t length = f.has(12) ? f.peek(12) : 0;
  f.u("section_length", 12, sectionLengthNote(table_id, length));

  int64_t body_length = int64_t(length);
  uint64_t version = 0;
  uint64_t extension = 0;
  if (long_form) {
    extension = f.u(table.extension_name, 16);
    f.u("reserved", 2);
    version = f.u("version_number", 5);
    f.uh("current_next_indicator", 1, [](uint64_t v) { return std::string(v ? "current" : "next"); });
    f.u("section_number", 8);
    f.u("last_section_number", 8);
    body_length -= 5 + 4;
  } else if (table.short_form_crc) {
    body_length -= 4;
  }
  const bool has_crc = long_form || table.short_form_crc;
  if (body_length < 0) {
    f.fail();
    body_length = 0;
  }

  FieldReader body = f.sub(body_length);
  SectionScope table_scope{body, context, {}, table_id, extension, {}};
  table_scope.descriptors.atsc = context.atsc || table.atsc;
  if (table.decode && body.ok()) {
    table.decode(table_scope);
    if (!body.ok()) {
      body.recover();
      body.rest("section_data", "the fields run past section_length");
    } else {
      body.rest("extra_data", "bytes after the last field");
    }
  } else {
    body.rest("section_data", table.decode ? "" : table.short_name);
  }
  f.skipPast(body);

  std::string crc_text;
  if (has_crc && f.has(32)) {
    const int64_t crc_end = f.bytePos() + 4;
    const bool right = crc32Mpeg2(f.fileData() + start_byte, crc_end - start_byte) == 0;
    if (right) {
      crc_text = "CRC ok";
      f.text("CRC_32", 32, hexText(f.peek(32), 8), "ok");
    } else {
      const uint32_t computed = crc32Mpeg2(f.fileData() + start_byte, crc_end - 4 - start_byte);
      crc_text = "CRC mismatch";
      f.text("CRC_32", 32, hexText(f.peek(32), 8), "mismatch: computed " + hexText(computed, 8));
    }
  }

  if (!f.ok()) {
    f.recover();
    f.rest("section_data", "cut short");
  }

  std::string summary = table.short_name;
  if (!table_scope.summary.empty()) summary += ", " + table_scope.summary;
  if (long_form) summary += ", version " + numberText(version);
  if (!crc_text.empty()) summary += ", " + crc_text;
  const int64_t present = f.endByte() - start_byte;
  std::string hrf;
  if (present < context.needed) {
    hrf = "incomplete: " + numberText(uint64_t(present)) + " of " + numberText(uint64_t(context.needed)) + " bytes";
    if (context.cut) hrf += ", the rest of its PID is missing";
  }
  unit.setSummary(summary, hrf);
}

}  // namespace corvanta::mpegts
