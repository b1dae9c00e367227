#include "VisibleRows.h"

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 kMaxRunValue = std::numeric_limits<quint32>::max();

}  // namespace

// ---------------------------------------------------------------------------------------
// Runs

// Adds `id` to the end of `run` when it continues the run's step (any step for a single id).
bool VisibleRows::extend(Run& run, qint64 id) {
  if (run.count >= kMaxRunValue) return false;
  const qint64 distance = id - run.last();
  if (run.count == 1) {
    if (distance <= 0 || distance > kMaxRunValue) return false;
    run.step = quint32(distance);
  } else if (distance != qint64(run.step)) {
    return false;
  }
  ++run.count;
  return true;
}

// Makes `left` hold `right` too when the two form one run.
bool VisibleRows::join(Run& left, const Run& right) {
  if (right.count == 1) return extend(left, right.first);
  if (qint64(left.count) + right.count > kMaxRunValue) return false;
  const qint64 distance = right.first - left.last();
  if (distance != qint64(right.step) || (left.count > 1 && left.step != right.step)) return false;
  left.step = right.step;
  left.count += right.count;
  return true;
}

qint64 VisibleRows::rowsOf(const std::vector<Run>& runs) {
  qint64 rows = 0;
  for (const Run& run : runs) rows += run.count;
  return rows;
}

// ---------------------------------------------------------------------------------------
// Lookups

qint64 VisibleRows::back() const {
  if (chunks.empty()) return 0;
  return chunks.back().runs.back().last();
}

VisibleRows::Place VisibleRows::placeOfRow(qint64 row) const {
  Place place;
  place.chunk = size_t(std::upper_bound(rows_before.begin(), rows_before.end(), row) - rows_before.begin()) - 1;
  const std::vector<Run>& runs = chunks[place.chunk].runs;
  qint64 offset = row - rows_before[place.chunk];
  size_t run = 0;
  while (run + 1 < runs.size() && offset >= qint64(runs[run].count)) {
    offset -= runs[run].count;
    ++run;
  }
  place.run = run;
  place.offset = offset;
  return place;
}

qint64 VisibleRows::at(qint64 row) const {
  if (row < 0 || row >= total_rows) return 0;
  const Place place = placeOfRow(row);
  return chunks[place.chunk].runs[place.run].idAt(place.offset);
}

// The last chunk whose first id is at most `id`, or chunk 0 when `id` lies before them all.
size_t VisibleRows::chunkHoldingId(qint64 id) const {
  const auto after = std::upper_bound(first_ids.begin(), first_ids.end(), id);
  return after == first_ids.begin() ? 0 : size_t(after - first_ids.begin()) - 1;
}

qint64 VisibleRows::lowerBound(qint64 id) const {
  if (chunks.empty() || id <= first_ids.front()) return 0;
  const size_t chunk = chunkHoldingId(id);
  const std::vector<Run>& runs = chunks[chunk].runs;
  const auto after = std::upper_bound(runs.begin(), runs.end(), id,
                                      [](qint64 value, const Run& run) { return value < run.first; });
  const size_t holder = size_t(after - runs.begin()) - 1;
  qint64 row = rows_before[chunk];
  for (size_t i = 0; i < holder; ++i) row += runs[i].count;
  const Run& run = runs[holder];
  if (id > run.last()) return row + run.count;
  // Rounded up: the first id of the run at or after `id`.
  return row + (id - run.first + run.step - 1) / run.step;
}

qint64 VisibleRows::upperBound(qint64 id) const {
  if (id == std::numeric_limits<qint64>::max()) return total_rows;
  return lowerBound(id + 1);
}

qint64 VisibleRows::rowOf(qint64 id) const {
  const qint64 row = lowerBound(id);
  return row < total_rows && at(row) == id ? row : -1;
}

qint64 VisibleRows::runCount() const {
  qint64 runs = 0;
  for (const Chunk& chunk : chunks) runs += qint64(chunk.runs.size());
  return runs;
}

qint64 VisibleRows::memoryBytes() const {
  qint64 bytes = qint64(chunks.capacity() * sizeof(Chunk) + rows_before.capacity() * sizeof(qint64) +
                        first_ids.capacity() * sizeof(qint64));
  for (const Chunk& chunk : chunks) bytes += qint64(chunk.runs.capacity() * sizeof(Run));
  return bytes;
}

// ---------------------------------------------------------------------------------------
// Changes

void VisibleRows::clear() {
  std::vector<Chunk>().swap(chunks);
  std::vector<qint64>().swap(rows_before);
  std::vector<qint64>().swap(first_ids);
  total_rows = 0;
}

void VisibleRows::append(qint64 id) {
  if (!chunks.empty() && extend(chunks.back().runs.back(), id)) {
    ++chunks.back().rows;
    ++total_rows;
    return;
  }
  if (chunks.empty() || chunks.back().runs.size() >= kChunkRuns) {
    chunks.emplace_back();
    chunks.back().runs.reserve(kChunkRuns);
    rows_before.push_back(total_rows);
    first_ids.push_back(id);
  }
  Run run;
  run.first = id;
  chunks.back().runs.push_back(run);
  ++chunks.back().rows;
  ++total_rows;
}

// Adds a run after the last one, joined to it when it continues it; the sums are left to
// the caller.
void VisibleRows::appendRun(const Run& run) {
  if (!chunks.empty() && join(chunks.back().runs.back(), run)) {
    chunks.back().rows += run.count;
    return;
  }
  if (chunks.empty() || chunks.back().runs.size() >= kChunkRuns) chunks.emplace_back();
  chunks.back().runs.push_back(run);
  chunks.back().rows += run.count;
}

// Splits the run at `place` so that the row there begins a run of its own.
void VisibleRows::splitRunAt(Place& place) {
  if (place.offset == 0) return;
  std::vector<Run>& runs = chunks[place.chunk].runs;
  Run& left = runs[place.run];
  Run right = left;
  right.first = left.idAt(place.offset);
  right.count = quint32(left.count - place.offset);
  left.count = quint32(place.offset);
  runs.insert(runs.begin() + qptrdiff(place.run) + 1, right);
  ++place.run;
  place.offset = 0;
}

// Joins run `run` of chunk `chunk` into the run before it (maybe the last run of the chunk
// before) when they form one run, so that closing what was opened gives the runs back.
void VisibleRows::joinAround(size_t chunk, size_t run) {
  if (chunk >= chunks.size() || run >= chunks[chunk].runs.size()) return;
  if (run == 0 && chunk == 0) return;
  Chunk& right_chunk = chunks[chunk];
  Chunk& left_chunk = run > 0 ? right_chunk : chunks[chunk - 1];
  Run& left = run > 0 ? right_chunk.runs[run - 1] : left_chunk.runs.back();
  const Run right = right_chunk.runs[run];
  if (!join(left, right)) return;
  right_chunk.runs.erase(right_chunk.runs.begin() + qptrdiff(run));
  if (&left_chunk != &right_chunk) {
    left_chunk.rows += right.count;
    right_chunk.rows -= right.count;
    if (right_chunk.runs.empty()) chunks.erase(chunks.begin() + qptrdiff(chunk));
  }
}

// Merges chunk `chunk` with the one after it when both together are no larger than a chunk.
void VisibleRows::mergeSmallChunk(size_t chunk) {
  if (chunk + 1 >= chunks.size()) return;
  Chunk& left = chunks[chunk];
  Chunk& right = chunks[chunk + 1];
  if (left.runs.size() + right.runs.size() > kChunkRuns) return;
  left.runs.insert(left.runs.end(), right.runs.begin(), right.runs.end());
  left.rows += right.rows;
  chunks.erase(chunks.begin() + qptrdiff(chunk) + 1);
}

void VisibleRows::splitLargeChunk(size_t chunk) {
  while (chunk < chunks.size() && chunks[chunk].runs.size() > 2 * kChunkRuns) {
    Chunk right;
    std::vector<Run>& runs = chunks[chunk].runs;
    right.runs.assign(runs.begin() + qptrdiff(kChunkRuns), runs.end());
    runs.resize(kChunkRuns);
    right.rows = rowsOf(right.runs);
    chunks[chunk].rows -= right.rows;
    chunks.insert(chunks.begin() + qptrdiff(chunk) + 1, std::move(right));
    ++chunk;
  }
}

void VisibleRows::updateSums(size_t from_chunk) {
  rows_before.resize(chunks.size());
  first_ids.resize(chunks.size());
  for (size_t i = from_chunk; i < chunks.size(); ++i) {
    rows_before[i] = i == 0 ? 0 : rows_before[i - 1] + chunks[i - 1].rows;
    first_ids[i] = chunks[i].runs.front().first;
  }
  total_rows = chunks.empty() ? 0 : rows_before.back() + chunks.back().rows;
}

void VisibleRows::insert(qint64 row, const VisibleRows& rows) {
  if (rows.empty() || row < 0 || row > total_rows) return;
  if (row == total_rows) {
    const size_t from = chunks.empty() ? 0 : chunks.size() - 1;
    for (const Chunk& chunk : rows.chunks)
      for (const Run& run : chunk.runs) appendRun(run);
    updateSums(from);
    return;
  }
  Place place = placeOfRow(row);
  splitRunAt(place);
  const size_t chunk = place.chunk;
  if (rows.runCount() <= qint64(kChunkRuns)) {
    std::vector<Run> added;
    for (const Chunk& c : rows.chunks) added.insert(added.end(), c.runs.begin(), c.runs.end());
    std::vector<Run>& runs = chunks[chunk].runs;
    runs.insert(runs.begin() + qptrdiff(place.run), added.begin(), added.end());
    chunks[chunk].rows += rows.size();
    // The seam after the new runs first, so that the one before keeps its index.
    joinAround(chunk, place.run + added.size());
    joinAround(chunk, place.run);
    const size_t first_changed = chunk > 0 ? chunk - 1 : 0;
    splitLargeChunk(chunk);
    updateSums(first_changed);
    return;
  }
  // Many runs: the chunk is cut in two and the new chunks go between.
  Chunk right;
  std::vector<Run>& runs = chunks[chunk].runs;
  right.runs.assign(runs.begin() + qptrdiff(place.run), runs.end());
  runs.resize(place.run);
  right.rows = rowsOf(right.runs);
  chunks[chunk].rows -= right.rows;
  std::vector<Chunk> middle(rows.chunks);
  if (!right.runs.empty()) middle.push_back(std::move(right));
  chunks.insert(chunks.begin() + qptrdiff(chunk) + 1, middle.begin(), middle.end());
  if (chunks[chunk].runs.empty()) chunks.erase(chunks.begin() + qptrdiff(chunk));
  updateSums(chunk > 0 ? chunk - 1 : 0);
}

void VisibleRows::erase(qint64 row, qint64 count) {
  if (row < 0 || row >= total_rows) return;
  count = std::min(count, total_rows - row);
  if (count <= 0) return;
  Place begin = placeOfRow(row);
  splitRunAt(begin);
  Place end;
  if (row + count == total_rows) {
    end.chunk = chunks.size() - 1;
    end.run = chunks[end.chunk].runs.size();
  } else {
    end = placeOfRow(row + count);
    splitRunAt(end);
  }
  if (begin.chunk == end.chunk) {
    std::vector<Run>& runs = chunks[begin.chunk].runs;
    runs.erase(runs.begin() + qptrdiff(begin.run), runs.begin() + qptrdiff(end.run));
    chunks[begin.chunk].rows -= count;
  } else {
    std::vector<Run>& first_runs = chunks[begin.chunk].runs;
    first_runs.erase(first_runs.begin() + qptrdiff(begin.run), first_runs.end());
    chunks[begin.chunk].rows = rowsOf(first_runs);
    std::vector<Run>& last_runs = chunks[end.chunk].runs;
    last_runs.erase(last_runs.begin(), last_runs.begin() + qptrdiff(end.run));
    chunks[end.chunk].rows = rowsOf(last_runs);
    // Up to the end: the last chunk goes too.
    const size_t end_chunk = last_runs.empty() ? end.chunk + 1 : end.chunk;
    chunks.erase(chunks.begin() + qptrdiff(begin.chunk) + 1, chunks.begin() + qptrdiff(end_chunk));
  }
  // The place where the rows were: the first run after them, in begin's chunk or the next.
  size_t chunk = begin.chunk;
  size_t run = begin.run;
  if (chunks[chunk].runs.empty()) {
    chunks.erase(chunks.begin() + qptrdiff(chunk));
    run = 0;
  } else if (run >= chunks[chunk].runs.size()) {
    ++chunk;
    run = 0;
  }
  joinAround(chunk, run);
  const size_t first_changed = begin.chunk > 0 ? begin.chunk - 1 : 0;
  mergeSmallChunk(first_changed);
  if (first_changed + 1 < chunks.size()) mergeSmallChunk(first_changed + 1);
  updateSums(first_changed);
}
