#include "formats/ogg/OggWriter.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "PieceWriter.h"
#include "TextForms.h"
#include "TimingWriter.h"

#include <algorithm>

namespace corvanta::ogg {

namespace {

// A packet that continues over pages is copied for its decoders only up to this size; a longer
// one is shown piece by piece without its fields.
constexpr int64_t kLargestCopiedPacket = int64_t(16) << 20;
// Pages looked at for the rest of a continued packet before it is taken as incomplete.
constexpr size_t kLookaheadPages = 1024;

void pagePieces(const uint8_t* data, int64_t size, const OggPage& page, std::vector<PagePiece>& out) {
  out.clear();
  const int64_t table = page.begin + kPageHeaderBytes;
  const int64_t present = std::max<int64_t>(0, std::min<int64_t>(page.segments, size - table));
  int64_t at = table + page.segments, begin = at;
  bool open = false;
  for (int64_t i = 0; i < present; ++i) {
    const uint8_t value = data[table + i];
    at += value;
    open = true;
    if (value < 255) {
      out.push_back({begin, at, true});
      begin = at;
      open = false;
    }
  }
  if (open) out.push_back({begin, at, false});
}

}  // namespace

struct OggWriter::PendingPacket {
  int64_t number = 0;
  std::vector<Piece> pieces;
  std::vector<uint8_t> bytes;  // the packet's copy, when it is small enough
  bool copied = true;
  bool complete = false;
  size_t next = 0;  // the piece the next page holds
  size_t first_page = 0;  // where it began, to gather it again
  PagePiece first;
};

struct OggWriter::StreamState {
  OggStreamInfo info;
  bool identified = false;
  int64_t index = 0;  // logical streams in order of appearance
  int64_t packets = 0;
  int64_t next_sequence = -1;
  std::unique_ptr<PendingPacket> pending;
};

OggWriter::OggWriter(ParseContext& context)
    : ctx(context), w(context.writer), data(context.file.data()), size(context.file.size()),
      packet_timing(w.timing()) {}

OggWriter::~OggWriter() = default;

void OggWriter::write(std::vector<Checkpoint>* checkpoints) {
  pages = std::make_shared<const std::vector<OggPage>>(walkOggPages(data, size));
  for (size_t i = 0; i < pages->size(); ++i) {
    const OggPage& page = (*pages)[i];
    if (page.garbage) {
      w.addGarbage(page.begin * 8, (page.end - page.begin) * 8);
    } else {
      if (checkpoints) {
        if (page_number % kCheckpointEvery == 0) checkpoints->push_back(checkpoint(i));
        w.beginLazyUnit();
      }
      writePage(i, page_number++);
      if (checkpoints) w.endLazyUnit();
    }
    if ((i & 63) == 0) ctx.progress(std::min(page.end, size));
  }
  ctx.progress(size);
}

OggWriter::Checkpoint OggWriter::checkpoint(size_t page) const {
  Checkpoint saved{page, page_number, stream_count, {}};
  for (const auto& [key, s] : streams) {
    SavedStream stream;
    stream.key = key;
    stream.info = s.info;
    stream.identified = s.identified;
    stream.index = s.index;
    stream.packets = s.packets;
    stream.next_sequence = s.next_sequence;
    if (s.pending) {
      stream.pending = true;
      stream.pending_page = s.pending->first_page;
      stream.pending_first = s.pending->first;
      stream.pending_number = s.pending->number;
      stream.pending_next = s.pending->next;
    }
    saved.streams.push_back(stream);
  }
  return saved;
}

void OggWriter::restore(const Checkpoint& checkpoint, std::shared_ptr<const std::vector<OggPage>> walked) {
  pages = std::move(walked);
  next_page = checkpoint.page;
  page_number = checkpoint.page_number;
  stream_count = checkpoint.stream_count;
  streams.clear();
  for (const SavedStream& saved : checkpoint.streams) {
    StreamState& s = streams[saved.key];
    s.info = saved.info;
    s.identified = saved.identified;
    s.index = saved.index;
    s.packets = saved.packets;
    s.next_sequence = saved.next_sequence;
    if (!saved.pending) continue;
    s.pending = gatherPacket(saved.pending_page, saved.info.serial, saved.pending_first, saved.pending_number);
    s.pending->next = saved.pending_next;
  }
}

void OggWriter::writeNextPage() {
  while (pages && next_page < pages->size() && (*pages)[next_page].garbage) ++next_page;
  if (!pages || next_page >= pages->size()) return;
  writePage(next_page++, page_number++);
}

OggWriter::StreamState& OggWriter::streamFor(const OggPage& page) {
  auto found = streams.find(page.serial);
  // A first page of a serial already seen starts a new logical stream (a chain may reuse it).
  if (found != streams.end() && !((page.flags & kFirstPage) && found->second.packets > 0)) return found->second;
  StreamState& state = streams[page.serial];
  state = StreamState();
  packet_timing.restart(page.serial);
  state.index = stream_count++;
  state.info.serial = page.serial;
  return state;
}

void OggWriter::identify(StreamState& s, const uint8_t* packet, int64_t bytes) {
  if (s.identified) return;
  s.info = ogg::identifyStream(s.info.serial, packet, bytes);
  s.identified = true;
}

std::string OggWriter::sequenceNote(StreamState& s, const OggPage& page) {
  std::string note;
  if (s.next_sequence >= 0 && int64_t(page.sequence) != s.next_sequence)
    note = "expected " + numberText(uint64_t(s.next_sequence)) +
           (int64_t(page.sequence) > s.next_sequence
                ? ": " + numberText(page.sequence - uint64_t(s.next_sequence)) + (page.sequence - uint64_t(s.next_sequence) == 1 ? " page missing" : " pages missing")
                : ": out of order");
  s.next_sequence = int64_t(page.sequence) + 1;
  return note;
}

void OggWriter::writePage(size_t index, int64_t page_number) {
  const OggPage& page = (*pages)[index];
  pagePieces(data, size, page, pieces);
  StreamState& s = streamFor(page);
  if (!s.identified && !pieces.empty() && pieces[0].ends_packet && !(page.flags & kContinued) && s.packets == 0 &&
      pieces[0].end <= size)
    identify(s, data + pieces[0].begin, pieces[0].end - pieces[0].begin);
  const std::string sequence_note = sequenceNote(s, page);

  w.openUnit("page", page.begin * 8, (page.end - page.begin) * 8, {}, {}, page_number);
  const int64_t ending = std::count_if(pieces.begin(), pieces.end(), [](const PagePiece& p) { return p.ends_packet; });
  pageHeader(page, s, sequence_note, ending);
  for (size_t k = 0; k < pieces.size(); ++k) writePiece(index, s, pieces[k], k == 0 && (page.flags & kContinued));
  if (ending > 0) packet_timing.pageEnd(s.info, page.granule, page.flags & kLastPage);

  std::string raw = std::string(ogg::codecName(s.info.codec)) + " " + numberText(page.serial) + ", granule " +
                    signedText(page.granule) + ", " + numberText(uint64_t(ending)) +
                    (ending == 1 ? " packet" : " packets");
  std::string hrf;
  const auto note = [&hrf](const std::string& text) {
    if (text.empty()) return;
    if (!hrf.empty()) hrf += ", ";
    hrf += text;
  };
  if (page.flags & kFirstPage) note("first page");
  if (page.flags & kLastPage) note("last page");
  if (page.flags & kContinued) note("continued packet");
  if (!sequence_note.empty()) note("sequence " + sequence_note);
  if (!page.crc_ok && !page.cut(size)) note("CRC mismatch");
  w.setUnitValue(raw, hrf);
  w.closeUnit();
}

void OggWriter::pageHeader(const OggPage& page, const StreamState& s, const std::string& sequence_note, int64_t ending) {
  const int64_t table = page.begin + kPageHeaderBytes;
  const int64_t present = std::max<int64_t>(0, std::min<int64_t>(page.segments, size - table));
  FieldReader f(w, data, page.begin, std::min(table + present, size));
  f.fixedString("capture_pattern", 4, TextEncoding::Latin1);
  f.u("stream_structure_version", 8);
  {
    FieldUnit flags(f, "header_type", -1, hexText(page.flags, 2));
    f.u("reserved", 5, page.flags & 0xf8 ? "should be 0" : "");
    f.flag("last_page", page.flags & kLastPage ? "last page of its logical stream (eos)" : "");
    f.flag("first_page", page.flags & kFirstPage ? "first page of its logical stream (bos)" : "");
    f.flag("continued_packet", page.flags & kContinued ? "the first packet continues from the previous page" : "");
  }
  f.sle("granule_position", 8, ogg::granuleText(s.info, page.granule));
  f.ule("bitstream_serial_number", 4,
        std::string(ogg::codecName(s.info.codec)) + ", logical stream " + numberText(uint64_t(s.index)));
  f.ule("page_sequence_number", 4, sequence_note);
  f.ule("CRC_checksum", 4, page.cut(size) ? "not checked: the page is cut short" : page.crc_ok ? "ok" : "mismatch");
  f.u("page_segments", 8);
  if (present > 0) {
    std::string values;
    int64_t body = 0;
    for (int64_t i = 0; i < present; ++i) {
      if (i) values += ' ';
      appendNumber(values, data[table + i]);
      body += data[table + i];
    }
    f.text("segment_table", present * 8, values,
           numberText(uint64_t(body)) + " bytes, " + numberText(uint64_t(ending)) +
               (ending == 1 ? " packet ends here" : " packets end here"));
  }
}

void OggWriter::writePiece(size_t page_index, StreamState& s, const PagePiece& piece, bool continued) {
  if (piece.begin >= size) return;
  if (continued) {
    PendingPacket* pending = s.pending.get();
    if (pending && pending->next < pending->pieces.size() && pending->pieces[pending->next].file_begin == piece.begin) {
      writePendingPiece(s);
      return;
    }
    s.pending.reset();
    const int64_t end = std::min(piece.end, size);
    w.addField("packet", piece.begin * 8, (end - piece.begin) * 8,
               numberText(uint64_t(end - piece.begin)) + " bytes",
               "continued from a page that is not in the file");
    return;
  }
  s.pending.reset();
  if (piece.ends_packet) {
    const int64_t number = s.packets++;
    const int64_t end = std::min(piece.end, size);
    if (number == 0) identify(s, data + piece.begin, end - piece.begin);
    FieldReader f(w, data, piece.begin, end);
    ogg::decodePacket(f, s.info, number, piece.end > size, {});
    packet_timing.packet(s.info, number, f.firstElementId(), piece.begin, end - piece.begin, data + piece.begin,
                         end - piece.begin);
    return;
  }
  s.pending = gatherPacket(page_index, s.info.serial, piece, s.packets++);
  writePendingPiece(s);
}

// A packet that starts with `first` and continues: its pieces on the following pages of the
// same stream, and its copy.
std::unique_ptr<OggWriter::PendingPacket> OggWriter::gatherPacket(size_t page_index, uint32_t serial, const PagePiece& first,
                                                                   int64_t number) const {
  auto packet = std::make_unique<PendingPacket>();
  packet->number = number;
  packet->first_page = page_index;
  packet->first = first;
  int64_t copy_size = 0;
  const auto add = [&](const PagePiece& piece) {
    const int64_t end = std::min(piece.end, size);
    const int64_t bytes = std::max<int64_t>(0, end - piece.begin);
    packet->pieces.push_back({copy_size, copy_size + bytes, piece.begin});
    copy_size += bytes;
    if (copy_size > kLargestCopiedPacket) packet->copied = false;
    if (packet->copied) packet->bytes.insert(packet->bytes.end(), data + piece.begin, data + piece.begin + bytes);
  };
  add(first);
  std::vector<PagePiece> later;
  for (size_t j = page_index + 1; j < pages->size() && j <= page_index + kLookaheadPages; ++j) {
    const OggPage& page = (*pages)[j];
    if (page.garbage || page.serial != serial) continue;
    if (!(page.flags & kContinued) || (page.flags & kFirstPage)) break;
    pagePieces(data, size, page, later);
    if (later.empty()) {
      if (page.segments == 0) continue;  // a page without segments carries nothing of the packet
      break;
    }
    add(later[0]);
    if (later[0].ends_packet) {
      packet->complete = later[0].end <= size;
      break;
    }
    if (page.cut(size)) break;
  }
  if (!packet->copied) packet->bytes.clear();
  return packet;
}

void OggWriter::writePendingPiece(StreamState& s) {
  PendingPacket& packet = *s.pending;
  const Piece& piece = packet.pieces[packet.next];
  const bool last = packet.next + 1 == packet.pieces.size();
  int64_t element_id = 0;
  if (packet.copied) {
    if (packet.number == 0 && packet.next == 0) identify(s, packet.bytes.data(), int64_t(packet.bytes.size()));
    PieceWriter piece_writer(w, piece, last, "page");
    FieldReader f(w, packet.bytes.data(), 0, int64_t(packet.bytes.size()));
    f.setPieceWriter(&piece_writer);
    ogg::decodePacket(f, s.info, packet.number, !packet.complete, {});
    element_id = f.firstElementId();
  } else {
    std::string note = packet.next > 0 ? "continued from an earlier page" : "";
    if (!last) note += std::string(note.empty() ? "" : ", ") + "continues in the next page";
    element_id = w.addField("packet", piece.file_begin * 8, (piece.copy_end - piece.copy_begin) * 8,
                            numberText(uint64_t(piece.copy_end - piece.copy_begin)) + " bytes of a large packet",
                            note, packet.number);
  }
  if (packet.next == 0) {
    const uint8_t* head = packet.copied ? packet.bytes.data() : data + piece.file_begin;
    const int64_t head_bytes = packet.copied ? int64_t(packet.bytes.size()) : piece.copy_end - piece.copy_begin;
    packet_timing.packet(s.info, packet.number, element_id, piece.file_begin, packet.pieces.back().copy_end, head,
                         head_bytes);
  }
  if (++packet.next == packet.pieces.size()) s.pending.reset();
}

}  // namespace corvanta::ogg
