#include "formats/isobmff/IsoBmffLazySamples.h"

#include "formats/isobmff/IsoBmffSamples.h"

#include <algorithm>

namespace corvanta::isobmff {

LazySamples::LazySamples(FileBytes file_bytes, std::shared_ptr<const SampleMap> sample_map, bool decode_frames)
    : file(file_bytes), map(std::move(sample_map)), replay(writer(), file.data(), *map, decode_frames) {}

void LazySamples::beforeUnit(SampleWriter& writer, size_t claim, int64_t mdat_end, bool overlap) {
  const int64_t unit = int64_t(overlaps.size());
  if (runs.empty() || runs.back().mdat_end != mdat_end || claimOf(runs.back(), unit) != claim)
    runs.push_back({unit, claim, mdat_end});
  overlaps.push_back(overlap);
  const bool due = checkpoint_units.empty() || (unit - checkpoint_units.back() >= kCheckpointEvery &&
                                                saved_states <= unit / kStatesPerUnit + kStatesFloor);
  if (!due) return;
  const int64_t checkpoint = int64_t(checkpoint_units.size());
  checkpoint_units.push_back(unit);
  for (auto& [track, state] : writer.changedStates()) {
    if (track >= states.size()) states.resize(track + 1);
    states[track].emplace_back(checkpoint, std::move(state));
    ++saved_states;
  }
}

int64_t LazySamples::checkpointBefore(int64_t unit) const {
  return int64_t(std::upper_bound(checkpoint_units.begin(), checkpoint_units.end(), unit) - checkpoint_units.begin()) - 1;
}

void LazySamples::restore(int64_t checkpoint) {
  std::vector<SampleWriter::TrackState> at;
  for (size_t track = 0; track < states.size(); ++track) {
    const auto& saved = states[track];
    const auto after = std::upper_bound(saved.begin(), saved.end(), checkpoint,
                                        [](int64_t c, const auto& entry) { return c < entry.first; });
    if (after != saved.begin()) at.emplace_back(track, (after - 1)->second);
  }
  replay.restore(at);
}

const LazySamples::Run* LazySamples::runOf(int64_t unit) const {
  const auto after = std::upper_bound(runs.begin(), runs.end(), unit,
                                      [](int64_t u, const Run& run) { return u < run.first_unit; });
  return after == runs.begin() ? nullptr : &*(after - 1);
}

void LazySamples::writeUnit(int64_t unit, bool only_state) {
  const Run* run = runOf(unit);
  if (!run || unit >= int64_t(overlaps.size())) return;
  const size_t claim = claimOf(*run, unit);
  if (claim >= map->claims().size()) return;
  const Claim& c = map->claims()[claim];
  const bool overlap = overlaps[size_t(unit)];
  if (only_state && !replay.decodesFrame(c, overlap)) return;
  replay.write(c, run->mdat_end, overlap, !only_state);
}

void LazySamples::decode(int64_t unit, const LazyUnitPlace& place) {
  const int64_t checkpoint = checkpointBefore(unit);
  if (checkpoint < 0 || unit >= int64_t(overlaps.size())) return;
  const int64_t checkpoint_unit = checkpoint_units[size_t(checkpoint)];
  if (next_unit < checkpoint_unit || next_unit > unit) {
    restore(checkpoint);
    next_unit = checkpoint_unit;
  }
  LazyUnitPlace anywhere;
  anywhere.high = file.size() * 8;
  for (; next_unit < unit; ++next_unit) {
    // Only the state these samples leave in the frame decoders matters; their rows are dropped.
    writer().startCollecting(anywhere);
    writeUnit(next_unit, true);
  }
  writer().startCollecting(place);
  writeUnit(unit);
  next_unit = unit + 1;
}

void LazySamples::bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const {
  *bit_offset = 0;
  *bit_size = 0;
  const Run* run = runOf(unit);
  if (!run || unit >= int64_t(overlaps.size())) return;
  const size_t claim = claimOf(*run, unit);
  if (claim >= map->claims().size()) return;
  const Claim& c = map->claims()[claim];
  *bit_offset = c.offset * 8;
  *bit_size = std::max<int64_t>(std::min<int64_t>(c.size, run->mdat_end - c.offset), 0) * 8;
}

}  // namespace corvanta::isobmff
