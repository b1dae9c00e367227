#pragma once

#include <bitset>
#include <cstdint>

namespace corvanta::mpegts {

class PacketWriter;

// The lazy path's shortcut: most packets continue a PES packet already under way, and their
// elements (the header fields, a plain adaptation field, one payload leaf) follow from their
// header bytes alone. Such a packet is recorded as a lazy unit with that count and without
// writing a row, after making the same changes to its PID's state and to the timing facts as
// PacketWriter::writePacket, which decodes it again on demand. Every other packet (PSI, a PES
// start, a piece of a split unit, an adaptation field with private data or an extension, a cut
// packet, video whose frames are decoded) is left to the writer, and so is the first packet of
// each shape (the fields it holds), so that the names its decoding again uses are in the
// dictionary.
class PacketCounter {
 public:
  // What decides the names in a counted packet: its payload, and its adaptation field's flags.
  static constexpr int kShapes = 1 << 10;

  explicit PacketCounter(PacketWriter& writer);
  // Records packet `index` at file offset `offset`; false when the writer must write it.
  bool count(int64_t index, int64_t offset);

 private:
  PacketWriter& packets;
  std::bitset<kShapes> shapes_written;
};

// The elements of the adaptation field whose adaptation_field_length byte is at `p` (the
// packet's 188 bytes whole), when it holds only flags, a PCR, an OPCR, a splice_countdown and
// stuffing; -1 otherwise. `shape` gets which of them it holds.
int plainAdaptationFieldElements(const uint8_t* p, bool has_payload, int* shape);

}  // namespace corvanta::mpegts
