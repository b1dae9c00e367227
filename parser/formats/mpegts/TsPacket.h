#pragma once

#include <cstdint>

namespace corvanta::mpegts {

inline constexpr uint8_t kSyncByte = 0x47;
inline constexpr int kTsPacketSize = 188;
inline constexpr uint16_t kNullPid = 0x1FFF;
inline constexpr int kPidCount = 0x2000;

// How the packets of a file are laid out: 188-byte transport packets, 192-byte M2TS/BDAV packets
// (a 4-byte TP_extra_header before each) or 204-byte packets (16 bytes of Reed-Solomon parity
// after each).
struct PacketFormat {
  int size = kTsPacketSize;  // the stride
  int sync_offset = 0;       // bytes before the sync byte: 4 for M2TS
  int64_t first = 0;         // file offset of the first packet

  bool isM2ts() const { return sync_offset == 4; }
  bool hasParity() const { return size == 204; }
};

// The four header bytes of a transport packet.
struct PacketHeader {
  bool transport_error = false;
  bool unit_start = false;
  bool priority = false;
  uint16_t pid = 0;
  uint8_t scrambling = 0;
  uint8_t adaptation_control = 0;
  uint8_t continuity = 0;

  // `p` points at the sync byte; four bytes must be there.
  static PacketHeader read(const uint8_t* p) {
    PacketHeader h;
    h.transport_error = (p[1] & 0x80) != 0;
    h.unit_start = (p[1] & 0x40) != 0;
    h.priority = (p[1] & 0x20) != 0;
    h.pid = uint16_t(((p[1] & 0x1F) << 8) | p[2]);
    h.scrambling = uint8_t(p[3] >> 6);
    h.adaptation_control = uint8_t((p[3] >> 4) & 3);
    h.continuity = uint8_t(p[3] & 15);
    return h;
  }
  bool hasPayload() const { return (adaptation_control & 1) != 0; }
  bool hasAdaptationField() const { return (adaptation_control & 2) != 0; }
};

// Where the parts of one transport packet lie in the file (byte offsets). The 188 bytes start at
// the sync byte; `end` is clamped to the file.
struct PacketBytes {
  int64_t sync = 0;            // the sync byte
  int64_t end = 0;             // end of the 188 bytes, or of the file
  int64_t payload_begin = 0;   // after the header and the adaptation field; == end when none
  int64_t adaptation_length = -1;  // adaptation_field_length, -1 when there is none
  bool adaptation_too_long = false;  // longer than the packet allows: cut, and no payload

  static PacketBytes locate(const uint8_t* data, int64_t sync, int64_t end, const PacketHeader& h) {
    PacketBytes b;
    b.sync = sync;
    b.end = end;
    int64_t pos = sync + 4;
    if (h.hasAdaptationField() && pos < end) {
      b.adaptation_length = data[pos];
      // 183 bytes when the packet has no payload, at most 182 when it has.
      const int64_t most = h.hasPayload() ? 182 : 183;
      b.adaptation_too_long = b.adaptation_length > most;
      pos += 1 + b.adaptation_length;
    }
    b.payload_begin = (h.hasPayload() && !b.adaptation_too_long && pos < end) ? pos : end;
    return b;
  }
  int64_t payloadSize() const { return end - payload_begin; }
};

}  // namespace corvanta::mpegts
