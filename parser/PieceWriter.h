#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

class ElementWriter;

// What a decoder sent to a piece writer, in the copy's bits, whatever piece it fell in: enough
// to tell how many elements each piece of the structure gets without decoding it again.
struct PieceEvent {
  enum class Kind : uint8_t { Open, Field, Close };
  Kind kind = Kind::Field;
  int64_t bit = 0;
  int64_t bits = 0;  // a field's size; a close's end bit
  std::string name;  // of an opened unit or a field
};

// One stretch of a structure that the file spreads over several carriers (a PSI section or a
// PES header over transport packets): where its bytes lie in the contiguous copy that a
// decoder reads, and where they lie in the file.
struct Piece {
  int64_t copy_begin = 0;  // bytes of the copy
  int64_t copy_end = 0;
  int64_t file_begin = 0;  // the file byte of copy_begin
};

// Writes what falls into one piece while a decoder reads the whole structure from its copy.
// A field reader given this writer (FieldReader::setPieceWriter) sends every element here:
// - an element inside the piece goes to the element writer at its file position;
// - an element that crosses an edge of the piece is cut at the edge, keeps its whole value
//   and says that it is continued from an earlier carrier or continues in a later one;
// - an element outside the piece is dropped.
// A unit opens only once something of its bits lies in the piece, so each carrier holds just
// the parts of the units it has bits of. The decoder runs once per piece, each time while
// that piece's carrier is the innermost open unit, and every element stays one contiguous
// range of the file.
class PieceWriter {
 public:
  // `carrier` names the carrier in the notes ("packet": "continues in the next packet").
  // `last`: no piece follows this one (an empty element at its very end still belongs to it).
  PieceWriter(ElementWriter& writer, const Piece& piece, bool last, std::string_view carrier = "packet");
  ~PieceWriter();
  PieceWriter(const PieceWriter&) = delete;
  PieceWriter& operator=(const PieceWriter&) = delete;

  // Bits are positions in the copy.
  void addField(std::string_view name, int64_t bit, int64_t bits, std::string_view raw, std::string_view hrf,
                int64_t seq);
  void openUnit(std::string_view name, int64_t bit, int64_t seq);
  void setUnitValue(std::string_view raw, std::string_view hrf);
  void closeUnit(int64_t end_bit);
  // The id of the first element this writer sent to the element writer, 0 for none.
  int64_t firstElementId() const { return first_id; }

  // Keeps every call from now on in `events` too, whether it falls in this piece or not.
  void record(std::vector<PieceEvent>* events) { recorded = events; }
  // How many elements a piece writer for `piece` would write for the calls in `events`, with
  // their names interned in `w` as writing them would; the count a carrier's piece adds to it.
  static int64_t countElements(const std::vector<PieceEvent>& events, const Piece& piece, bool last,
                               ElementWriter& w);

 private:
  struct PendingUnit {
    std::string name;
    int64_t bit = 0;
    int64_t seq = -1;
    bool opened = false;
    bool has_value = false;
    std::string raw, hrf;
  };

  // True when an element of `bits` bits at `bit` has bits in the piece (an empty one: lies in it).
  bool overlaps(int64_t bit, int64_t bits) const;
  // The readable value with the notes of an element over [bit, end).
  std::string_view withNotes(std::string_view hrf, int64_t bit, int64_t end);
  void openPendingUnits();

  ElementWriter& w;
  bool last;
  int64_t begin_bit, end_bit, shift_bits;
  std::string continued_note, continues_note;
  std::vector<PendingUnit> units;
  std::string noted;  // reused for readable values with notes
  int64_t first_id = 0;
  std::vector<PieceEvent>* recorded = nullptr;
};

}  // namespace corvanta
