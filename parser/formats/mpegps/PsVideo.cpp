#include "formats/mpegps/PsVideo.h"

#include "ElementWriter.h"
#include "FieldReader.h"

#include <algorithm>
#include <cstring>

namespace corvanta::mpegps {

using codecs::MpegVideoUnit;
using codecs::MpegVideoUnitKind;

void PsVideo::build(const uint8_t* file_data, const std::vector<PsUnit>& units) {
  data = file_data;
  std::array<codecs::MpegVideoScanner, 16> scanners;
  std::array<int64_t, 16> lengths{};
  for (const PsUnit& unit : units) {
    if (unit.kind != PsUnit::Kind::Packet || !isVideo(unit.code) || unit.end <= unit.payload_begin) continue;
    const int index = unit.code & 15;
    const int64_t size = unit.end - unit.payload_begin;
    streams[index].pieces.push_back({lengths[index], lengths[index] + size, unit.payload_begin});
    scanners[index].feed(data + unit.payload_begin, size);
    lengths[index] += size;
  }
  for (size_t i = 0; i < streams.size(); ++i) {
    const codecs::ByteStreamCodec codec = streams[i].pieces.empty() ? codecs::ByteStreamCodec::Other
                                                                     : firstPayloadCodec(streams[i].pieces.front());
    if (codec != codecs::ByteStreamCodec::Other) {
      streams[i].nal_units = std::make_unique<codecs::AnnexBCarriage>(codec == codecs::ByteStreamCodec::Hevc, "PES packet");
      continue;
    }
    streams[i].context.mpeg2 = scanners[i].sawSequenceExtension();
    streams[i].units = scanners[i].finish();
  }
}

codecs::ByteStreamCodec PsVideo::firstPayloadCodec(const Piece& first) const {
  return codecs::byteStreamCodec(data + first.file_begin, first.copy_end - first.copy_begin);
}

codecs::AnnexBCarriage::NextPayload PsVideo::payloadsAfter(const Stream& stream, size_t index) const {
  return [&stream, index](int64_t& begin, int64_t& end) mutable {
    if (++index >= stream.pieces.size()) return false;
    const Piece& piece = stream.pieces[index];
    begin = piece.file_begin;
    end = piece.file_begin + (piece.copy_end - piece.copy_begin);
    return true;
  };
}

std::string PsVideo::writeNalUnits(ElementWriter& writer, Stream& stream, const Piece& payload) {
  const size_t index = stream.next_piece - 1;
  const int64_t end = payload.file_begin + (payload.copy_end - payload.copy_begin);
  const codecs::FramePicture picture =
      stream.nal_units->peekPicture(data, payload.file_begin, end, payloadsAfter(stream, index));
  stream.nal_units->writePayload(writer, data, payload.file_begin, end, true, payloadsAfter(stream, index));
  return picture.type;
}

// Gathers a header unit's bytes from the payloads that hold them.
void PsVideo::copyUnit(Stream& stream, size_t unit_index) {
  if (stream.copied_unit == int64_t(unit_index)) return;
  const MpegVideoUnit& unit = stream.units[unit_index];
  stream.copy.clear();
  auto piece = std::upper_bound(stream.pieces.begin(), stream.pieces.end(), unit.begin,
                                [](int64_t at, const Piece& p) { return at < p.copy_end; });
  for (; piece != stream.pieces.end() && piece->copy_begin < unit.end; ++piece) {
    const int64_t from = std::max(unit.begin, piece->copy_begin);
    const int64_t to = std::min(unit.end, piece->copy_end);
    const uint8_t* bytes = data + piece->file_begin + (from - piece->copy_begin);
    stream.copy.insert(stream.copy.end(), bytes, bytes + (to - from));
  }
  stream.copied_unit = int64_t(unit_index);
}

void PsVideo::writeHeaderPiece(ElementWriter& writer, Stream& stream, size_t unit_index, const Piece& piece) {
  copyUnit(stream, unit_index);
  const MpegVideoUnit& unit = stream.units[unit_index];
  // The copy starts at the unit's first byte: the piece in the copy's own positions.
  const Piece local{piece.copy_begin - unit.begin, piece.copy_end - unit.begin, piece.file_begin};
  PieceWriter pieces(writer, local, piece.copy_end >= unit.end, "PES packet");
  FieldReader f(writer, stream.copy.data(), 0, int64_t(stream.copy.size()));
  f.setPieceWriter(&pieces);
  codecs::mpegVideoHeader(f, stream.context);
}

std::string PsVideo::writePayload(ElementWriter& writer, const PsUnit& packet) {
  if (!isVideo(packet.code) || packet.end <= packet.payload_begin) return {};
  Stream& stream = streams[packet.code & 15];
  while (stream.next_piece < stream.pieces.size() && stream.pieces[stream.next_piece].file_begin < packet.payload_begin)
    ++stream.next_piece;
  if (stream.next_piece >= stream.pieces.size() || stream.pieces[stream.next_piece].file_begin != packet.payload_begin)
    return {};
  const Piece payload = stream.pieces[stream.next_piece++];
  if (stream.nal_units) return writeNalUnits(writer, stream, payload);
  while (stream.next_unit < stream.units.size() && stream.units[stream.next_unit].end <= payload.copy_begin)
    ++stream.next_unit;
  for (size_t i = stream.next_unit; i < stream.units.size() && stream.units[i].begin < payload.copy_end; ++i) {
    const MpegVideoUnit& unit = stream.units[i];
    const int64_t from = std::max(unit.begin, payload.copy_begin);
    const int64_t to = std::min(unit.end, payload.copy_end);
    const Piece piece{from, to, payload.file_begin + (from - payload.copy_begin)};
    if (unit.kind == MpegVideoUnitKind::Header) {
      writeHeaderPiece(writer, stream, i, piece);
    } else {
      PieceWriter pieces(writer, piece, to >= unit.end, "PES packet");
      pieces.addField(codecs::mpegVideoLeafName(unit), unit.begin * 8, (unit.end - unit.begin) * 8,
                      codecs::mpegVideoLeafSummary(unit), {}, -1);
    }
  }
  return {};
}

}  // namespace corvanta::mpegps
