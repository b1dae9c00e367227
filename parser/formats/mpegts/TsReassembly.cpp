#include "formats/mpegts/TsReassembly.h"

#include "codecs/PesHeader.h"
#include "formats/mpegts/TsLayout.h"
#include "formats/mpegts/TsPacket.h"

#include <algorithm>

namespace corvanta::mpegts {

namespace {

// Packets without payload and duplicates passed over in a row before the unit counts as broken
// off: a real stream has a few, a hostile one could make every gather walk the whole file.
constexpr int kMostPassedOver = 1024;

}  // namespace

int64_t bytesNeeded(Carriage carriage, const uint8_t* bytes, int64_t count) {
  if (carriage == Carriage::Section) return count < 3 ? 3 : 3 + (((bytes[1] & 0x0F) << 8) | bytes[2]);
  const int64_t length = codecs::pesHeaderLength(bytes, count, false);
  return length == 0 ? count : length;  // no start code: the unit is what is there
}

int64_t Reassembler::take(int64_t index, int64_t begin, int64_t end, Carriage carriage, SplitUnit& out) const {
  int64_t taken = 0;
  while (begin + taken < end) {
    if (out.needed <= out.size()) {
      const int64_t needed = bytesNeeded(carriage, out.bytes.data(), out.size());
      if (needed <= out.size()) break;
      out.needed = needed;
    }
    const int64_t count = std::min(end - begin - taken, out.needed - out.size());
    out.bytes.insert(out.bytes.end(), data + begin + taken, data + begin + taken + count);
    taken += count;
  }
  if (taken > 0) {
    const int64_t copy_end = out.size();
    out.pieces.push_back({copy_end - taken, copy_end, begin});
    out.packets.push_back(index);
  }
  if (out.needed <= out.size()) out.needed = bytesNeeded(carriage, out.bytes.data(), out.size());
  return taken;
}

void Reassembler::gather(int64_t index, int64_t begin, int64_t end, Carriage carriage, SplitUnit& out) const {
  out.clear();
  take(index, begin, end, carriage, out);
  const PacketFormat& format = layout.format();
  const int64_t first_sync = layout.offsetOf(index) + format.sync_offset;
  if (first_sync < 0 || first_sync + 4 > file_size) return;
  uint8_t continuity = PacketHeader::read(data + first_sync).continuity;
  int passed_over = 0;
  for (int64_t next = layout.nextOfPid(index); !out.complete(); next = layout.nextOfPid(next)) {
    if (next < 0) {
      out.cut = true;
      return;
    }
    const int64_t sync = layout.offsetOf(next) + format.sync_offset;
    if (sync + 4 > file_size) {
      out.cut = true;
      return;
    }
    const PacketHeader h = PacketHeader::read(data + sync);
    if (h.scrambling != 0) {
      out.cut = true;
      return;
    }
    if (!h.hasPayload() || h.continuity == continuity) {  // no payload, or a duplicate
      if (++passed_over > kMostPassedOver) {
        out.cut = true;
        return;
      }
      continue;
    }
    passed_over = 0;
    if (h.continuity != ((continuity + 1) & 15) || (h.unit_start && carriage == Carriage::PesHeader)) {
      out.cut = true;
      return;
    }
    continuity = h.continuity;
    const PacketBytes bytes = PacketBytes::locate(data, sync, std::min(sync + kTsPacketSize, file_size), h);
    int64_t piece_begin = bytes.payload_begin;
    int64_t piece_end = bytes.end;
    if (h.unit_start) {
      // The bytes before the next section's start end this one.
      if (piece_begin >= piece_end) {
        out.cut = true;
        return;
      }
      piece_end = std::min(piece_end, piece_begin + 1 + data[piece_begin]);
      ++piece_begin;
    }
    take(next, piece_begin, piece_end, carriage, out);
    if (h.unit_start) {
      out.cut = !out.complete();
      return;
    }
  }
}

}  // namespace corvanta::mpegts
