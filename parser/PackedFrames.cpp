#include "PackedFrames.h"

namespace corvanta {

namespace {

// Differences are taken modulo 2^64, so that any two values round-trip, and folded so that
// small negative ones stay short.
uint64_t folded(int64_t value, int64_t from) {
  const int64_t difference = int64_t(uint64_t(value) - uint64_t(from));
  return (uint64_t(difference) << 1) ^ uint64_t(difference >> 63);
}

int64_t unfolded(uint64_t code, int64_t from) {
  const uint64_t difference = (code >> 1) ^ (0 - (code & 1));
  return int64_t(uint64_t(from) + difference);
}

uint64_t readNumber(const std::vector<uint8_t>& bytes, size_t& at) {
  uint64_t value = 0;
  for (int shift = 0; at < bytes.size() && shift < 64; shift += 7) {
    const uint8_t byte = bytes[at++];
    value |= uint64_t(byte & 0x7F) << shift;
    if (!(byte & 0x80)) break;
  }
  return value;
}

}  // namespace

const char* PackedFrames::pictureType(uint8_t flags) {
  static constexpr const char* kPictureTypes[] = {nullptr, "I", "P", "B"};
  return kPictureTypes[(flags >> kPictureShift) & 3];
}

void PackedFrames::put(uint64_t value) {
  std::vector<uint8_t>& bytes = chunks.back();
  while (value >= 0x80) {
    bytes.push_back(uint8_t(value | 0x80));
    value >>= 7;
  }
  bytes.push_back(uint8_t(value));
}

void PackedFrames::putDifference(int64_t value, int64_t from) {
  put(folded(value, from));
}

void PackedFrames::append(const Row& row) {
  if (chunks.empty() || chunks.back().size() + kMostFrameBytes > kChunkBytes) chunks.emplace_back().reserve(kChunkBytes);
  const size_t stream = size_t(row.stream < 0 ? 0 : row.stream);
  if (stream >= last_dts.size()) last_dts.resize(stream + 1, 0);
  chunks.back().push_back(row.flags);
  putDifference(row.element_id, previous.element_id);
  put(stream);
  putDifference(row.byte_offset, previous.byte_offset);
  put(uint64_t(row.size));
  const int64_t dts_from = last_dts[stream];
  if (row.flags & kHasDts) {
    putDifference(row.dts, dts_from);
    last_dts[stream] = row.dts;
  }
  if (row.flags & kHasPts) putDifference(row.pts, (row.flags & kHasDts) ? row.dts : dts_from);
  if (row.flags & kHasDuration) putDifference(row.duration, 0);
  previous = row;
  ++frames;
}

int64_t PackedFrames::memoryBytes() const {
  int64_t bytes = int64_t(last_dts.capacity() * sizeof(int64_t));
  for (const auto& chunk : chunks) bytes += int64_t(chunk.capacity());
  return bytes;
}

PackedFrames::Reader::Reader(const PackedFrames& frames) : packed(frames) {}

void PackedFrames::Reader::rewind() {
  chunk = at = 0;
  previous = {};
  last_dts.clear();
}

bool PackedFrames::Reader::next(Row& row) {
  while (chunk < packed.chunks.size() && at >= packed.chunks[chunk].size()) {
    ++chunk;
    at = 0;
  }
  if (chunk >= packed.chunks.size()) return false;
  const std::vector<uint8_t>& bytes = packed.chunks[chunk];
  row.flags = bytes[at++];
  row.element_id = unfolded(readNumber(bytes, at), previous.element_id);
  row.stream = int(readNumber(bytes, at));
  row.byte_offset = unfolded(readNumber(bytes, at), previous.byte_offset);
  row.size = int64_t(readNumber(bytes, at));
  const size_t stream = size_t(row.stream);
  if (stream >= last_dts.size()) last_dts.resize(stream + 1, 0);
  const int64_t dts_from = last_dts[stream];
  row.dts = row.pts = row.duration = 0;
  if (row.flags & kHasDts) {
    row.dts = unfolded(readNumber(bytes, at), dts_from);
    last_dts[stream] = row.dts;
  }
  if (row.flags & kHasPts) row.pts = unfolded(readNumber(bytes, at), (row.flags & kHasDts) ? row.dts : dts_from);
  if (row.flags & kHasDuration) row.duration = unfolded(readNumber(bytes, at), 0);
  previous = row;
  return true;
}

}  // namespace corvanta
