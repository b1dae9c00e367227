#pragma once

#include <bitset>
#include <cstdint>
#include <unordered_map>

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
//
// A packet that starts a PES packet whose header lies whole in it has as many elements as the
// last one of the same shape (adaptation field, PES header flags and length, payload after the
// header or not): the first of each shape is written by the writer here and its count kept.
class PacketCounter {
 public:
  // What decides the names in a counted packet: its payload, and its adaptation field's flags.
  static constexpr int kShapes = 1 << 11;

  explicit PacketCounter(PacketWriter& writer);
  // PES start shapes whose counts are kept; a file with more (only a hostile one) has the
  // others written.
  static constexpr size_t kMostPesStartShapes = 4096;

  // Records packet `index` at file offset `offset` as a lazy unit; false when the writer must
  // write it.
  bool count(int64_t index, int64_t offset);

 private:
  // Writes a packet as the first of its PES start shape and keeps its count.
  bool writeAndLearn(int64_t index, int64_t offset, int64_t shape);

  PacketWriter& packets;
  std::bitset<kShapes> shapes_written;
  std::unordered_map<int64_t, int64_t> pes_start_counts;  // by shape
};

// The shape of a PES packet's start at `p` (`available` bytes up to the end of the packet) when
// its header lies whole there and its element count follows from its flags and length alone;
// -1 otherwise.
int64_t pesStartShape(const uint8_t* p, int64_t available);

// The elements of the adaptation field whose adaptation_field_length byte is at `p` (the
// packet's 188 bytes whole), when it holds only flags, a PCR, an OPCR, a splice_countdown and
// stuffing; -1 otherwise. `shape` gets which of them it holds.
int plainAdaptationFieldElements(const uint8_t* p, bool has_payload, int* shape);

}  // namespace corvanta::mpegts
