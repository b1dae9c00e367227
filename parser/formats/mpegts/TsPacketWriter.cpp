#include "formats/mpegts/TsPacketWriter.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "PieceWriter.h"
#include "TextForms.h"
#include "TimingWriter.h"
#include "codecs/PesHeader.h"
#include "formats/mpegts/TsAdaptationField.h"
#include "formats/mpegts/TsLayout.h"
#include "formats/mpegts/TsPacketCounter.h"
#include "formats/mpegts/TsProgramMap.h"
#include "formats/mpegts/TsSection.h"

#include <algorithm>
#include <cstring>

namespace corvanta::mpegts {

namespace {

constexpr int64_t kProgressEvery = 1024;  // packets

const char* const kAdaptationControl[] = {"reserved", "payload only", "adaptation field only",
                                          "adaptation field and payload"};
const char* const kScrambling[] = {"", "reserved", "even key", "odd key"};

const char* pointerNote(int pointer) {
  return pointer == 0 ? "a section starts right after it" : "bytes that end the previous section come first";
}

}  // namespace

PacketWriter::PacketWriter(ParseContext& context, const PacketLayout& packet_layout, const ProgramMap& program_map)
    : ctx(context),
      w(context.writer),
      data(context.file.data()),
      file_size(context.file.size()),
      layout(packet_layout),
      programs(program_map),
      reassembler(context.file.data(), context.file.size(), packet_layout),
      timing_facts(context.writer.timing(), program_map, packet_layout, context.file.data()),
      byte_streams(context.file.data(), context.file.size(), packet_layout),
      lean(context.lean == ParseContext::Lean::On),
      pids(kPidCount) {
  for (int pid = 0; pid < kPidCount; ++pid)
    if (layout.firstOfPid(uint16_t(pid)) >= 0) present_pids.push_back(uint16_t(pid));
}

void PacketWriter::writeAll(std::vector<Checkpoint>* checkpoints) {
  const int stride = layout.format().size;
  PacketCounter counter(*this);
  for (const Stretch& stretch : layout.stretches()) {
    if (stretch.packets == 0) {
      const int64_t id = w.addGarbage(stretch.offset * 8, stretch.size * 8);
      timing_facts.lostSync(id, stretch.offset, stretch.size);
      continue;
    }
    for (int64_t i = 0; i < stretch.packets; ++i) {
      const int64_t index = stretch.first_index + i;
      if ((index % kProgressEvery) == 0) ctx.progress(stretch.offset + i * stride);
      if (checkpoints) {
        // Each packet is a lazy unit, decoded again from the nearest checkpoint before it.
        if (index % kCheckpointEvery == 0) checkpoints->push_back(checkpoint());
        if (counter.count(index, stretch.offset + i * stride)) continue;
        w.beginLazyUnit();
      }
      writePacket(index, stretch.offset + i * stride);
      if (checkpoints) w.endLazyUnit();
    }
  }
  timing_facts.finish();
}

void PacketWriter::writePacketAt(int64_t index) {
  const int64_t offset = layout.offsetOf(index);
  if (offset >= 0) writePacket(index, offset);
}

void PacketWriter::keepPending(PidState& state, const GatheredAt& origin) {
  std::swap(state.pending, scratch_unit);
  state.next_piece = 1;
  state.pending_origin = origin;
}

PacketWriter::Checkpoint PacketWriter::checkpoint() {
  Checkpoint saved;
  for (const uint16_t pid : present_pids) {
    const PidState& state = pids[pid];
    if (state.continuity < 0 && !state.seen_section && !state.pes_open && state.pending.pieces.empty()) continue;
    PidCheckpoint& p = saved.emplace_back();
    p.pid = uint16_t(pid);
    p.continuity = int8_t(state.continuity);
    p.pes_open = state.pes_open;
    p.pes_broken = state.pes_broken;
    p.seen_section = state.seen_section;
    p.payload_begin = state.payload_begin;
    p.payload_end = state.payload_end;
    p.pes_bytes = state.pes_bytes;
    if (!state.pending.pieces.empty()) {
      p.pending = state.pending_origin;
      p.next_piece = uint32_t(state.next_piece);
    }
    p.video = byte_streams.save(uint16_t(pid));
  }
  return saved;
}

bool PacketWriter::restorable(const Checkpoint& saved) {
  return std::all_of(saved.begin(), saved.end(), [](const PidCheckpoint& p) { return !p.video || p.video->restorable(); });
}

void PacketWriter::restore(const Checkpoint& saved) {
  for (const uint16_t pid : present_pids) pids[pid] = PidState();
  byte_streams.clear();
  for (const PidCheckpoint& p : saved) {
    PidState& state = pids[p.pid];
    state.continuity = p.continuity;
    state.pes_open = p.pes_open;
    state.pes_broken = p.pes_broken;
    state.seen_section = p.seen_section;
    state.payload_begin = p.payload_begin;
    state.payload_end = p.payload_end;
    state.pes_bytes = p.pes_bytes;
    if (p.pending.index >= 0) {
      // The split unit is gathered again from where it started, as the analysis gathered it.
      reassembler.gather(p.pending.index, p.pending.begin, p.pending.end, p.pending.carriage, state.pending);
      state.next_piece = p.next_piece;
      state.pending_origin = p.pending;
    }
    if (p.video) byte_streams.restore(p.pid, programs.pid(p.pid).stream_type, *p.video);
  }
}

void PacketWriter::writeCutHeader(int64_t index, int64_t offset, int64_t end) {
  w.openUnit("packet", offset * 8, (end - offset) * 8, "cut short by the end of the file", "truncated", index);
  FieldReader f(w, data, offset, end);
  if (layout.format().isM2ts()) {
    f.u("copy_permission_indicator", 2);
    f.u("arrival_time_stamp", 30);
  }
  f.text("sync_byte", 8, "0x47");
  f.recover();
  f.rest("packet_data", "the header is cut short");
  w.closeUnit();
}

PacketWriter::Continuity PacketWriter::checkContinuity(PidState& state, const PacketHeader& h,
                                                       bool discontinuity_indicator, const PacketBytes& bytes) const {
  Continuity c;
  if (h.pid == kNullPid) return c;
  if (state.continuity >= 0 && !discontinuity_indicator) {
    if (h.hasPayload()) {
      // A packet may be sent twice with the same counter; one with the same counter and other
      // bytes is not a duplicate but a jump by sixteen.
      const auto same_payload = [&]() {
        return state.payload_begin >= 0 && state.payload_end - state.payload_begin == bytes.payloadSize() &&
               std::memcmp(data + state.payload_begin, data + bytes.payload_begin, size_t(bytes.payloadSize())) == 0;
      };
      if (h.continuity == state.continuity && same_payload())
        c.duplicate = true;
      else if (h.continuity != ((state.continuity + 1) & 15))
        c.expected = (state.continuity + 1) & 15;
    } else if (h.continuity != state.continuity) {
      c.expected = state.continuity;
    }
  }
  state.continuity = h.continuity;
  if (h.hasPayload()) {
    state.payload_begin = bytes.payload_begin;
    state.payload_end = bytes.end;
  }
  return c;
}

void PacketWriter::summarise(const PacketHeader& h, const PidInfo& info, const Continuity& continuity,
                             const AdaptationFacts& facts) {
  summary.clear();
  summary += "PID ";
  appendHex(summary, h.pid, 4);
  summary += ' ';
  summary += info.word;
  if (h.pid == kNullPid) return;
  if (h.unit_start) summary += ", PUSI";
  summary += ", cc ";
  appendNumber(summary, h.continuity);
  if (continuity.duplicate) summary += ", duplicate";
  if (continuity.expected >= 0) {
    summary += " (expected ";
    appendNumber(summary, uint64_t(continuity.expected));
    summary += ')';
  }
  if (facts.discontinuity) summary += ", discontinuity";
  if (facts.has_pcr) {
    summary += ", PCR ";
    appendSeconds(summary, int64_t(facts.pcr), kSystemClock);
  }
  if (h.transport_error) summary += ", transport error";
  if (h.scrambling) summary += ", scrambled";
}

void PacketWriter::headerFields(FieldReader& f, const PacketHeader& h, const PidInfo& info,
                                const Continuity& continuity, bool signalled) {
  f.text("sync_byte", 8, "0x47");
  f.u("transport_error_indicator", 1, h.transport_error ? "uncorrectable error" : "");
  f.u("payload_unit_start_indicator", 1);
  f.u("transport_priority", 1);
  f.u("PID", 13, info.label);
  f.u("transport_scrambling_control", 2, kScrambling[h.scrambling]);
  f.u("adaptation_field_control", 2, kAdaptationControl[h.adaptation_control]);
  f.u("continuity_counter", 4, continuityNote(h, continuity, signalled));
}

std::string_view PacketWriter::continuityNote(const PacketHeader& h, const Continuity& continuity, bool signalled) {
  if (continuity.duplicate) return "duplicate packet";
  if (continuity.expected >= 0) {
    text = "expected ";
    appendNumber(text, uint64_t(continuity.expected));
    text += h.hasPayload() ? ": packets lost" : ": a packet without payload keeps the counter";
    return text;
  }
  return signalled ? "discontinuity signalled" : "";
}

void PacketWriter::leanHeader(FieldReader& f, int64_t sync, const PacketHeader& h, const Continuity& continuity,
                              bool signalled) {
  std::string raw;
  appendHex(raw, uint64_t(data[sync]) << 24 | uint64_t(data[sync + 1]) << 16 | uint64_t(data[sync + 2]) << 8 | data[sync + 3], 8);
  std::string readable = "PID ";
  appendHex(readable, h.pid, 4);
  readable += ", continuity_counter ";
  appendNumber(readable, h.continuity);
  if (h.unit_start) readable += ", payload unit start";
  if (h.transport_error) readable += ", uncorrectable error";
  if (h.priority) readable += ", priority";
  if (h.scrambling) readable += std::string(", scrambling ") + kScrambling[h.scrambling];
  readable += ", ";
  readable += kAdaptationControl[h.adaptation_control];
  const std::string_view note = continuityNote(h, continuity, signalled);
  if (!note.empty()) readable.append(", ").append(note);
  f.text("header", 32, raw, readable);
}

void PacketWriter::writePacket(int64_t index, int64_t offset) {
  const PacketFormat& format = layout.format();
  const int64_t end = std::min(offset + format.size, file_size);
  const int64_t sync = offset + format.sync_offset;
  if (sync + 4 > end) {
    writeCutHeader(index, offset, end);
    return;
  }
  const PacketHeader h = PacketHeader::read(data + sync);
  const int64_t ts_end = std::min(sync + kTsPacketSize, end);
  const PacketBytes bytes = PacketBytes::locate(data, sync, ts_end, h);
  AdaptationFacts facts;
  if (bytes.adaptation_length > 0)
    facts = readAdaptationFacts(data + sync + 5, std::min(bytes.adaptation_length, ts_end - sync - 5));
  PidState& state = pids[h.pid];
  const PidInfo& info = programs.pid(h.pid);
  const Continuity continuity = checkContinuity(state, h, facts.discontinuity, bytes);
  if (continuity.expected >= 0 && h.hasPayload() && state.pes_open) state.pes_broken = true;
  summarise(h, info, continuity, facts);

  // A packet cut by the end of the file says so, like any unit the writer clamps.
  packet_readable = end - offset < format.size ? "truncated" : "";
  random_access_claimed = facts.random_access;
  pes_picture.clear();
  const int64_t id = w.openUnit("packet", offset * 8, (end - offset) * 8, summary, packet_readable, index);
  FieldReader f(w, data, offset, ts_end);
  if (format.isM2ts()) {
    f.u("copy_permission_indicator", 2);
    const uint64_t arrival = f.peek(30);
    text.clear();
    appendSeconds(text, int64_t(arrival), kSystemClock);
    f.u("arrival_time_stamp", 30, text);
  }
  if (lean)
    leanHeader(f, sync, h, continuity, facts.discontinuity);
  else
    headerFields(f, h, info, continuity, facts.discontinuity);
  if (h.hasAdaptationField()) adaptationField(f, facts, h.hasPayload(), text);
  if (h.hasPayload() && bytes.payload_begin < ts_end) {
    payload(index, h, info, state, bytes.payload_begin, ts_end);
  } else if (!h.hasPayload() && f.bytePos() < ts_end) {
    leaf("data_byte", f.bytePos(), ts_end, {},
         h.adaptation_control == 0 ? "adaptation_field_control 00 is reserved: not decoded"
                                   : "after the adaptation field of a packet without payload");
  }
  if (format.hasParity() && ts_end < end) {
    FieldReader parity(w, data, ts_end, end);
    parity.bytes("Reed_Solomon_parity", end - ts_end);
  }
  timing_facts.packet(id, offset, h, bytes, facts, continuity.expected, TimingWriter::pictureLetter(pes_picture));
  w.closeUnit();
}

void PacketWriter::payload(int64_t index, const PacketHeader& h, const PidInfo& info, PidState& state,
                           int64_t begin, int64_t end) {
  if (h.pid == kNullPid) {
    leaf("null_data", begin, end, {}, {});
  } else if (h.scrambling != 0) {
    leaf("payload", begin, end, {}, "scrambled");
  } else if (info.sections) {
    sectionPayload(index, h, info, state, begin, end);
  } else {
    pesPayload(index, h, state, begin, end);
  }
}

void PacketWriter::sectionPayload(int64_t index, const PacketHeader& h, const PidInfo& info, PidState& state,
                                  int64_t begin, int64_t end) {
  int64_t pos = begin;
  int64_t first_section = begin;
  if (h.unit_start) {
    const int pointer = data[begin];
    text.clear();
    appendNumber(text, uint64_t(pointer));
    w.addField("pointer_field", begin * 8, 8, text, pointerNote(pointer));
    pos = begin + 1;
    first_section = std::min(end, pos + pointer);
  }
  if (state.pendingIn(index)) {
    const Piece& piece = state.pending.pieces[state.next_piece];
    writePiece(state.pending, state.next_piece, Carriage::Section, info);
    pos = piece.file_begin + (piece.copy_end - piece.copy_begin);
    if (++state.next_piece == state.pending.pieces.size()) state.pending.clear();
  }
  const std::string_view orphan = state.seen_section ? "the end of a section whose earlier packets were lost"
                                                     : "the end of a section that began before the file";
  if (!h.unit_start) {
    if (pos == begin)
      leaf("section_data", begin, end, {}, orphan);
    else if (pos < end)
      stuffing(pos, end);
    return;
  }
  if (pos < first_section) leaf("section_data", pos, first_section, {}, pos == begin + 1 ? orphan : "after the end of the previous section");
  pos = std::max(pos, first_section);
  while (pos < end && data[pos] != 0xFF) {
    const GatheredAt origin{index, pos, end, Carriage::Section};
    reassembler.gather(index, pos, end, Carriage::Section, scratch_unit);
    if (scratch_unit.pieces.empty()) break;
    state.seen_section = true;
    writePiece(scratch_unit, 0, Carriage::Section, info);
    const Piece& first = scratch_unit.pieces.front();
    pos = first.file_begin + (first.copy_end - first.copy_begin);
    if (scratch_unit.pieces.size() > 1) keepPending(state, origin);
  }
  if (pos < end) stuffing(pos, end);
}

void PacketWriter::pesPayload(int64_t index, const PacketHeader& h, PidState& state, int64_t begin, int64_t end) {
  int64_t pos = begin;
  if (state.pendingIn(index)) {
    const Piece& piece = state.pending.pieces[state.next_piece];
    writePiece(state.pending, state.next_piece, Carriage::PesHeader, programs.pid(h.pid));
    pos = piece.file_begin + (piece.copy_end - piece.copy_begin);
    state.pes_bytes += pos - begin;
    if (++state.next_piece == state.pending.pieces.size()) state.pending.clear();
  } else if (h.unit_start) {
    state.pending.clear();
    state.pes_open = false;
    state.pes_broken = false;
    if (codecs::pesHeaderLength(data + begin, end - begin, false) == 0) {
      leaf("payload", begin, end, {}, "no PES start code where a payload unit starts");
      return;
    }
    peekPicture(index, h, begin, end);
    reassembler.gather(index, begin, end, Carriage::PesHeader, scratch_unit);
    if (!scratch_unit.pieces.empty()) {
      writePiece(scratch_unit, 0, Carriage::PesHeader, programs.pid(h.pid));
      const Piece& first = scratch_unit.pieces.front();
      pos = first.file_begin + (first.copy_end - first.copy_begin);
      if (scratch_unit.pieces.size() > 1) keepPending(state, {index, begin, end, Carriage::PesHeader});
    }
    state.pes_open = true;
    state.pes_bytes = pos - begin;
  }
  if (pos >= end) return;
  const uint8_t stream_type = programs.pid(h.pid).stream_type;
  if (ctx.decode_frames && ByteStreams::carries(stream_type)) {
    byte_streams.writePayload(w, index, h.pid, stream_type, pos, end);
    state.pes_bytes += end - pos;
    return;
  }
  text.clear();
  std::string_view note;
  if (state.pes_open) {
    text += "PES bytes ";
    appendNumber(text, uint64_t(state.pes_bytes));
    text += '-';
    appendNumber(text, uint64_t(state.pes_bytes + (end - pos) - 1));
    if (state.pes_broken) note = "packets of this PES packet were lost";
  } else {
    note = "the PES packet began before the file";
  }
  leaf("PES_packet_data_byte", pos, end, text, note);
  state.pes_bytes += end - pos;
}

void PacketWriter::writePiece(const SplitUnit& unit, size_t piece_index, Carriage carriage, const PidInfo& info) {
  const Piece& piece = unit.pieces[piece_index];
  auto decode = [&](FieldReader& f) {
    if (carriage == Carriage::Section)
      decodeSection(f, unit, info);
    else
      decodePesHeader(f, unit);
  };
  if (unit.pieces.size() == 1) {
    FieldReader f(w, data, piece.file_begin, piece.file_begin + unit.size());
    decode(f);
    return;
  }
  PieceWriter pieces(w, piece, piece_index + 1 == unit.pieces.size());
  FieldReader f(w, unit.bytes.data(), 0, unit.size());
  f.setPieceWriter(&pieces);
  decode(f);
}

void PacketWriter::decodeSection(FieldReader& f, const SplitUnit& unit, const PidInfo& info) {
  SectionContext context;
  context.role = info.role;
  context.atsc = programs.isAtsc();
  context.blu_ray = programs.isBluRay();
  context.needed = unit.needed;
  context.cut = unit.cut;
  sectionUnit(f, context);
}

void PacketWriter::decodePesHeader(FieldReader& f, const SplitUnit& unit) {
  FieldUnit header(f, "PES_header");
  const codecs::PesHeaderInfo info = codecs::pesHeader(f);
  std::string hrf;
  if (!unit.complete()) {
    hrf = "incomplete: " + numberText(uint64_t(unit.size())) + " of " + numberText(uint64_t(unit.needed)) + " bytes";
    if (unit.cut) hrf += ", the rest of its PID is missing";
  } else if (!info.complete) {
    hrf = "broken";
  }
  if (!f.ok()) {
    f.recover();
    f.rest("PES_header_data", "not decoded");
  }
  header.setSummary(pes_picture.empty() ? codecs::pesHeaderSummary(info)
                                        : codecs::pesHeaderSummary(info) + ", " + pes_picture,
                    hrf);
}

void PacketWriter::peekPicture(int64_t index, const PacketHeader& h, int64_t begin, int64_t end) {
  pes_picture.clear();
  const uint8_t stream_type = programs.pid(h.pid).stream_type;
  if (!ctx.decode_frames || !ByteStreams::carries(stream_type)) return;
  // A PES header split over packets is rare for video; its picture then goes unnamed.
  const int64_t header = codecs::pesHeaderLength(data + begin, end - begin, false);
  if (header <= 0 || header > end - begin) return;
  const codecs::FramePicture picture = byte_streams.peekPicture(index, h.pid, stream_type, begin + header, end);
  pes_picture = picture.type;
  // Many multiplexers never set random_access_indicator: only a PID that has set it before is
  // expected to set it on every random access picture.
  const bool signalled_before = byte_streams.randomAccessSignalled(h.pid);
  if (random_access_claimed) byte_streams.noteRandomAccessSignalled(h.pid);
  std::string_view contradiction;
  if (random_access_claimed && !picture.type.empty() && !picture.random_access)
    contradiction = "random_access_indicator set, but the picture is not a random access picture";
  if (!random_access_claimed && signalled_before && picture.random_access)
    contradiction = "a random access picture without random_access_indicator";
  if (!contradiction.empty()) {
    std::string readable(packet_readable);
    readable += readable.empty() ? "" : ", ";
    readable += contradiction;
    w.setUnitValue(summary, readable);
  }
}

void PacketWriter::leaf(std::string_view name, int64_t begin, int64_t end, std::string_view raw,
                        std::string_view hrf) {
  w.addField(name, begin * 8, (end - begin) * 8, raw, hrf);
}

void PacketWriter::stuffing(int64_t begin, int64_t end) {
  bool all_stuffing = true;
  for (int64_t i = begin; i < end && all_stuffing; ++i) all_stuffing = data[i] == 0xFF;
  text.clear();
  appendNumber(text, uint64_t(end - begin));
  text += end - begin == 1 ? " byte" : " bytes";
  if (all_stuffing)
    leaf("stuffing_byte", begin, end, "0xFF", text);
  else
    leaf("stuffing_byte", begin, end, hexDump(data + begin, end - begin), "not all 0xFF");
}

}  // namespace corvanta::mpegts
