#pragma once

#include "PieceWriter.h"

#include <cstdint>
#include <vector>

namespace corvanta::mpegts {

class PacketLayout;

// What a unit split over packets is: the two units that transport packets carry in pieces.
enum class Carriage : uint8_t { Section, PesHeader };

// One PSI section or PES header that starts in one packet and may continue in later packets of
// its PID: a contiguous copy of its bytes and the piece of it that each packet holds.
struct SplitUnit {
  std::vector<uint8_t> bytes;
  std::vector<Piece> pieces;
  std::vector<int64_t> packets;  // the packet index of each piece
  int64_t needed = 0;            // the bytes the unit takes, as far as its first bytes tell
  bool cut = false;              // its PID broke off before it was complete

  bool complete() const { return int64_t(bytes.size()) >= needed; }
  int64_t size() const { return int64_t(bytes.size()); }
  void clear() {
    bytes.clear();
    pieces.clear();
    packets.clear();
    needed = 0;
    cut = false;
  }
};

// The bytes a section takes (3 + section_length), or a PES header, judged from its first `count`
// bytes; more than `count` when those do not tell yet.
int64_t bytesNeeded(Carriage carriage, const uint8_t* bytes, int64_t count);

// Gathers a split unit: from its first bytes in one packet, through the packets of the same PID
// that continue it (continuity counter in order, duplicates and packets without payload passed
// over), until it is complete or the PID breaks off: a lost packet, a scrambled one, a new PES
// packet, a section cut short by the next one's pointer_field, the end of the file.
class Reassembler {
 public:
  Reassembler(const uint8_t* data, int64_t size, const PacketLayout& layout) : data(data), file_size(size), layout(layout) {}

  // The unit that starts at `begin` in packet `index`, whose payload ends at `end`.
  void gather(int64_t index, int64_t begin, int64_t end, Carriage carriage, SplitUnit& out) const;

 private:
  // Appends what the unit still needs from [begin, end) as the piece of packet `index`; returns
  // the bytes taken.
  int64_t take(int64_t index, int64_t begin, int64_t end, Carriage carriage, SplitUnit& out) const;

  const uint8_t* data;
  int64_t file_size;
  const PacketLayout& layout;
};

}  // namespace corvanta::mpegts
