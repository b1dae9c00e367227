#include "LazyIndex.h"

#include <algorithm>

namespace corvanta {

void LazyIndex::add(const LazyUnitPlace& place, int64_t count, bool lazy) {
  const int64_t unit = unitCount();
  if (place.first_id > next_id)
    gaps.emplace_back(unit, place.first_id - next_id);
  if (unit % kGroup == 0)
    group_first.push_back(place.first_id);
  if (runs.empty() || runs.back().parent_id != place.parent_id || runs.back().level != place.level ||
      runs.back().low != place.low || runs.back().high != place.high)
    runs.push_back({unit, place.parent_id, place.level, place.low, place.high});
  if (lazy && count < kEscape) {
    counts.push_back(uint8_t(count));
  } else {
    counts.push_back(kEscape);
    large.push_back({unit, count, lazy});
  }
  next_id = place.first_id + count;
}

bool LazyIndex::isLazy(int64_t unit) const {
  if (unit < 0 || unit >= unitCount())
    return false;
  return counts[size_t(unit)] != kEscape || largeUnit(unit).lazy;
}

const LazyIndex::Large& LazyIndex::largeUnit(int64_t unit) const {
  return *std::lower_bound(large.begin(), large.end(), unit,
                           [](const Large& entry, int64_t u) { return entry.unit < u; });
}

int64_t LazyIndex::gapBefore(int64_t unit) const {
  const auto found = std::lower_bound(gaps.begin(), gaps.end(), std::make_pair(unit, int64_t(0)));
  return found != gaps.end() && found->first == unit ? found->second : 0;
}

int64_t LazyIndex::firstId(int64_t unit) const {
  const int64_t group = unit / kGroup;
  int64_t id = group_first[size_t(group)];
  auto gap = std::lower_bound(gaps.begin(), gaps.end(), std::make_pair(group * kGroup + 1, int64_t(0)));
  for (int64_t k = group * kGroup; k < unit; ++k) {
    id += idCount(k);
    if (gap != gaps.end() && gap->first == k + 1) {
      id += gap->second;
      ++gap;
    }
  }
  return id;
}

const LazyIndex::Run& LazyIndex::runOf(int64_t unit) const {
  const auto after = std::upper_bound(runs.begin(), runs.end(), unit,
                                      [](int64_t u, const Run& run) { return u < run.first_unit; });
  return *(after - 1);
}

int64_t LazyIndex::runEnd(int64_t unit) const {
  const auto after = std::upper_bound(runs.begin(), runs.end(), unit,
                                      [](int64_t u, const Run& run) { return u < run.first_unit; });
  return after == runs.end() ? unitCount() : after->first_unit;
}

int64_t LazyIndex::runBegin(int64_t unit) const {
  return runOf(unit).first_unit;
}

LazyUnitPlace LazyIndex::place(int64_t unit) const {
  const Run& run = runOf(unit);
  LazyUnitPlace place;
  place.first_id = firstId(unit);
  place.parent_id = run.parent_id;
  place.level = run.level;
  place.low = run.low;
  place.high = run.high;
  return place;
}

int64_t LazyIndex::lastUnitUpTo(int64_t id) const {
  const auto after = std::upper_bound(group_first.begin(), group_first.end(), id);
  if (after == group_first.begin())
    return -1;
  const int64_t group = (after - group_first.begin()) - 1;
  int64_t unit = group * kGroup;
  int64_t first = group_first[size_t(group)];
  const int64_t end = std::min(unitCount(), unit + kGroup);
  while (unit + 1 < end) {
    const int64_t next = first + idCount(unit) + gapBefore(unit + 1);
    if (next > id)
      break;
    first = next;
    ++unit;
  }
  return unit;
}

int64_t LazyIndex::firstUnitFrom(int64_t id) const {
  const int64_t unit = lastUnitUpTo(id);
  if (unit < 0)
    return 0;
  return firstId(unit) == id ? unit : unit + 1;
}

int64_t LazyIndex::unitHolding(int64_t id) const {
  const int64_t unit = lastUnitUpTo(id);
  if (unit < 0 || !isLazy(unit))
    return -1;
  return id < firstId(unit) + idCount(unit) ? unit : -1;
}

int64_t LazyIndex::memoryBytes() const {
  return int64_t(counts.capacity() * sizeof(counts[0]) + group_first.capacity() * sizeof(int64_t) +
                 gaps.capacity() * sizeof(gaps[0]) + runs.capacity() * sizeof(Run) + large.capacity() * sizeof(Large));
}

}  // namespace corvanta
