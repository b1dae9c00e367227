#pragma once

#include <QtGlobal>

#include <vector>

// The ids of the visible rows of the tree, ascending, held as runs of ids with a constant step:
// consecutive ids (the open part of a subtree) are one run of step 1, and closed siblings of the
// same element count (a stream's packets) one run whose step is that count. So tens of millions
// of top-level rows cost a few bytes per run instead of eight bytes per row.
//
// The runs are kept in chunks of a bounded number of runs, with the rows and the first id of
// every chunk summed up beside them: a lookup by row or by id is two binary searches and a short
// scan, and opening or closing an element edits one chunk and the sums after it.
class VisibleRows {
 public:
  qint64 size() const { return total_rows; }
  bool empty() const { return total_rows == 0; }
  qint64 back() const;

  // Id of row `row` (0 <= row < size()).
  qint64 at(qint64 row) const;
  // The first row whose id is at least `id` (greater than `id` for upperBound); size() when none.
  qint64 lowerBound(qint64 id) const;
  qint64 upperBound(qint64 id) const;
  // Row of `id`, -1 when it is not a row.
  qint64 rowOf(qint64 id) const;

  // Adds an id after the last row; it must be greater than back().
  void append(qint64 id);
  // Puts `rows` before row `row` (at the end when row == size()); their ids must lie between
  // the rows around that place.
  void insert(qint64 row, const VisibleRows& rows);
  // Removes `count` rows from row `row` on.
  void erase(qint64 row, qint64 count);
  void clear();

  // Number of runs and the bytes they take, for tests and benchmarks.
  qint64 runCount() const;
  qint64 memoryBytes() const;

 private:
  struct Run {
    qint64 first = 0;
    quint32 step = 1;  // meaningless while count is 1
    quint32 count = 1;
    qint64 last() const { return first + qint64(step) * (count - 1); }
    qint64 idAt(qint64 k) const { return first + qint64(step) * k; }
  };
  struct Chunk {
    std::vector<Run> runs;
    qint64 rows = 0;
  };
  // Where one row lies: its chunk, its run in the chunk and its place in the run.
  struct Place {
    size_t chunk = 0;
    size_t run = 0;
    qint64 offset = 0;
  };

  static constexpr size_t kChunkRuns = 256;

  static bool extend(Run& run, qint64 id);
  static bool join(Run& left, const Run& right);
  static qint64 rowsOf(const std::vector<Run>& runs);
  Place placeOfRow(qint64 row) const;
  size_t chunkHoldingId(qint64 id) const;
  void appendRun(const Run& run);
  void splitRunAt(Place& place);
  void joinAround(size_t chunk, size_t run);
  void mergeSmallChunk(size_t chunk);
  void splitLargeChunk(size_t chunk);
  void updateSums(size_t from_chunk);

  std::vector<Chunk> chunks;
  std::vector<qint64> rows_before;  // rows of the chunks before chunk i
  std::vector<qint64> first_ids;    // first id of chunk i
  qint64 total_rows = 0;
};
