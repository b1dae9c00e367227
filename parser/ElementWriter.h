#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;

namespace corvanta {

class TimingWriter;
class LazyIndex;
struct RowBlock;

// Name ids as the dictionary holds them.
using NameIds = std::unordered_map<std::string, int32_t>;

// Where a lazy unit stands in the tree: what its decoding again needs to hand out the same
// ids and levels and to clamp the same way.
struct LazyUnitPlace {
  int64_t first_id = 1;
  int64_t parent_id = 0;
  int32_t level = 0;
  int64_t low = 0;    // the bit range of the innermost open unit (or of the file) around it
  int64_t high = 0;
};

// The name of a stretch of bytes that belongs to no recognisable structure.
inline constexpr std::string_view kGarbageName = "d771bd4e-a2e6-46e3-ad1c-1aafa1b60c87";

// Writes the element tree of one file into the element database, in pre-order.
//
// Every format module writes through this class only. Ids are handed out in
// call order (pre-order), so a unit's children must be added between its
// openUnit and closeUnit. All offsets and sizes are in bits from the start of
// the file. A sequence number of -1 means "none".
//
// The writer keeps the tree consistent whatever a module does: closeUnit on an
// empty stack is ignored, finish() closes units left open, and a child that runs
// past its open parent is clamped to the parent's declared end.
//
// Clamping: an element is kept inside the bit range of its innermost open unit
// (or of the file, see setFileSize). A part that lies outside is cut off and the
// element's readable value says "truncated"; an element that starts past the end
// becomes an empty (size 0) element at the end, also marked "truncated". Units
// nest at most kMaxDepth deep; an openUnit beyond that adds a leaf and its
// children become its siblings, so a hostile file cannot exhaust the stack.
//
// Rows are collected in blocks. A file that fills more than one block gets a second
// thread that inserts each full block while the module goes on parsing; the calls
// below are still made from one thread only, and they never wait for SQLite unless
// the inserting thread falls two blocks behind. An SQLite error shows in finish().
class ElementWriter {
 public:
  // `db` must be open with the element schema created (see ElementDatabase); nothing
  // else may use it until finish() returns or the writer is destroyed.
  explicit ElementWriter(sqlite3* db);
  // A writer that keeps the tree's bookkeeping (ids, clamping, depth) and drops every row:
  // for running a decoder only for what it learns (the parameter sets of a configuration
  // record that the file stores after the frames that need them).
  struct CountOnly {};
  explicit ElementWriter(CountOnly);
  // A writer that collects the rows of one lazy unit decoded again (see startCollecting),
  // with the name ids of the analysis that counted it.
  struct Collect {};
  explicit ElementWriter(Collect);
  static constexpr int kMaxDepth = 64;
  // Ids the viewer can number (it reads the count as a 32-bit integer); a writer asked for more
  // fails.
  static constexpr int64_t kMostElements = 2147483647;
  ~ElementWriter();
  ElementWriter(const ElementWriter&) = delete;
  ElementWriter& operator=(const ElementWriter&) = delete;

  // Opens a unit that will hold children; returns its id. `bit_size` is its declared
  // extent (may be changed by closeUnit); the summary may be set later by setUnitValue.
  // Children are kept inside the declared extent, so a unit whose size is known only
  // at the end declares the most it may take (innermostEnd() - bit_offset) and passes
  // the real size to closeUnit.
  int64_t openUnit(std::string_view name, int64_t bit_offset, int64_t bit_size,
                   std::string_view raw_value = {}, std::string_view hrf_value = {},
                   int64_t seq_num = -1);
  // Replaces the summary values of the innermost open unit.
  void setUnitValue(std::string_view raw_value, std::string_view hrf_value = {});
  // Closes the innermost open unit, keeping its declared size.
  void closeUnit();
  // Closes the innermost open unit with a final size in bits.
  void closeUnit(int64_t bit_size);

  // Adds a leaf element under the innermost open unit (or at top level); returns its id.
  int64_t addField(std::string_view name, int64_t bit_offset, int64_t bit_size,
                   std::string_view raw_value, std::string_view hrf_value = {},
                   int64_t seq_num = -1);
  // Adds a GARBAGE leaf for bytes that belong to no structure.
  int64_t addGarbage(int64_t bit_offset, int64_t bit_size);

  // Writes no element below `level` (a top-level element has level 0; -1, the default, for no
  // limit): a unit at that level is written without its children, and what a module adds below
  // it takes no id (the calls return the id of the unit it falls into). For files whose every
  // field would number more elements than the viewer can.
  void setDeepestLevel(int level);

  // Bounds top-level elements to [0, bit_size) of the file (default: unbounded).
  void setFileSize(int64_t bit_size);

  int depth() const;                 // number of open units
  int64_t elementCount() const;      // ids handed out so far
  int64_t innermostEnd() const;      // declared end bit of the innermost open unit, or INT64_MAX

  // The timing facts (streams, frames, faults) of this file, written by finish() in the same
  // transaction. A count-only writer's drops everything, so that a decoder run only to learn
  // adds no frames.
  TimingWriter& timing();

  // Closes any open units, writes the remaining rows, waits for the inserting thread to
  // end, and commits. Returns false with errorString() on an SQLite error. A writer
  // destroyed without finish() stops its thread and ends the transaction; the database
  // has no journal, so the rows written so far stay and the caller discards it.
  bool finish();
  QString errorString() const;

  // Lazy units. Once recordLazyUnits is called, the unit a module writes between beginLazyUnit
  // and endLazyUnit (one element and its subtree) gets its ids as usual, but its rows are
  // dropped and its place and id count go to `index`, from which it is decoded again on
  // demand. A bracket that holds other than one element, or that closes a unit opened
  // before it, is written as usual and recorded as a stored unit. Without an index both calls
  // do nothing.
  void recordLazyUnits(LazyIndex* index);
  void beginLazyUnit();
  void endLazyUnit();
  // A lazy unit whose id count the module knows without writing its rows (a packet whose
  // elements follow from its header bytes): one element at `bit_offset` of `bit_size` bits with
  // `count` ids in its subtree, recorded as beginLazyUnit, the unit and endLazyUnit would record
  // it. Returns the unit's id, or -1 when it cannot be recorded so (no index, a lazy unit open,
  // a range the writer would clamp): the module then writes the unit the usual way.
  int64_t addCountedLazyUnit(int64_t bit_offset, int64_t bit_size, int64_t count);
  // The names interned so far.
  NameIds nameIds() const;
  // Interns `name` as writing an element of that name would, without a row: for the elements of
  // a counted lazy unit, which decoding it again names.
  void internName(std::string_view name);

  // Collecting writers: the name ids of the analysis (a name it never met gets id 0).
  void setKnownNames(std::shared_ptr<const NameIds> names);
  // Collecting writers: starts the rows of one lazy unit afresh at its place in the tree.
  void startCollecting(const LazyUnitPlace& place);
  // Closes the units left open and gives the rows collected since startCollecting.
  const RowBlock& collectedRows();
  // A name that the analysis never met was written since startCollecting (the bytes changed).
  bool metUnknownName() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};

}  // namespace corvanta
