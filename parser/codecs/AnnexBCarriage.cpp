#include "codecs/AnnexBCarriage.h"

#include "ElementWriter.h"
#include "FieldReader.h"

#include <algorithm>

namespace corvanta::codecs {

namespace {

// A NAL unit is copied out whole so that its fields can be decoded across carriers; beyond this
// (a huge slice, or a stream without start codes) the rest stays undecoded.
constexpr int64_t kLargestGatheredNal = 8 << 20;
// What a peek copies of each NAL unit: enough for any slice header.
constexpr int64_t kPeekedBytes = 4096;
// Decoder copies saved for later are allowed this many bytes, and a share of the stream's bytes
// beyond: a stream that changes its parameter sets more often gets fewer saved states.
constexpr int64_t kFreeCopyBytes = 1 << 20;
constexpr int64_t kStreamBytesPerCopyByte = 64;
constexpr std::string_view kStrayBytesName = "NAL_unit_bytes";

}  // namespace

bool AnnexBCarriage::Lookahead::payload(size_t i, int64_t& begin, int64_t& end) {
  while (i >= fetched.size() && !ended) {
    int64_t b = 0, e = 0;
    if (more && *more && (*more)(b, e))
      fetched.emplace_back(b, e);
    else
      ended = true;
  }
  if (i >= fetched.size()) return false;
  begin = fetched[i].first;
  end = fetched[i].second;
  return true;
}

bool AnnexBCarriage::gather(const uint8_t* data, int64_t start, int64_t end, Lookahead& after, int64_t max_bytes,
                            GatheredNal& out) {
  const int64_t first = std::min(end - start, max_bytes);
  out.copy.assign(data + start, data + start + first);
  out.pieces.assign(1, Piece{0, first, start});
  out.next_piece = 0;
  out.scan = {};
  int64_t search_from = 0;
  size_t next_payload = 0;
  bool found = false;
  for (;;) {
    const int64_t size = int64_t(out.copy.size());
    // The unit's own start code (it may straddle two carriers), then the next one.
    const int64_t own = findStartCodePrefix(out.copy.data(), 0, std::min<int64_t>(size, 4));
    if (own + 3 <= size) {
      search_from = std::max(search_from, own + 3);
      if (findStartCodePrefix(out.copy.data(), search_from, size) < size) {
        found = true;
        break;
      }
      search_from = std::max(own + 3, size - 2);
    }
    int64_t begin = 0, stop = 0;
    if (size >= max_bytes || !after.payload(next_payload++, begin, stop)) break;
    stop = std::min(stop, begin + (max_bytes - size));
    if (stop <= begin) continue;
    out.copy.insert(out.copy.end(), data + begin, data + stop);
    out.pieces.push_back({size, size + (stop - begin), begin});
  }
  if (!nextAnnexBNalUnit(out.copy.data(), 0, int64_t(out.copy.size()), out.nal)) {
    // Only part of a start code before the stream ended: the bytes as they are.
    out.nal = {};
    out.nal.next = out.nal.end = out.nal.begin = int64_t(out.copy.size());
    return false;
  }
  // Up to the next start code, which belongs to the next unit.
  out.copy.resize(size_t(out.nal.next));
  while (!out.pieces.empty() && out.pieces.back().copy_begin >= out.nal.next) out.pieces.pop_back();
  if (!out.pieces.empty()) out.pieces.back().copy_end = std::min(out.pieces.back().copy_end, out.nal.next);
  return found;
}

void AnnexBCarriage::writeStrayBytes(ElementWriter& w, int64_t begin, int64_t end, std::string_view why) {
  if (end > begin) w.addField(kStrayBytesName, begin * 8, (end - begin) * 8, {}, why);
}

void AnnexBCarriage::writePiece(ElementWriter& w, GatheredNal& unit) {
  const Piece& piece = unit.pieces[unit.next_piece];
  ++unit.next_piece;
  if (unit.nal.start_code_bytes == 0) {
    writeStrayBytes(w, piece.file_begin, piece.file_begin + (piece.copy_end - piece.copy_begin),
                    "part of a start code where the stream ends");
    return;
  }
  PieceWriter pieces(w, piece, !unit.pending(), carrier_name);
  if (&unit == &current && unit.next_piece == 1) {
    // The pieces after the first are counted from these calls on the lazy path.
    current_events = unit.pending();
    piece_events.clear();
    if (current_events) pieces.record(&piece_events);
  }
  FieldReader f(w, unit.copy.data(), 0, int64_t(unit.copy.size()));
  f.setPieceWriter(&pieces);
  f.setRbspScan(&unit.scan);
  FramePicture picture;
  stream.byteStreamNalUnit(f, unit.nal, unit.seq, picture);
}

void AnnexBCarriage::writePayload(ElementWriter& w, const uint8_t* data, int64_t begin, int64_t end,
                                  bool continues, const NextPayload& more) {
  int64_t pos = begin;
  carried_bytes += std::max<int64_t>(end - begin, 0);
  if (!continues) {
    current = {};
    at_start_code = false;
  }
  if (current.pending()) {
    const Piece& piece = current.pieces[current.next_piece];
    if (piece.file_begin > begin) {
      writeStrayBytes(w, begin, end, "not part of the stream: a repeated carrier");
      return;
    }
    if (piece.file_begin == begin) {
      pos = begin + (piece.copy_end - piece.copy_begin);
      writePiece(w, current);
      if (current.pending()) return;
    } else {
      current = {};
      at_start_code = false;
    }
  }
  Lookahead after(&more);
  while (pos < end) {
    int64_t start = pos;
    if (!at_start_code) {
      const int64_t prefix = findStartCodePrefix(data, pos, end);
      start = prefix < end && prefix > pos && data[prefix - 1] == 0 ? prefix - 1 : prefix;
      writeStrayBytes(w, pos, start, count == 0 ? "before the first start code" : "after a break in the stream");
      if (start >= end) return;
    }
    at_start_code = gather(data, start, end, after, kLargestGatheredNal, current);
    current.seq = count++;
    const Piece first = current.pieces.front();
    writePiece(w, current);
    if (current.pending()) return;
    pos = first.file_begin + (first.copy_end - first.copy_begin);
    if (pos <= start) return;  // nothing taken: cannot happen with a start code, but never loop
  }
}

int64_t AnnexBCarriage::countPayload(ElementWriter& w, const uint8_t* data, int64_t begin, int64_t end) const {
  if (end <= begin) return -1;
  if (current.pending()) {
    const Piece& piece = current.pieces[current.next_piece];
    // A piece that is not the last: nothing after it in the payload, and no start code in it.
    const bool whole_payload = piece.file_begin == begin && piece.copy_end - piece.copy_begin == end - begin;
    if (!current_events || !whole_payload || current.next_piece + 1 >= current.pieces.size() ||
        current.nal.start_code_bytes == 0)
      return -1;
    return PieceWriter::countElements(piece_events, piece, false, w);
  }
  if (at_start_code || findStartCodePrefix(data, begin, end) < end) return -1;
  w.internName(kStrayBytesName);
  return 1;
}

void AnnexBCarriage::countedPayload(int64_t begin, int64_t end) {
  carried_bytes += end - begin;
  if (current.pending()) ++current.next_piece;
}

FramePicture AnnexBCarriage::peekPicture(const uint8_t* data, int64_t begin, int64_t end, const NextPayload& more) {
  FramePicture picture;
  ElementWriter counter{ElementWriter::CountOnly{}};
  GatheredNal unit;
  // The payloads `more` gives are taken in turn: each NAL unit starts where the last one ended.
  int64_t pos = begin, stop = end;
  bool at_code = false, first_payload = true;
  for (int units = 0; units < 64 && picture.type.empty(); ++units) {
    if (pos >= stop) {
      if (!more || !more(pos, stop)) break;
      first_payload = false;
    }
    int64_t start = pos;
    if (!at_code) {
      const int64_t prefix = findStartCodePrefix(data, pos, stop);
      start = prefix < stop && prefix > pos && data[prefix - 1] == 0 ? prefix - 1 : prefix;
      // No access unit starts in the first payload: its picture is an earlier carrier's.
      if (start >= stop && units == 0 && first_payload) break;
      if (start >= stop) {
        pos = stop;
        continue;
      }
    }
    // Each unit's copy is cut short: only its header and the slice header are wanted, and the
    // payloads past the cut are not needed to find the next unit in a peek of one picture.
    Lookahead none(nullptr);
    at_code = gather(data, start, stop, none, kPeekedBytes, unit);
    if (unit.nal.start_code_bytes == 0) break;
    FieldReader f(counter, unit.copy.data(), 0, int64_t(unit.copy.size()));
    stream.byteStreamNalUnit(f, unit.nal, 0, picture);
    const Piece& first = unit.pieces.front();
    pos = first.file_begin + (first.copy_end - first.copy_begin);
    if (!at_code) pos = std::max(pos, std::min(stop, start + kPeekedBytes));
  }
  return picture;
}

AnnexBCarriageState AnnexBCarriage::save() {
  AnnexBCarriageState saved;
  if (!saved_decoder || saved_version != stream.stateVersion()) {
    const auto bytes = int64_t(stream.stateBytes());
    if (copied_bytes + bytes <= kFreeCopyBytes + carried_bytes / kStreamBytesPerCopyByte) {
      saved_decoder = std::make_shared<const NalVideoStream>(stream);
      saved_version = stream.stateVersion();
      copied_bytes += bytes;
    } else {
      saved_decoder.reset();
    }
  }
  saved.decoder = saved_decoder;
  if (current.pending()) {
    const Piece& first = current.pieces.front();
    saved.gathering_begin = first.file_begin;
    saved.gathering_end = first.file_begin + (first.copy_end - first.copy_begin);
    saved.gathering_seq = current.seq;
    saved.next_piece = uint32_t(current.next_piece);
  }
  saved.at_start_code = at_start_code;
  saved.count = count;
  return saved;
}

void AnnexBCarriage::restore(const AnnexBCarriageState& saved, const uint8_t* data, const NextPayload& more) {
  if (saved.decoder) stream = *saved.decoder;
  current = {};
  current_events = false;
  if (saved.gathering_begin >= 0) {
    // Gathered again as the carrier where it began gathered it: the same copy and pieces.
    Lookahead after(&more);
    gather(data, saved.gathering_begin, saved.gathering_end, after, kLargestGatheredNal, current);
    current.seq = saved.gathering_seq;
    current.next_piece = std::min<size_t>(saved.next_piece, current.pieces.size());
  }
  at_start_code = saved.at_start_code;
  count = saved.count;
}

}  // namespace corvanta::codecs
