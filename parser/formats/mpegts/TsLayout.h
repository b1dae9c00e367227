#pragma once

#include "formats/mpegts/TsPacket.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace corvanta::mpegts {

// Consecutive sync bytes that prove a packet stride; where the file holds fewer packets, all of them.
inline constexpr int kSyncsToProve = 5;

// How the packets of a file were found from its first bytes.
struct Detection {
  PacketFormat format;
  int syncs = 0;          // sync bytes in a row at the stride, at most kSyncsToProve
  bool whole = false;     // as many as the file has room for: a short file, not one cut by junk
};

// The first offset where the sync byte repeats at a packet stride: for kSyncsToProve packets, for
// every packet the file has room for, or at least twice (a stream damaged soon after its start).
// False when there is none.
bool detectPacketFormat(const uint8_t* data, int64_t size, Detection& found);

// One stretch of the file: a run of packets at the stride (the last may be cut by the end of the
// file), or bytes without sync between runs.
struct Stretch {
  int64_t offset = 0;
  int64_t size = 0;          // bytes, the cut last packet included
  int64_t first_index = 0;   // packet index of the first packet of a run
  int64_t packets = 0;       // 0 for bytes without sync
};

// Where every packet of the file lies, found once before anything is written: runs of packets where
// the sync byte repeats at the stride, and the bytes between runs where it does not. Sync is lost
// where a packet's sync byte is missing, or where the next packet's is missing and the stream resumes
// inside this packet (a cut); it is found again where the sync byte repeats for kSyncsToProve packets.
// Besides, for every packet, the index of the next packet of the same PID, so that a section or a
// PES header split over packets can be followed without a search.
class PacketLayout {
 public:
  void build(const uint8_t* data, int64_t size, const PacketFormat& format);

  const PacketFormat& format() const { return packet_format; }
  const std::vector<Stretch>& stretches() const { return stretch_list; }
  int64_t packetCount() const { return packet_count; }
  // File offset of packet `index` (its TP_extra_header for M2TS), -1 when out of range.
  int64_t offsetOf(int64_t index) const;
  // End of the packet's bytes (the stride, or the end of the file).
  int64_t endOf(int64_t index) const;
  // The next packet of the same PID, or -1.
  int64_t nextOfPid(int64_t index) const;
  // The first packet of each PID, or -1.
  int64_t firstOfPid(uint16_t pid) const { return first_of_pid[pid]; }

 private:
  // The first offset at or after `from` where a packet starts and the sync byte repeats for
  // kSyncsToProve packets (or for all the packets left); `size` when there is none.
  int64_t resync(int64_t from) const;
  bool syncAt(int64_t packet_offset) const;
  void addRun(int64_t offset, int64_t end);
  void addGarbage(int64_t offset, int64_t end);
  void linkPids();

  const uint8_t* data = nullptr;
  int64_t file_size = 0;
  PacketFormat packet_format;
  std::vector<Stretch> stretch_list;
  std::vector<Stretch> runs;  // the runs of packets only, for offsetOf
  // Distance to the next packet of the PID, 0 for none; kFarNext for one in far_next. One byte
  // a packet: most PIDs come back within a few packets, and the sparse ones (tables, subtitles)
  // hold few packets.
  static constexpr uint8_t kFarNext = 0xFF;
  std::vector<uint8_t> next_of_pid;
  std::vector<std::pair<int64_t, int64_t>> far_next;  // (packet, distance) by packet
  std::vector<int64_t> first_of_pid = std::vector<int64_t>(kPidCount, -1);
  int64_t packet_count = 0;
  // The last search: a search from inside the stretch it searched has the same answer, so a file
  // of lone sync bytes is not searched again for each packet.
  mutable int64_t searched_from = -1, search_result = -1;
};

}  // namespace corvanta::mpegts
