#include "formats/mpegts/TsLayout.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace corvanta::mpegts {

namespace {

// Bytes searched for the first sync byte of a file that does not start with one.
constexpr int64_t kDetectionWindow = 65536;

const PacketFormat kFormats[] = {{188, 0, 0}, {192, 4, 0}, {204, 0, 0}};

// Sync bytes at `first` + sync_offset + k * size for k = 0, 1, ... (at most kSyncsToProve), and
// how many positions the file has room for.
int countSyncs(const uint8_t* data, int64_t size, const PacketFormat& format, int64_t first, int& room) {
  room = 0;
  int found = 0;
  for (int k = 0; k < kSyncsToProve; ++k) {
    const int64_t at = first + format.sync_offset + int64_t(k) * format.size;
    if (at >= size) break;
    ++room;
    if (data[at] != kSyncByte) break;
    ++found;
  }
  return found;
}

// True when the repeats prove the stride: kSyncsToProve of them, or every position the file has,
// as long as that is two packets or one whole packet.
bool proves(int found, int room, const PacketFormat& format, int64_t first, int64_t size) {
  if (found != room || found == 0) return false;
  return found == kSyncsToProve || found >= 2 || first + format.size <= size;
}

}  // namespace

bool detectPacketFormat(const uint8_t* data, int64_t size, Detection& found) {
  const int64_t window = std::min(size, kDetectionWindow);
  for (int64_t at = 0; at < window; ++at) {
    const void* hit = std::memchr(data + at, kSyncByte, size_t(window - at));
    if (!hit) return false;
    at = static_cast<const uint8_t*>(hit) - data;
    Detection best;
    for (const PacketFormat& candidate : kFormats) {
      const int64_t first = at - candidate.sync_offset;
      if (first < 0) continue;
      int room = 0;
      const int syncs = countSyncs(data, size, candidate, first, room);
      const bool whole = proves(syncs, room, candidate, first, size);
      if ((whole || syncs >= 2) && (syncs > best.syncs || (whole && !best.whole && syncs == best.syncs))) {
        best.format = candidate;
        best.format.first = first;
        best.syncs = syncs;
        best.whole = whole;
      }
    }
    if (best.syncs > 0) {
      found = best;
      return true;
    }
  }
  return false;
}

bool PacketLayout::syncAt(int64_t packet_offset) const {
  const int64_t at = packet_offset + packet_format.sync_offset;
  return at >= 0 && at < file_size && data[at] == kSyncByte;
}

int64_t PacketLayout::resync(int64_t from) const {
  if (searched_from >= 0 && from >= searched_from && from <= search_result) return search_result;
  int64_t result = file_size;
  for (int64_t at = from + packet_format.sync_offset; at < file_size; ++at) {
    const void* hit = std::memchr(data + at, kSyncByte, size_t(file_size - at));
    if (!hit) break;
    at = static_cast<const uint8_t*>(hit) - data;
    const int64_t first = at - packet_format.sync_offset;
    int room = 0;
    const int found = countSyncs(data, file_size, packet_format, first, room);
    if (proves(found, room, packet_format, first, file_size)) {
      result = first;
      break;
    }
  }
  searched_from = from;
  search_result = result;
  return result;
}

void PacketLayout::addRun(int64_t offset, int64_t end) {
  if (end <= offset) return;
  Stretch run;
  run.offset = offset;
  run.size = end - offset;
  run.first_index = packet_count;
  run.packets = (run.size + packet_format.size - 1) / packet_format.size;
  packet_count += run.packets;
  stretch_list.push_back(run);
  runs.push_back(run);
}

void PacketLayout::addGarbage(int64_t offset, int64_t end) {
  if (end <= offset) return;
  Stretch garbage;
  garbage.offset = offset;
  garbage.size = end - offset;
  garbage.first_index = packet_count;
  stretch_list.push_back(garbage);
}

void PacketLayout::build(const uint8_t* file_data, int64_t size, const PacketFormat& format) {
  data = file_data;
  file_size = size;
  packet_format = format;
  stretch_list.clear();
  runs.clear();
  packet_count = 0;
  searched_from = search_result = -1;
  const int64_t stride = format.size;
  int64_t pos = std::clamp<int64_t>(format.first, 0, size);
  addGarbage(0, pos);
  int64_t run_start = pos;
  while (pos < size) {
    const int64_t next = pos + stride;
    if (!syncAt(pos)) {
      addRun(run_start, pos);
      const int64_t found = resync(pos + 1);
      addGarbage(pos, found);
      pos = run_start = found;
      continue;
    }
    if (next >= size || syncAt(next)) {
      pos = next;
      continue;
    }
    // The next sync byte is missing: either it is damaged, or the stream resumes inside this
    // packet because a stretch was cut out.
    const int64_t found = resync(pos + 1);
    if (found < next) {
      addRun(run_start, pos);
      addGarbage(pos, found);
      pos = run_start = found;
    } else {
      pos = next;
    }
  }
  addRun(run_start, std::min(pos, size));
  linkPids();
}

void PacketLayout::linkPids() {
  next_of_pid.assign(size_t(packet_count), 0);
  far_next.clear();
  std::fill(first_of_pid.begin(), first_of_pid.end(), -1);
  std::vector<int64_t> last(kPidCount, -1);
  for (const Stretch& run : runs) {
    for (int64_t i = 0; i < run.packets; ++i) {
      const int64_t sync = run.offset + i * packet_format.size + packet_format.sync_offset;
      if (sync + 3 > file_size) break;
      const uint16_t pid = PacketHeader::read(data + sync).pid;
      const int64_t index = run.first_index + i;
      const int64_t previous = last[pid];
      if (previous < 0)
        first_of_pid[pid] = index;
      else if (index - previous < kFarNext)
        next_of_pid[size_t(previous)] = uint8_t(index - previous);
      else {
        next_of_pid[size_t(previous)] = kFarNext;
        far_next.emplace_back(previous, index - previous);
      }
      last[pid] = index;
    }
  }
  std::sort(far_next.begin(), far_next.end());
}

int64_t PacketLayout::offsetOf(int64_t index) const {
  if (index < 0 || index >= packet_count) return -1;
  const auto after = std::upper_bound(runs.begin(), runs.end(), index,
                                      [](int64_t i, const Stretch& run) { return i < run.first_index; });
  const Stretch& run = *(after - 1);
  return run.offset + (index - run.first_index) * packet_format.size;
}

int64_t PacketLayout::endOf(int64_t index) const {
  const int64_t offset = offsetOf(index);
  return offset < 0 ? -1 : std::min(offset + packet_format.size, file_size);
}

int64_t PacketLayout::nextOfPid(int64_t index) const {
  if (index < 0 || index >= packet_count) return -1;
  const uint8_t distance = next_of_pid[size_t(index)];
  if (distance != kFarNext) return distance ? index + distance : -1;
  const auto far = std::lower_bound(far_next.begin(), far_next.end(), std::make_pair(index, int64_t(0)));
  return far != far_next.end() && far->first == index ? index + far->second : -1;
}

}  // namespace corvanta::mpegts
