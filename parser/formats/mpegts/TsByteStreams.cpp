#include "formats/mpegts/TsByteStreams.h"

#include "codecs/PesHeader.h"
#include "formats/mpegts/TsLayout.h"
#include "formats/mpegts/TsPacket.h"

#include <algorithm>

namespace corvanta::mpegts {

namespace {

// Packets without payload and duplicates passed over in a row before the stream counts as broken
// off, as for split sections.
constexpr int kMostPassedOver = 1024;

}  // namespace

codecs::AnnexBCarriage& ByteStreams::stream(uint16_t pid, uint8_t stream_type) {
  std::unique_ptr<codecs::AnnexBCarriage>& s = streams[pid].carriage;
  if (!s) s = std::make_unique<codecs::AnnexBCarriage>(stream_type == 0x24, "packet");
  return *s;
}

codecs::AnnexBCarriage::NextPayload ByteStreams::payloadsAfter(int64_t index, bool one_pes) const {
  const int64_t sync_offset = layout.format().sync_offset;
  const int64_t first_sync = layout.offsetOf(index) + sync_offset;
  const bool readable = first_sync >= 0 && first_sync + 4 <= file_size;
  struct Cursor {
    int64_t index;
    uint8_t continuity;
    bool ended;
  };
  Cursor cursor{index, readable ? PacketHeader::read(data + first_sync).continuity : uint8_t(0), !readable};
  return [this, cursor, one_pes, sync_offset](int64_t& begin, int64_t& end) mutable {
    int passed_over = 0;
    while (!cursor.ended) {
      cursor.index = layout.nextOfPid(cursor.index);
      const int64_t sync = cursor.index < 0 ? -1 : layout.offsetOf(cursor.index) + sync_offset;
      if (sync < 0 || sync + 4 > file_size) break;
      const PacketHeader h = PacketHeader::read(data + sync);
      if (h.scrambling != 0) break;
      if (!h.hasPayload() || h.continuity == cursor.continuity) {
        if (++passed_over > kMostPassedOver) break;
        continue;
      }
      if (h.continuity != ((cursor.continuity + 1) & 15) || (one_pes && h.unit_start)) break;
      cursor.continuity = h.continuity;
      const PacketBytes bytes = PacketBytes::locate(data, sync, std::min(sync + kTsPacketSize, file_size), h);
      begin = bytes.payload_begin;
      end = bytes.end;
      if (h.unit_start) {
        // The PES header must be whole in this packet; one split over packets ends the look.
        const int64_t header = codecs::pesHeaderLength(data + begin, end - begin, false);
        if (header == 0 || header > end - begin) break;
        begin += header;
      }
      return true;
    }
    cursor.ended = true;
    return false;
  };
}

codecs::FramePicture ByteStreams::peekPicture(int64_t index, uint16_t pid, uint8_t stream_type, int64_t begin,
                                              int64_t end) {
  return stream(pid, stream_type).peekPicture(data, begin, end, payloadsAfter(index, true));
}

void ByteStreams::writePayload(ElementWriter& w, int64_t index, uint16_t pid, uint8_t stream_type, int64_t begin,
                               int64_t end) {
  codecs::AnnexBCarriage& carriage = stream(pid, stream_type);
  carriage.writePayload(w, data, begin, end, true, payloadsAfter(index, false));
  const int64_t gathering = carriage.gatheringFrom();
  if (gathering >= begin && gathering < end) streams[pid].gathering_packet = index;
}

int64_t ByteStreams::countPayload(ElementWriter& w, uint16_t pid, int64_t begin, int64_t end) const {
  const auto s = streams.find(pid);
  if (s == streams.end() || !s->second.carriage) return -1;
  return s->second.carriage->countPayload(w, data, begin, end);
}

void ByteStreams::countedPayload(uint16_t pid, int64_t begin, int64_t end) {
  streams[pid].carriage->countedPayload(begin, end);
}

bool ByteStreams::randomAccessSignalled(uint16_t pid) const {
  const auto s = streams.find(pid);
  return s != streams.end() && s->second.random_access_signalled;
}

void ByteStreams::noteRandomAccessSignalled(uint16_t pid) { streams[pid].random_access_signalled = true; }

std::shared_ptr<const VideoCheckpoint> ByteStreams::save(uint16_t pid) {
  const auto s = streams.find(pid);
  if (s == streams.end() || !s->second.carriage) return nullptr;
  auto saved = std::make_shared<VideoCheckpoint>();
  saved->carriage = s->second.carriage->save();
  saved->gathering_packet = s->second.gathering_packet;
  saved->random_access_signalled = s->second.random_access_signalled;
  return saved;
}

void ByteStreams::restore(uint16_t pid, uint8_t stream_type, const VideoCheckpoint& saved) {
  Stream& s = streams[pid];
  s.gathering_packet = saved.gathering_packet;
  s.random_access_signalled = saved.random_access_signalled;
  if (saved.carriage.decoder)
    stream(pid, stream_type).restore(saved.carriage, data, payloadsAfter(saved.gathering_packet, false));
}

}  // namespace corvanta::mpegts
