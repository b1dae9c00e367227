#include "PieceWriter.h"

#include "ElementWriter.h"

#include <algorithm>

namespace corvanta {

PieceWriter::PieceWriter(ElementWriter& writer, const Piece& piece, bool is_last, std::string_view carrier)
    : w(writer), last(is_last) {
  begin_bit = piece.copy_begin * 8;
  end_bit = std::max(piece.copy_end, piece.copy_begin) * 8;
  shift_bits = (piece.file_begin - piece.copy_begin) * 8;
  continued_note = "continued from an earlier ";
  continued_note += carrier;
  continues_note = "continues in the next ";
  continues_note += carrier;
}

PieceWriter::~PieceWriter() {
  while (!units.empty()) closeUnit(units.back().bit);
}

namespace {

// Whether an element of `bits` bits at `bit` has bits in [begin_bit, end_bit); an empty one
// belongs to the piece it lies in, and to the last piece at its very end.
bool overlapsPiece(int64_t bit, int64_t bits, int64_t begin_bit, int64_t end_bit, bool last) {
  if (bits > 0) return bit < end_bit && bit + bits > begin_bit;
  return bit >= begin_bit && (bit < end_bit || (bit == end_bit && last));
}

}  // namespace

bool PieceWriter::overlaps(int64_t bit, int64_t bits) const {
  return overlapsPiece(bit, bits, begin_bit, end_bit, last);
}

int64_t PieceWriter::countElements(const std::vector<PieceEvent>& events, const Piece& piece, bool is_last,
                                   ElementWriter& w) {
  const int64_t begin_bit = piece.copy_begin * 8;
  const int64_t end_bit = std::max(piece.copy_end, piece.copy_begin) * 8;
  struct Unit {
    const PieceEvent* open;
    bool opened;
  };
  std::vector<Unit> units;
  int64_t count = 0;
  // As openPendingUnits: a unit is written once something of it falls in the piece.
  const auto open_pending = [&]() {
    for (Unit& unit : units) {
      if (unit.opened) continue;
      unit.opened = true;
      w.internName(unit.open->name);
      ++count;
    }
  };
  const auto close = [&](int64_t end) {
    if (units.empty()) return;
    const int64_t bit = units.back().open->bit;
    end = std::max(end, bit);
    if (!units.back().opened && overlapsPiece(bit, end - bit, begin_bit, end_bit, is_last)) open_pending();
    units.pop_back();
  };
  for (const PieceEvent& e : events) {
    switch (e.kind) {
      case PieceEvent::Kind::Open:
        units.push_back({&e, false});
        break;
      case PieceEvent::Kind::Field:
        if (!overlapsPiece(e.bit, std::max<int64_t>(e.bits, 0), begin_bit, end_bit, is_last)) break;
        open_pending();
        w.internName(e.name);
        ++count;
        break;
      case PieceEvent::Kind::Close:
        close(e.bits);
        break;
    }
  }
  while (!units.empty()) close(units.back().open->bit);
  return count;
}

std::string_view PieceWriter::withNotes(std::string_view hrf, int64_t bit, int64_t end) {
  const bool before = bit < begin_bit;
  const bool after = end > end_bit;
  if (!before && !after) return hrf;
  noted.assign(hrf.data(), hrf.size());
  for (const std::string* note : {before ? &continued_note : nullptr, after ? &continues_note : nullptr}) {
    if (!note) continue;
    if (!noted.empty()) noted += ", ";
    noted += *note;
  }
  return noted;
}

void PieceWriter::openPendingUnits() {
  for (PendingUnit& unit : units) {
    if (unit.opened) continue;
    const int64_t start = std::max(unit.bit, begin_bit);
    const std::string_view hrf = unit.bit < begin_bit ? std::string_view(continued_note) : std::string_view();
    const int64_t id = w.openUnit(unit.name, start + shift_bits, end_bit - start, unit.raw, hrf, unit.seq);
    if (first_id == 0) first_id = id;
    unit.opened = true;
  }
}

void PieceWriter::addField(std::string_view name, int64_t bit, int64_t bits, std::string_view raw,
                           std::string_view hrf, int64_t seq) {
  bits = std::max<int64_t>(bits, 0);
  if (recorded) recorded->push_back({PieceEvent::Kind::Field, bit, bits, std::string(name)});
  if (!overlaps(bit, bits)) return;
  openPendingUnits();
  const int64_t start = std::max(bit, begin_bit);
  const int64_t end = std::max(start, std::min(bit + bits, end_bit));
  const int64_t id = w.addField(name, start + shift_bits, end - start, raw, withNotes(hrf, bit, bit + bits), seq);
  if (first_id == 0) first_id = id;
}

void PieceWriter::openUnit(std::string_view name, int64_t bit, int64_t seq) {
  if (recorded) recorded->push_back({PieceEvent::Kind::Open, bit, 0, std::string(name)});
  PendingUnit& unit = units.emplace_back();
  unit.name.assign(name.data(), name.size());
  unit.bit = bit;
  unit.seq = seq;
}

void PieceWriter::setUnitValue(std::string_view raw, std::string_view hrf) {
  if (units.empty()) return;
  PendingUnit& unit = units.back();
  unit.raw.assign(raw.data(), raw.size());
  unit.hrf.assign(hrf.data(), hrf.size());
  unit.has_value = true;
}

void PieceWriter::closeUnit(int64_t end) {
  if (units.empty()) return;
  if (recorded) recorded->push_back({PieceEvent::Kind::Close, 0, end, {}});
  PendingUnit& unit = units.back();
  end = std::max(end, unit.bit);
  if (!unit.opened && overlaps(unit.bit, end - unit.bit)) openPendingUnits();
  if (unit.opened) {
    const int64_t start = std::max(unit.bit, begin_bit);
    const int64_t stop = std::max(start, std::min(end, end_bit));
    if (unit.has_value || end > end_bit) w.setUnitValue(unit.raw, withNotes(unit.hrf, unit.bit, end));
    w.closeUnit(stop - start);
  }
  units.pop_back();
}

}  // namespace corvanta
