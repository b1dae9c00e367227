#include "formats/mpegts/TsPacketCounter.h"

#include "ElementWriter.h"
#include "codecs/PesHeader.h"
#include "formats/mpegts/TsAdaptationField.h"
#include "formats/mpegts/TsLayout.h"
#include "formats/mpegts/TsPacketWriter.h"
#include "formats/mpegts/TsProgramMap.h"

namespace corvanta::mpegts {

namespace {

// sync_byte to continuity_counter.
constexpr int kHeaderFields = 8;
// adaptation_field and adaptation_field_length; then the eight flag bits when the length is not 0.
constexpr int kAdaptationFieldHead = 2;
constexpr int kAdaptationFlags = 8;
// A PCR or OPCR: its unit, the base, the reserved bits and the extension.
constexpr int kClockReferenceElements = 4;
constexpr int kClockReferenceBytes = 6;

}  // namespace

int plainAdaptationFieldElements(const uint8_t* p, bool has_payload, int* shape) {
  const int declared = p[0];
  if (declared > (has_payload ? 182 : 183)) return -1;
  *shape = 1;
  if (declared == 0) return kAdaptationFieldHead;
  const uint8_t flags = p[1];
  *shape |= 2 | ((flags & 0x1C) << 1);  // PCR, OPCR, splice_countdown
  const bool pcr = flags & 0x10, opcr = flags & 0x08, splicing = flags & 0x04;
  if (flags & 0x03) return -1;  // transport_private_data_flag, adaptation_field_extension_flag
  int used = 1;
  int elements = kAdaptationFieldHead + kAdaptationFlags;
  if (pcr) {
    used += kClockReferenceBytes;
    elements += kClockReferenceElements;
  }
  if (opcr) {
    used += kClockReferenceBytes;
    elements += kClockReferenceElements;
  }
  if (splicing) {
    used += 1;
    elements += 1;
  }
  if (used > declared) return -1;  // the flagged fields run past the length: written as an error
  if (used < declared) {
    elements += 1;  // stuffing_byte
    *shape |= 64;
  }
  return elements;
}

int64_t pesStartShape(const uint8_t* p, int64_t available) {
  const int64_t header = codecs::pesHeaderLength(p, available, false);
  if (header == 0 || header > available) return -1;
  const int64_t payload_after = header < available ? 1 : 0;
  if (!codecs::hasOptionalPesHeader(p[3])) return payload_after;
  // The fields of DSM_trick_mode_flag and PES_extension_flag vary with their values.
  if (p[7] & 0x09) return -1;
  return 2 | payload_after | int64_t(p[7]) << 2 | int64_t(p[8]) << 10;
}

PacketCounter::PacketCounter(PacketWriter& writer) : packets(writer) {}

bool PacketCounter::writeAndLearn(int64_t index, int64_t offset, int64_t shape) {
  ElementWriter& w = packets.w;
  const int64_t before = w.elementCount();
  w.beginLazyUnit();
  packets.writePacket(index, offset);
  w.endLazyUnit();
  if (pes_start_counts.size() < kMostPesStartShapes) pes_start_counts.emplace(shape, w.elementCount() - before);
  return true;
}

bool PacketCounter::count(int64_t index, int64_t offset) {
  PacketWriter& p = packets;
  const PacketFormat& format = p.layout.format();
  if (offset < 0 || offset + format.size > p.file_size) return false;  // cut by the end of the file
  const int64_t end = offset + format.size;
  const int64_t sync = offset + format.sync_offset;
  const int64_t ts_end = sync + kTsPacketSize;
  const PacketHeader h = PacketHeader::read(p.data + sync);
  if (h.adaptation_control == 0) return false;
  const PacketBytes bytes = PacketBytes::locate(p.data, sync, ts_end, h);

  // A lean packet's header and adaptation field are one element each.
  int64_t elements = 1 + (p.lean ? 1 : kHeaderFields) + (format.isM2ts() ? 2 : 0) + (format.hasParity() ? 1 : 0);
  AdaptationFacts facts;
  int shape = 0;
  if (h.hasAdaptationField()) {
    const int adaptation = plainAdaptationFieldElements(p.data + sync + 4, h.hasPayload(), &shape);
    if (adaptation < 0) return false;
    elements += p.lean ? 1 : adaptation;
    if (bytes.adaptation_length > 0) facts = readAdaptationFacts(p.data + sync + 5, bytes.adaptation_length);
  }
  PacketWriter::PidState& state = p.pids[h.pid];
  const PidInfo& info = p.programs.pid(h.pid);
  // Whether the payload is the rest of a PES packet, written as one leaf that counts its bytes,
  // or starts one.
  bool continues_pes = false, starts_pes = false;
  int64_t video_elements = -1;  // of a video payload whose NAL units are decoded
  if (h.hasPayload()) {
    if (h.pid != kNullPid && h.scrambling == 0) {
      if (info.sections || state.pendingIn(index)) return false;
      if (p.ctx.decode_frames && ByteStreams::carries(info.stream_type)) {
        if (h.unit_start) return false;
        video_elements = p.byte_streams.countPayload(p.w, h.pid, bytes.payload_begin, ts_end);
        if (video_elements < 0) return false;
      }
      if (h.unit_start) {
        const int64_t pes_shape = pesStartShape(p.data + bytes.payload_begin, ts_end - bytes.payload_begin);
        if (pes_shape < 0) return false;
        const int64_t start_shape = int64_t(shape) | pes_shape << 7;
        const auto learned = pes_start_counts.find(start_shape);
        if (learned == pes_start_counts.end()) return writeAndLearn(index, offset, start_shape);
        starts_pes = true;
        elements = learned->second;
      } else {
        continues_pes = true;
      }
    }
    if (!starts_pes) elements += video_elements >= 0 ? video_elements : 1;
    shape |= h.pid == kNullPid ? 128 : h.scrambling != 0 ? 256 : 384;
    // A video payload counted from its NAL units names other elements than a PES payload leaf.
    if (video_elements >= 0) shape |= 1024;
  } else if (sync + 5 + bytes.adaptation_length < ts_end) {
    elements += 1;  // data_byte after an adaptation field that does not fill the packet
    shape |= 512;
  }
  if (!starts_pes && !shapes_written[size_t(shape)]) {
    shapes_written.set(size_t(shape));
    return false;
  }

  const int64_t id = p.w.addCountedLazyUnit(offset * 8, (end - offset) * 8, elements);
  if (id < 0) return false;
  const PacketWriter::Continuity continuity = p.checkContinuity(state, h, facts.discontinuity, bytes);
  if (continuity.expected >= 0 && h.hasPayload() && state.pes_open) state.pes_broken = true;
  if (continues_pes) state.pes_bytes += ts_end - bytes.payload_begin;
  if (video_elements >= 0) p.byte_streams.countedPayload(h.pid, bytes.payload_begin, ts_end);
  if (starts_pes) {
    // As PacketWriter::pesPayload leaves a PES packet whose header it has just written whole.
    state.pending.clear();
    state.pes_open = true;
    state.pes_broken = false;
    state.pes_bytes = ts_end - bytes.payload_begin;
    p.pes_picture.clear();
  }
  p.random_access_claimed = facts.random_access;
  p.packet_readable = {};
  p.timing_facts.packet(id, offset, h, bytes, facts, continuity.expected);
  return true;
}

}  // namespace corvanta::mpegts
