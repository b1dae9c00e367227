#pragma once

#include "ElementWriter.h"

#include <cstdint>
#include <vector>

namespace corvanta {

// The lazy units of an analysis, numbered 0, 1, ... in the order the module wrote them, and the
// id range each one reserves, kept in a few bytes per unit: the id count of each unit, the first
// id of every kGroup-th unit, and, sparsely, the stored rows between units and the places where
// the units' parent changes. A unit recorded as stored has its rows in the stored table; it only
// keeps the numbering of the units after it.
class LazyIndex {
 public:
  // Units per group: the first id of a unit is found by adding at most this many counts.
  static constexpr int64_t kGroup = 64;

  // Records the next unit; `lazy` false when its rows were written after all.
  void add(const LazyUnitPlace& place, int64_t count, bool lazy);

  int64_t unitCount() const { return int64_t(counts.size()); }
  bool empty() const { return counts.empty(); }
  // Ids of unit `unit` (its subtree), and whether its rows are decoded on demand.
  int64_t idCount(int64_t unit) const {
    const uint8_t count = counts[size_t(unit)];
    return count != kEscape ? count : largeUnit(unit).count;
  }
  bool isLazy(int64_t unit) const;
  int64_t firstId(int64_t unit) const;
  // The place of unit `unit`, with its first id.
  LazyUnitPlace place(int64_t unit) const;
  // The lazy unit whose id range holds `id`, or -1 (a stored row, or no row).
  int64_t unitHolding(int64_t id) const;
  // The first unit whose first id is at least `id` (unitCount() when none), and the last unit
  // whose first id is at most `id` (-1 when none).
  int64_t firstUnitFrom(int64_t id) const;
  int64_t lastUnitUpTo(int64_t id) const;
  // Stored rows between unit `unit` - 1 and unit `unit` (before unit 0: from id 1).
  int64_t gapBefore(int64_t unit) const;
  // The parent id of the units of the run that holds `unit`.
  int64_t parentOf(int64_t unit) const { return runOf(unit).parent_id; }
  int32_t levelOf(int64_t unit) const { return runOf(unit).level; }
  // The first unit after `unit` whose parent differs, unitCount() when none.
  int64_t runEnd(int64_t unit) const;
  // The first unit of the run that holds `unit`.
  int64_t runBegin(int64_t unit) const;

  // Bytes held, for the benchmark.
  int64_t memoryBytes() const;

 private:
  // Units in a row under one parent.
  struct Run {
    int64_t first_unit = 0;
    int64_t parent_id = 0;
    int32_t level = 0;
    int64_t low = 0;
    int64_t high = 0;
  };
  // One byte a unit: the packets, frames and samples that make most units hold fewer ids. Larger
  // units (clusters, pages) are few, and so are the stored ones.
  static constexpr uint8_t kEscape = 0xFF;  // the count is in `large`
  struct Large {
    int64_t unit = 0;
    int64_t count = 0;
    bool lazy = false;
  };

  const Run& runOf(int64_t unit) const;
  const Large& largeUnit(int64_t unit) const;

  std::vector<uint8_t> counts;
  std::vector<Large> large;  // units of kEscape or more ids, and stored units, by unit
  std::vector<int64_t> group_first;  // first id of unit g * kGroup
  std::vector<std::pair<int64_t, int64_t>> gaps;  // (unit, stored ids before it), by unit
  std::vector<Run> runs;
  int64_t next_id = 1;  // the id after the last unit recorded
};

}  // namespace corvanta
