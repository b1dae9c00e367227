#include "formats/matroska/MatroskaFrameTiming.h"

#include "TimingWriter.h"
#include "formats/matroska/MatroskaTrack.h"

#include <numeric>
#include <string>

namespace corvanta::matroska {

namespace {

constexpr uint64_t kNanosecondsPerSecond = 1000000000;
constexpr size_t kMaxStreamsPerSegment = 4096;

TimingWriter::Kind kindOf(uint64_t track_type) {
  switch (track_type) {
    case 1: return TimingWriter::Kind::Video;
    case 2: return TimingWriter::Kind::Audio;
    case 17: return TimingWriter::Kind::Subtitle;
    default: return TimingWriter::Kind::Data;
  }
}

// The short codec name of a CodecID; the CodecID itself where none is known.
std::string codecName(const std::string& codec_id) {
  struct Name {
    const char* prefix;
    const char* name;
  };
  static const Name names[] = {
      {"V_MPEG4/ISO/AVC", "H.264"}, {"V_MPEGH/ISO/HEVC", "HEVC"}, {"V_AV1", "AV1"},     {"V_VP9", "VP9"},
      {"V_VP8", "VP8"},             {"V_MPEG2", "MPEG-2 video"},  {"V_MPEG1", "MPEG-1 video"},
      {"V_MPEG4/ISO/", "MPEG-4 visual"}, {"V_THEORA", "Theora"},  {"A_AAC", "AAC"},     {"A_OPUS", "Opus"},
      {"A_VORBIS", "Vorbis"},       {"A_FLAC", "FLAC"},           {"A_AC3", "AC-3"},    {"A_EAC3", "E-AC-3"},
      {"A_MPEG/L3", "MP3"},         {"A_MPEG/L2", "MP2"},         {"A_DTS", "DTS"},     {"A_PCM", "PCM"},
      {"S_TEXT/UTF8", "SubRip"},    {"S_TEXT/ASS", "ASS"},        {"S_TEXT/SSA", "SSA"}, {"S_TEXT/WEBVTT", "WebVTT"},
      {"S_VOBSUB", "VobSub"},       {"S_HDMV/PGS", "PGS"},
  };
  for (const Name& n : names)
    if (codec_id.rfind(n.prefix, 0) == 0) return n.name;
  return codec_id;
}

// Nanoseconds as ticks of `scale` ns, rounded; false when it does not fit.
bool toTicks(uint64_t nanoseconds, uint64_t scale, int64_t& ticks) {
  if (scale == 0) return false;
  const uint64_t value = (nanoseconds + scale / 2) / scale;
  if (value > uint64_t(INT64_MAX)) return false;
  ticks = int64_t(value);
  return true;
}

}  // namespace

void BlockTiming::frame(int64_t element_id, int64_t byte_offset, int64_t size, uint64_t track_number,
                        const TrackInfo* track, uint64_t scale, bool timed, int64_t ticks, int index, int key,
                        char picture_type) {
  if (!timing.enabled() || element_id <= 0)
    return;
  auto found = streams.find(track_number);
  if (found == streams.end()) {
    if (streams.size() >= kMaxStreamsPerSegment) return;
    TimingWriter::Stream s;
    s.kind = track ? kindOf(track->type) : TimingWriter::Kind::Data;
    if (track) s.codec = codecName(track->codec_id);
    s.container_id = track_number <= uint64_t(INT64_MAX) ? int64_t(track_number) : TimingWriter::kUnknown;
    s.container_id_name = "track number";
    if (scale > 0) {
      const uint64_t common = std::gcd(scale, kNanosecondsPerSecond);
      s.time_base_num = int64_t(scale / common);
      s.time_base_den = int64_t(kNanosecondsPerSecond / common);
    }
    found = streams.emplace(track_number, timing.declareStream(s)).first;
  }
  TimingWriter::Frame frame;
  frame.element_id = element_id;
  frame.byte_offset = byte_offset;
  frame.size = size;
  frame.key = key;
  frame.picture_type = picture_type;
  const uint64_t default_duration = track ? track->default_duration : 0;
  int64_t step = 0;
  const bool has_step = default_duration > 0 && toTicks(default_duration, scale, step);
  if (timed) {
    // Laced frames follow the first by the track's DefaultDuration each.
    int64_t offset = 0;
    const bool placed = index == 0 || (default_duration > 0 && default_duration <= uint64_t(INT64_MAX) / uint64_t(index) &&
                                       toTicks(default_duration * uint64_t(index), scale, offset));
    int64_t time = 0;
    if (placed && !__builtin_add_overflow(ticks, offset, &time)) frame.pts = time;
  }
  if (has_step) frame.duration = step;
  const int64_t handle = timing.addFrame(found->second, frame);
  if (key < 0 && handle >= 0) group_frames.push_back(handle);
}

void BlockTiming::groupEnd(bool has_references, bool has_duration, uint64_t duration) {
  for (int64_t handle : group_frames) {
    timing.setFrameKey(handle, has_references ? 0 : 1);
    if (has_duration && group_frames.size() == 1 && duration <= uint64_t(INT64_MAX))
      timing.setFrameDuration(handle, int64_t(duration));
  }
  group_frames.clear();
}

}  // namespace corvanta::matroska
