#include "formats/mpegps/PsTiming.h"

#include "TimingWriter.h"
#include "codecs/PesHeader.h"
#include "formats/mpegps/PsLayout.h"

#include <string>

namespace corvanta::mpegps {

namespace {

constexpr uint8_t kPrivateStream1 = 0xBD;

struct StreamKind {
  TimingWriter::Kind kind = TimingWriter::Kind::Data;
  const char* codec = nullptr;
};

// What a stream id (or a DVD sub-stream id under private_stream_1) carries; false for the
// streams whose packets are no frames.
bool describe(uint8_t stream_id, int sub_stream, StreamKind& out) {
  if (stream_id >= 0xE0 && stream_id <= 0xEF) {
    out = {TimingWriter::Kind::Video, "MPEG video"};
    return true;
  }
  if (stream_id >= 0xC0 && stream_id <= 0xDF) {
    out = {TimingWriter::Kind::Audio, "MPEG audio"};
    return true;
  }
  if (stream_id == 0xFD) {
    out = {TimingWriter::Kind::Video, nullptr};
    return true;
  }
  if (stream_id != kPrivateStream1 || sub_stream < 0) return false;
  if (sub_stream >= 0x20 && sub_stream <= 0x3F) out = {TimingWriter::Kind::Subtitle, "DVD subtitle"};
  else if (sub_stream >= 0x80 && sub_stream <= 0x87) out = {TimingWriter::Kind::Audio, "AC-3"};
  else if (sub_stream >= 0x88 && sub_stream <= 0x8F) out = {TimingWriter::Kind::Audio, "DTS"};
  else if (sub_stream >= 0xA0 && sub_stream <= 0xA7) out = {TimingWriter::Kind::Audio, "LPCM"};
  else out = {TimingWriter::Kind::Data, nullptr};
  return true;
}

}  // namespace

void PsTiming::packet(int64_t element_id, const PsUnit& unit, const codecs::PesHeaderInfo& info, const uint8_t* data) {
  if (!timing.enabled()) return;
  const bool has_payload = unit.payload_begin < unit.end;
  const int sub_stream = unit.code == kPrivateStream1 && has_payload ? data[unit.payload_begin] : -1;
  StreamKind described;
  if (!describe(unit.code, sub_stream, described)) return;
  const uint32_t key = sub_stream >= 0 ? 0xBD00u + uint32_t(sub_stream) : unit.code;
  auto found = streams.find(key);
  if (found == streams.end()) {
    TimingWriter::Stream s;
    s.kind = described.kind;
    if (described.codec) s.codec = described.codec;
    s.container_id = key;
    s.container_id_name = "stream id";
    s.time_base_num = 1;
    s.time_base_den = 90000;
    found = streams.emplace(key, timing.declareStream(s)).first;
  }
  TimingWriter::Frame frame;
  frame.element_id = element_id;
  frame.byte_offset = unit.payload_begin;
  frame.size = unit.end - unit.payload_begin;
  if (info.has_pts) frame.pts = int64_t(info.pts);
  if (info.has_dts) frame.dts = int64_t(info.dts);
  else if (info.has_pts) frame.dts = frame.pts;
  timing.addFrame(found->second, frame);
}

}  // namespace corvanta::mpegps
