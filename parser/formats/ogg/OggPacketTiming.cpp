#include "formats/ogg/OggPacketTiming.h"

#include "TimingWriter.h"

namespace corvanta::ogg {

namespace {

constexpr size_t kMaxStreams = 4096;

// Samples at 48 kHz in an Opus packet, from its TOC byte and frame count (RFC 6716, 3.1).
int64_t opusSamples(const uint8_t* p, int64_t bytes) {
  if (bytes < 1) return TimingWriter::kUnknown;
  const int config = p[0] >> 3;
  static const int kSilk[4] = {480, 960, 1920, 2880};
  static const int kHybrid[2] = {480, 960};
  static const int kCelt[4] = {120, 240, 480, 960};
  const int per_frame = config < 12 ? kSilk[config & 3] : config < 16 ? kHybrid[config & 1] : kCelt[config & 3];
  int frames = 1;
  switch (p[0] & 3) {
    case 0: frames = 1; break;
    case 1:
    case 2: frames = 2; break;
    default:
      if (bytes < 2) return TimingWriter::kUnknown;
      frames = p[1] & 0x3F;
      break;
  }
  return int64_t(per_frame) * frames;
}

TimingWriter::Kind kindOf(OggCodec codec) {
  switch (codec) {
    case OggCodec::Vorbis:
    case OggCodec::Opus:
    case OggCodec::Flac:
    case OggCodec::Speex: return TimingWriter::Kind::Audio;
    case OggCodec::Theora: return TimingWriter::Kind::Video;
    default: return TimingWriter::Kind::Data;
  }
}

}  // namespace

OggPacketTiming::State& OggPacketTiming::stateOf(const OggStreamInfo& info) {
  auto found = streams.find(info.serial);
  if (found != streams.end()) return found->second;
  State state;
  state.next_time = TimingWriter::kUnknown;
  state.last_time = TimingWriter::kUnknown;
  if (streams.size() < kMaxStreams) {
    TimingWriter::Stream s;
    s.kind = kindOf(info.codec);
    if (info.codec != OggCodec::Unknown) s.codec = codecName(info.codec);
    s.container_id = info.serial;
    s.container_id_name = "serial number";
    if (info.codec == OggCodec::Theora && info.frame_rate_numerator && info.frame_rate_denominator) {
      s.time_base_num = info.frame_rate_denominator;
      s.time_base_den = info.frame_rate_numerator;
    } else if (info.codec == OggCodec::Opus) {
      s.time_base_num = 1;
      s.time_base_den = 48000;
    } else if (kindOf(info.codec) == TimingWriter::Kind::Audio && info.rate) {
      s.time_base_num = 1;
      s.time_base_den = info.rate;
    }
    state.stream = timing.declareStream(s);
  }
  return streams.emplace(info.serial, state).first->second;
}

void OggPacketTiming::packet(const OggStreamInfo& info, int64_t number, int64_t element_id, int64_t byte_offset,
                             int64_t size, const uint8_t* head, int64_t head_bytes) {
  if (!timing.enabled() || element_id <= 0 || number < info.header_packets) return;
  State& state = stateOf(info);
  TimingWriter::Frame frame;
  frame.element_id = element_id;
  frame.byte_offset = byte_offset;
  frame.size = size;
  frame.dts = frame.pts = state.next_time;
  int64_t duration = TimingWriter::kUnknown;
  if (info.codec == OggCodec::Opus) {
    duration = opusSamples(head, head_bytes);
    frame.key = 1;
  } else if (info.codec == OggCodec::Theora) {
    duration = 1;
    // A data packet's first bit is 0, its second says inter (1) or intra (0).
    if (head_bytes >= 1) frame.key = (head[0] & 0x40) ? 0 : 1;
  } else if (kindOf(info.codec) == TimingWriter::Kind::Audio) {
    frame.key = 1;
  }
  frame.duration = duration;
  state.last_frame = timing.addFrame(state.stream, frame);
  state.last_time = frame.pts;
  state.next_time = state.next_time != TimingWriter::kUnknown && duration != TimingWriter::kUnknown
                        ? state.next_time + duration
                        : TimingWriter::kUnknown;
}

void OggPacketTiming::pageEnd(const OggStreamInfo& info, int64_t granule, bool last_page) {
  if (!timing.enabled() || granule < 0) return;
  State& state = stateOf(info);
  const bool trims = info.codec == OggCodec::Opus || info.codec == OggCodec::Vorbis || info.codec == OggCodec::Flac ||
                     info.codec == OggCodec::Speex;
  if (last_page && trims && state.last_frame >= 0 && state.last_time != TimingWriter::kUnknown) {
    const int64_t end = info.codec == OggCodec::Opus ? granule - int64_t(info.pre_skip) : granule;
    if (end >= state.last_time) timing.setFrameDuration(state.last_frame, end - state.last_time);
  }
  switch (info.codec) {
    case OggCodec::Theora: {
      // Key frame number in the high bits, frames since it in the low: their sum counts the
      // frames up to this page's last one.
      const int shift = info.keyframe_shift;
      if (shift < 0 || shift > 62) return;
      state.next_time = (granule >> shift) + (granule & ((int64_t(1) << shift) - 1));
      break;
    }
    case OggCodec::Opus: state.next_time = granule - int64_t(info.pre_skip); break;
    case OggCodec::Vorbis:
    case OggCodec::Flac:
    case OggCodec::Speex: state.next_time = granule; break;
    default: break;
  }
}

}  // namespace corvanta::ogg
