#include "formats/mpegts/TsTiming.h"

#include "Checksums.h"
#include "TextForms.h"
#include "TimingWriter.h"
#include "codecs/PesHeader.h"
#include "formats/mpegts/TsAdaptationField.h"
#include "formats/mpegts/TsLayout.h"
#include "formats/mpegts/TsProgramMap.h"

#include <algorithm>
#include <cmath>

namespace corvanta::mpegts {

namespace {

constexpr int64_t kPcrHz = 27000000;
constexpr int64_t kMs = kPcrHz / 1000;
constexpr int64_t kPtsMs = 90;
constexpr int64_t kTimestampWrap = int64_t{1} << 33;
constexpr int64_t kPcrWrap = kTimestampWrap * 300;

// The limits of ETSI TR 101 290 (5.2.1, 5.2.2).
constexpr int64_t kTableInterval = 500 * kMs;       // PAT, PMT at least every 0.5 s
constexpr int64_t kPcrRepetition = 40 * kMs;
constexpr int64_t kPcrJump = 100 * kMs;
constexpr double kPcrAccuracy = 500e-9 * kPcrHz;     // ±500 ns
constexpr int64_t kPtsRepetition = 700 * kPtsMs;
// A constant mux rate puts every PCR this close to the line through the first and last.
constexpr double kConstantRateSlack = 1.0 * kMs;
// PID_error leaves the period to the user; five seconds of silence from a video or audio PID.
constexpr int64_t kPidSilence = 5000 * kMs;

const char* const kSyncLoss = "1.1 TS_sync_loss";
const char* const kSyncByteError = "1.2 Sync_byte_error";
const char* const kPatError = "1.3 PAT_error";
const char* const kContinuity = "1.4 Continuity_count_error";
const char* const kPmtError = "1.5 PMT_error";
const char* const kPidError = "1.6 PID_error";
const char* const kTransportError = "2.1 Transport_error";
const char* const kCrcError = "2.2 CRC_error";
const char* const kPcrRepetitionError = "2.3 PCR_repetition_error";
const char* const kPcrDiscontinuityError = "2.3 PCR_discontinuity_indicator_error";
const char* const kPcrAccuracyError = "2.4 PCR_accuracy_error";
const char* const kPtsError = "2.5 PTS_error";

// The short codec name of a stream_type, or the table's name where none is shorter.
const char* codecName(uint8_t stream_type, bool blu_ray) {
  switch (stream_type) {
    case 0x01: return "MPEG-1 video";
    case 0x02: return "MPEG-2 video";
    case 0x03: return "MPEG-1 audio";
    case 0x04: return "MPEG-2 audio";
    case 0x0F: return "AAC";
    case 0x10: return "MPEG-4 visual";
    case 0x11: return "AAC LATM";
    case 0x1B: return "H.264";
    case 0x24: return "HEVC";
    case 0x33: return "VVC";
    case 0x06: return nullptr;  // the descriptors say what; not read here
    default: break;
  }
  if (stream_type == 0x81 || stream_type == 0x87)
    return stream_type == 0x81 ? "AC-3" : "E-AC-3";
  return codecs::streamType(stream_type, blu_ray).name;
}

TimingWriter::Kind kindOf(codecs::StreamKind kind) {
  switch (kind) {
    case codecs::StreamKind::Video: return TimingWriter::Kind::Video;
    case codecs::StreamKind::Audio: return TimingWriter::Kind::Audio;
    case codecs::StreamKind::Subtitles:
    case codecs::StreamKind::Teletext: return TimingWriter::Kind::Subtitle;
    default: return TimingWriter::Kind::Data;
  }
}

// A 33-bit time stamp in its five bytes with marker bits.
int64_t timeStamp(const uint8_t* p) {
  return (int64_t(p[0] >> 1) & 7) << 30 | int64_t(p[1]) << 22 | int64_t(p[2] >> 1) << 15 | int64_t(p[3]) << 7 |
         int64_t(p[4] >> 1);
}

// "142.3 ms"
std::string milliseconds(int64_t ticks, int64_t ticks_per_ms) {
  const int64_t tenths = (ticks * 10 + ticks_per_ms / 2) / ticks_per_ms;
  std::string text;
  appendNumber(text, uint64_t(tenths / 10));
  text += '.';
  appendNumber(text, uint64_t(tenths % 10));
  text += " ms";
  return text;
}

}  // namespace

TsTiming::TsTiming(TimingWriter& timing_writer, const ProgramMap& program_map, const PacketLayout& layout,
                   const uint8_t* file_data)
    : timing(timing_writer),
      programs(program_map),
      data(file_data),
      stride(layout.format().size),
      sync_offset(layout.format().sync_offset),
      pids(kPidCount) {
  if (timing.enabled()) measureMuxRate(layout);
  for (int pid = 0; pid < kPidCount; ++pid) {
    const PidInfo& info = programs.pid(uint16_t(pid));
    if (info.role == PidRole::Pmt)
      pmt_pids.push_back(uint16_t(pid));
    else if (info.role == PidRole::Elementary &&
             (info.kind == codecs::StreamKind::Video || info.kind == codecs::StreamKind::Audio))
      elementary_pids.push_back(uint16_t(pid));
  }
}

void TsTiming::measureMuxRate(const PacketLayout& layout) {
  // The PCRs of the first PID that carries one, in two passes over its packets: the line through
  // the first and the last, then how far the others lie from it.
  struct Pcr {
    int64_t offset;
    int64_t value;
  };
  auto forEachPcr = [&](auto&& use) {
    int64_t first_pcr_pid = -1;
    for (int64_t index = 0; index < layout.packetCount(); ++index) {
      const int64_t offset = layout.offsetOf(index);
      const int64_t end = layout.endOf(index);
      const int64_t sync = offset + sync_offset;
      if (offset < 0 || sync + 6 > end || data[sync] != kSyncByte) continue;
      const PacketHeader h = PacketHeader::read(data + sync);
      if (!h.hasAdaptationField() || data[sync + 4] == 0 || (first_pcr_pid >= 0 && h.pid != first_pcr_pid)) continue;
      const AdaptationFacts facts = readAdaptationFacts(data + sync + 5, std::min<int64_t>(data[sync + 4], end - sync - 5));
      if (!facts.has_pcr) continue;
      if (facts.discontinuity && first_pcr_pid >= 0) return false;
      first_pcr_pid = h.pid;
      if (!use(Pcr{offset, int64_t(facts.pcr)})) return false;
      // Later packets of the same PID only.
      for (int64_t next = layout.nextOfPid(index); next >= 0; next = layout.nextOfPid(next)) {
        const int64_t o = layout.offsetOf(next);
        const int64_t e = layout.endOf(next);
        const int64_t s = o + sync_offset;
        if (o < 0 || s + 6 > e || !(data[s + 3] & 0x20) || data[s + 4] == 0) continue;
        const AdaptationFacts f = readAdaptationFacts(data + s + 5, std::min<int64_t>(data[s + 4], e - s - 5));
        if (!f.has_pcr) continue;
        if (f.discontinuity) return false;
        if (!use(Pcr{o, int64_t(f.pcr)})) return false;
      }
      return true;
    }
    return true;
  };
  Pcr first{-1, 0}, last{-1, 0};
  if (!forEachPcr([&](const Pcr& p) {
        if (first.offset < 0) first = p;
        last = p;
        return true;
      }))
    return;
  if (first.offset < 0 || last.value <= first.value || last.offset <= first.offset) return;
  const double slope = double(last.offset - first.offset) / double(last.value - first.value);
  const bool constant = forEachPcr([&](const Pcr& p) {
    const double expected = double(first.value) + double(p.offset - first.offset) / slope;
    return std::fabs(double(p.value) - expected) <= kConstantRateSlack;
  });
  if (constant) mux_bytes_per_tick = slope;
}

void TsTiming::fault(int64_t element_id, int stream, const char* check, int priority, std::string detail) {
  timing.addFault(element_id, stream, check, priority, std::move(detail));
}

void TsTiming::lostSync(int64_t element_id, int64_t offset, int64_t size) {
  if (!timing.enabled())
    return;
  // One packet's worth with a wrong first byte at the stride: the sync byte is corrupt, the
  // packets around it are in step.
  if (size == stride) {
    std::string detail = "sync byte ";
    appendHex(detail, data[offset + sync_offset], 2);
    detail += " where 0x47 belongs";
    fault(element_id, 0, kSyncByteError, 1, std::move(detail));
    return;
  }
  std::string detail;
  appendNumber(detail, uint64_t(size));
  detail += " bytes without sync";
  fault(element_id, 0, kSyncLoss, 1, std::move(detail));
}

void TsTiming::packet(int64_t element_id, int64_t offset, const PacketHeader& h, const PacketBytes& bytes,
                      const AdaptationFacts& facts, int continuity_expected, char picture_type) {
  if (!timing.enabled() || h.pid == kNullPid)
    return;
  PidTiming& state = pids[h.pid];
  const PidInfo& info = programs.pid(h.pid);
  if (facts.has_pcr)
    pcr(state, element_id, offset, h, facts);
  else if (clock_pcr >= 0 && bytes_per_tick > 0)
    now = clock_pcr + int64_t(double(offset - clock_offset) / bytes_per_tick);
  state.last_seen = now;

  if (h.transport_error)
    fault(element_id, state.stream, kTransportError, 2, "transport_error_indicator set");
  if (continuity_expected >= 0) {
    std::string detail = "cc ";
    appendNumber(detail, uint64_t(h.continuity));
    detail += ", expected ";
    appendNumber(detail, uint64_t(continuity_expected));
    fault(element_id, state.stream, kContinuity, 1, std::move(detail));
  }
  if (info.sections) {
    if (h.scrambling != 0 && (h.pid == 0 || info.role == PidRole::Pmt))
      fault(element_id, 0, h.pid == 0 ? kPatError : kPmtError, 1, "scrambled");
    else if (h.unit_start && h.hasPayload())
      sections(element_id, h, bytes);
  } else if (h.hasPayload() && h.scrambling == 0) {
    if (h.unit_start)
      startPes(state, element_id, h, bytes, facts, picture_type);
    if (state.frame >= 0)
      state.pes_bytes += bytes.end - bytes.payload_begin;
  }
  tableTimes(element_id, h);
}

void TsTiming::startPes(PidTiming& state, int64_t element_id, const PacketHeader& h, const PacketBytes& bytes,
                        const AdaptationFacts& facts, char picture_type) {
  endPes(state);
  const uint8_t* p = data + bytes.payload_begin;
  const int64_t available = bytes.end - bytes.payload_begin;
  if (available < 6 || p[0] != 0 || p[1] != 0 || p[2] != 1)
    return;
  const PidInfo& info = programs.pid(h.pid);
  if (state.stream == 0) {
    TimingWriter::Stream stream;
    stream.kind = kindOf(info.kind);
    if (const char* codec = info.stream_type ? codecName(info.stream_type, programs.isBluRay()) : nullptr)
      stream.codec = codec;
    stream.container_id = h.pid;
    stream.container_id_name = "PID";
    stream.time_base_num = 1;
    stream.time_base_den = 90000;
    state.stream = timing.declareStream(stream);
  }
  TimingWriter::Frame frame;
  frame.element_id = element_id;
  state.header_bytes = 6;
  if (codecs::hasOptionalPesHeader(p[3]) && available >= 9 && (p[6] & 0xC0) == 0x80) {
    const int flags = p[7] >> 6;
    state.header_bytes = 9 + p[8];
    if ((flags & 2) && available >= 14) frame.pts = timeStamp(p + 9);
    if (flags == 3 && available >= 19) frame.dts = timeStamp(p + 14);
    if (frame.pts != TimingWriter::kUnknown && frame.dts == TimingWriter::kUnknown) frame.dts = frame.pts;
  }
  if (facts.random_access) frame.key = 1;
  frame.picture_type = picture_type;
  // The frame's bytes follow the PES header (in a later packet when the header is split).
  frame.byte_offset = std::min(bytes.payload_begin + state.header_bytes, bytes.end);
  state.frame = timing.addFrame(state.stream, frame);
  state.pes_bytes = 0;

  if (frame.pts != TimingWriter::kUnknown && (info.kind == codecs::StreamKind::Video ||
                                              info.kind == codecs::StreamKind::Audio)) {
    if (state.has_pts) {
      const int64_t step = (frame.pts - int64_t(state.last_pts) + kTimestampWrap) % kTimestampWrap;
      if (step > kPtsRepetition && step < kTimestampWrap / 2) {
        std::string detail = "PTS interval " + milliseconds(step, kPtsMs) + " (limit 700 ms)";
        fault(element_id, state.stream, kPtsError, 2, std::move(detail));
      }
    }
    state.has_pts = true;
    state.last_pts = uint64_t(frame.pts);
  }
}

void TsTiming::endPes(PidTiming& state) {
  if (state.frame < 0)
    return;
  timing.setFrameSize(state.frame, std::max<int64_t>(state.pes_bytes - state.header_bytes, 0));
  state.frame = -1;
}

void TsTiming::pcr(PidTiming& state, int64_t element_id, int64_t offset, const PacketHeader& h,
                   const AdaptationFacts& facts) {
  const int64_t value = int64_t(facts.pcr);
  if (state.pcr_stream == 0) {
    TimingWriter::Stream stream;
    stream.kind = TimingWriter::Kind::Pcr;
    stream.container_id = h.pid;
    stream.container_id_name = "PID";
    stream.time_base_num = 1;
    stream.time_base_den = kPcrHz;
    state.pcr_stream = timing.declareStream(stream);
  }
  TimingWriter::Frame frame;
  frame.element_id = element_id;
  frame.byte_offset = offset;
  frame.size = stride;
  frame.dts = value;
  timing.addFrame(state.pcr_stream, frame);

  if (clock_pid == 0xFFFF) clock_pid = h.pid;
  if (state.has_pcr && !facts.discontinuity) {
    int64_t step = value - int64_t(state.last_pcr);
    if (step < -kPcrWrap / 2) step += kPcrWrap;
    if (step < 0 || step > kPcrJump) {
      std::string detail = step < 0 ? "PCR goes back " + milliseconds(-step, kMs)
                                    : "PCR jumps " + milliseconds(step, kMs) + " (limit 100 ms)";
      fault(element_id, state.pcr_stream, kPcrDiscontinuityError, 2, detail + " without discontinuity_indicator");
    }
    if (step > kPcrRepetition) {
      std::string detail = "PCR interval " + milliseconds(step, kMs) + " (limit 40 ms)";
      fault(element_id, state.pcr_stream, kPcrRepetitionError, 2, std::move(detail));
    }
    // The constant mux rate predicts where this one should be.
    if (mux_bytes_per_tick > 0 && step >= 0 && step <= kPcrJump) {
      const double predicted = double(state.last_pcr) + double(offset - state.last_pcr_offset) / mux_bytes_per_tick;
      const double error = double(value) - predicted;
      if (std::fabs(error) > kPcrAccuracy) {
        std::string detail = "PCR off by ";
        appendNumber(detail, uint64_t(std::llround(std::fabs(error) * 1e9 / double(kPcrHz))));
        detail += error < 0 ? " ns early" : " ns late";
        detail += " against the mux rate (limit 500 ns)";
        fault(element_id, state.pcr_stream, kPcrAccuracyError, 2, std::move(detail));
      }
    }
  }
  if (h.pid == clock_pid) {
    if (state.has_pcr && !facts.discontinuity && value > int64_t(state.last_pcr) && offset > state.last_pcr_offset)
      bytes_per_tick = double(offset - state.last_pcr_offset) / double(value - int64_t(state.last_pcr));
    else if (facts.discontinuity)
      bytes_per_tick = 0;
    clock_pcr = value;
    clock_offset = offset;
    now = value;
    if (start < 0) start = now;
    missingPids(element_id);
  }
  state.has_pcr = true;
  state.last_pcr = uint64_t(value);
  state.last_pcr_offset = offset;
}

void TsTiming::sections(int64_t element_id, const PacketHeader& h, const PacketBytes& bytes) {
  if (bytes.payload_begin >= bytes.end) return;  // an adaptation field too long leaves no payload
  const PidInfo& info = programs.pid(h.pid);
  int64_t pos = bytes.payload_begin + 1 + data[bytes.payload_begin];
  bool first = true;
  while (pos + 3 <= bytes.end && data[pos] != 0xFF) {
    const uint8_t table_id = data[pos];
    const bool long_form = (data[pos + 1] & 0x80) != 0;
    const int64_t length = 3 + (((data[pos + 1] & 0x0F) << 8) | data[pos + 2]);
    if (first && (h.pid == 0 || info.role == PidRole::Pmt)) {
      const uint8_t wanted = h.pid == 0 ? 0x00 : 0x02;
      PidTiming& state = pids[h.pid];
      if (table_id == wanted) {
        state.last_table = now >= 0 ? now : state.last_table;
      } else {
        std::string detail = "table_id ";
        appendHex(detail, table_id, 2);
        detail += h.pid == 0 ? " on PID 0x0000" : " on a PMT PID";
        fault(element_id, 0, h.pid == 0 ? kPatError : kPmtError, 1, std::move(detail));
      }
    }
    first = false;
    // Sections that go on in later packets are checked by the table reader, not here.
    if (pos + length > bytes.end) break;
    if (long_form && length >= 7 && crc32Mpeg2(data + pos, length) != 0) {
      std::string detail = "CRC_32 wrong in a section with table_id ";
      appendHex(detail, table_id, 2);
      fault(element_id, 0, kCrcError, 2, std::move(detail));
    }
    pos += length;
  }
}

void TsTiming::tableTimes(int64_t element_id, const PacketHeader& h) {
  if (now < 0 || start < 0)
    return;
  auto check = [&](uint16_t pid, const char* name, const char* table) {
    PidTiming& state = pids[pid];
    const int64_t since = state.last_table >= 0 ? state.last_table : start;
    if (now - since <= kTableInterval)
      return;
    std::string detail = std::string("no ") + table + " for " + milliseconds(now - since, kMs) + " (limit 500 ms)";
    fault(element_id, 0, name, 1, std::move(detail));
    state.last_table = now;
  };
  (void)h;
  check(0, kPatError, "PAT");
  for (uint16_t pid : pmt_pids) check(pid, kPmtError, "PMT");
}

void TsTiming::missingPids(int64_t element_id) {
  for (uint16_t pid : elementary_pids) {
    PidTiming& state = pids[pid];
    const int64_t since = state.last_seen >= 0 ? state.last_seen : start;
    if (now - since <= kPidSilence)
      continue;
    std::string detail = "PID ";
    appendHex(detail, pid, 4);
    detail += " absent for " + milliseconds(now - since, kMs) + " (limit 5000 ms)";
    fault(element_id, state.stream, kPidError, 1, std::move(detail));
    state.last_seen = now;
  }
}

void TsTiming::finish() {
  for (PidTiming& state : pids) endPes(state);
}

}  // namespace corvanta::mpegts
