#pragma once

#include "PieceWriter.h"
#include "codecs/Mpeg2Video.h"
#include "formats/mpegps/PsLayout.h"

#include <array>
#include <cstdint>
#include <vector>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::mpegps {

// The MPEG video streams of a program stream (stream_id 0xE0 to 0xEF): each stream's payloads
// joined into one elementary stream, its units found before the tree is written, and each unit
// written under the PES packets that hold its bytes, piece by piece.
class PsVideo {
 public:
  static bool isVideo(uint8_t stream_id) { return stream_id >= 0xE0 && stream_id <= 0xEF; }

  // Finds the units of every video stream among `units`.
  void build(const uint8_t* data, const std::vector<PsUnit>& units);
  // Writes what of the stream's units lies in this packet's payload (the packets of one stream
  // must come in file order, as build saw them).
  void writePayload(ElementWriter& writer, const PsUnit& packet);

 private:
  struct Stream {
    std::vector<Piece> pieces;  // copy positions are bytes of the elementary stream
    std::vector<codecs::MpegVideoUnit> units;
    codecs::MpegVideoContext context;
    size_t next_piece = 0;
    size_t next_unit = 0;
    int64_t copied_unit = -1;   // the unit whose bytes `copy` holds
    std::vector<uint8_t> copy;
  };

  void copyUnit(Stream& stream, size_t unit_index);
  void writeHeaderPiece(ElementWriter& writer, Stream& stream, size_t unit_index, const Piece& piece);

  const uint8_t* data = nullptr;
  std::array<Stream, 16> streams;
};

}  // namespace corvanta::mpegps
