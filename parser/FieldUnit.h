#pragma once

#include "ElementWriter.h"
#include "FieldReader.h"

#include <string_view>

namespace corvanta {

// A unit opened at the reader's position for the fields read while it lives. It closes at the
// position reached, so a unit cut short by a broken or truncated payload ends at its last good
// field and what follows can still be shown by the caller.
class FieldUnit {
 public:
  FieldUnit(FieldReader& reader, std::string_view name, int64_t seq = -1)
      : f(reader), start(reader.bitPos()) {
    f.openUnit(name, seq);
  }
  // With its summary known before its fields: it goes out with the unit's row, and costs no copy
  // that a later setSummary would make.
  FieldUnit(FieldReader& reader, std::string_view name, int64_t seq, std::string_view raw, std::string_view hrf = {})
      : f(reader), start(reader.bitPos()) {
    f.openUnit(name, seq, raw, hrf);
  }
  ~FieldUnit() { f.closeUnit(start); }
  FieldUnit(const FieldUnit&) = delete;
  FieldUnit& operator=(const FieldUnit&) = delete;

  // The unit's summary; call it while no inner unit is open.
  void setSummary(std::string_view raw, std::string_view hrf = {}) { f.setUnitValue(raw, hrf); }

 private:
  FieldReader& f;
  int64_t start;
};

}  // namespace corvanta
