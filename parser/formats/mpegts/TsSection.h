#pragma once

#include "formats/mpegts/TsDescriptors.h"
#include "formats/mpegts/TsProgramMap.h"

#include <cstdint>
#include <string>

namespace corvanta {
class FieldReader;
}

namespace corvanta::mpegts {

// What decoding a section depends on besides its bytes.
struct SectionContext {
  PidRole role = PidRole::Unreferenced;  // of the PID that carries it
  bool atsc = false;     // PSIP tables in the file
  bool blu_ray = false;  // user-private stream types read as Blu-ray's
  int64_t needed = 0;    // 3 + section_length, from the section's first bytes
  bool cut = false;      // its PID broke off before the section was complete
};

// What a table decoder is given: a reader over the table's fields, after the section header and
// before CRC_32.
struct SectionScope {
  FieldReader& f;
  const SectionContext& context;
  DescriptorContext descriptors;
  uint8_t table_id = 0;
  uint64_t table_id_extension = 0;
  std::string summary;  // the table's part of the section's summary: "program 1, 2 streams"
};

using TableDecoder = void (*)(SectionScope&);

// One line of the table_id table: the range it covers, whether it holds only on ATSC PSIP PIDs,
// the name of the section's unit, the table's short name, the name of table_id_extension in the
// long form, whether a CRC_32 ends the section in the short form too, and the decoder (none:
// the table's fields stay one opaque field).
struct TableType {
  uint8_t first_id;
  uint8_t last_id;
  bool atsc;
  const char* section_name;
  const char* short_name;
  const char* extension_name;
  bool short_form_crc;
  TableDecoder decode;
};

// The line for `table_id` on a PID with this role.
const TableType& lookupTable(uint8_t table_id, PidRole role);

// Writes one whole section from the reader's position, which the reader ends with (a section
// cut short ends where its gathered bytes do): a unit named for its table with the section
// header, the table's fields and the CRC_32 checked against the bytes.
void sectionUnit(FieldReader& f, const SectionContext& context);

// Decoders of the table_id table.
namespace table {
// ISO/IEC 13818-1 (TsTablesPsi.cpp)
void pat(SectionScope& s);
void cat(SectionScope& s);
void pmt(SectionScope& s);
void descriptorsOnly(SectionScope& s);
// ETSI EN 300 468 (TsTablesDvb.cpp)
void nit(SectionScope& s);
void bat(SectionScope& s);
void sdt(SectionScope& s);
void eit(SectionScope& s);
void tdt(SectionScope& s);
void tot(SectionScope& s);
void rst(SectionScope& s);
void stuffing(SectionScope& s);
// ATSC A/65 (TsTablesAtsc.cpp)
void mgt(SectionScope& s);
void vct(SectionScope& s);
void stt(SectionScope& s);
}  // namespace table

}  // namespace corvanta::mpegts
