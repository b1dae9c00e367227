#pragma once

#include "PieceWriter.h"
#include "codecs/AnnexBCarriage.h"
#include "codecs/Mpeg2Video.h"
#include "formats/mpegps/PsLayout.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvanta {
class ElementWriter;
}

namespace corvanta::mpegps {

// The MPEG video streams of a program stream (stream_id 0xE0 to 0xEF): each stream's payloads
// joined into one elementary stream, its units found before the tree is written, and each unit
// written under the PES packets that hold its bytes, piece by piece. A stream whose first start
// code introduces an H.264 or H.265 NAL unit is written as NAL units instead (AnnexBCarriage).
class PsVideo {
 public:
  static bool isVideo(uint8_t stream_id) { return stream_id >= 0xE0 && stream_id <= 0xEF; }

  // Finds the units of every video stream among `units`.
  void build(const uint8_t* data, const std::vector<PsUnit>& units);
  // Writes what of the stream's units lies in this packet's payload (the packets of one stream
  // must come in file order, as build saw them). Returns the picture type of an H.264 or H.265
  // access unit that starts in it, for the packet's summary.
  std::string writePayload(ElementWriter& writer, const PsUnit& packet);

 private:
  struct Stream {
    std::vector<Piece> pieces;  // copy positions are bytes of the elementary stream
    std::vector<codecs::MpegVideoUnit> units;
    codecs::MpegVideoContext context;
    size_t next_piece = 0;
    size_t next_unit = 0;
    int64_t copied_unit = -1;   // the unit whose bytes `copy` holds
    std::vector<uint8_t> copy;
    std::unique_ptr<codecs::AnnexBCarriage> nal_units;  // an H.264 or H.265 stream
  };

  codecs::ByteStreamCodec firstPayloadCodec(const Piece& first) const;
  // The payloads of the stream's packets after piece `index`.
  codecs::AnnexBCarriage::NextPayload payloadsAfter(const Stream& stream, size_t index) const;
  std::string writeNalUnits(ElementWriter& writer, Stream& stream, const Piece& payload);

  void copyUnit(Stream& stream, size_t unit_index);
  void writeHeaderPiece(ElementWriter& writer, Stream& stream, size_t unit_index, const Piece& piece);

  const uint8_t* data = nullptr;
  std::array<Stream, 16> streams;
};

}  // namespace corvanta::mpegps
