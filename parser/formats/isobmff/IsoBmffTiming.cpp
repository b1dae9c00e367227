#include "formats/isobmff/IsoBmffTiming.h"

#include "TextForms.h"
#include "TimingWriter.h"
#include "formats/isobmff/IsoBmffSamples.h"

namespace corvanta::isobmff {

namespace {

TimingWriter::Kind kindOf(uint32_t handler) {
  switch (handler) {
    case fourCC("vide"): return TimingWriter::Kind::Video;
    case fourCC("soun"): return TimingWriter::Kind::Audio;
    case fourCC("sbtl"):
    case fourCC("subt"):
    case fourCC("text"):
    case fourCC("clcp"): return TimingWriter::Kind::Subtitle;
    default: return TimingWriter::Kind::Data;
  }
}

// The short codec name of a sample entry type; its four characters where none is known.
std::string codecName(uint32_t entry) {
  struct Name {
    uint32_t entry;
    const char* name;
  };
  static const Name names[] = {
      {fourCC("avc1"), "H.264"}, {fourCC("avc3"), "H.264"}, {fourCC("hvc1"), "HEVC"},  {fourCC("hev1"), "HEVC"},
      {fourCC("av01"), "AV1"},   {fourCC("vp09"), "VP9"},   {fourCC("vp08"), "VP8"},   {fourCC("mp4v"), "MPEG-4 visual"},
      {fourCC("mp4a"), "AAC"},   {fourCC("Opus"), "Opus"},  {fourCC("fLaC"), "FLAC"},  {fourCC("ac-3"), "AC-3"},
      {fourCC("ec-3"), "E-AC-3"}, {fourCC("ac-4"), "AC-4"}, {fourCC(".mp3"), "MP3"},   {fourCC("tx3g"), "timed text"},
      {fourCC("wvtt"), "WebVTT"}, {fourCC("stpp"), "TTML"}, {fourCC("mjpa"), "Motion JPEG"},
      {fourCC("jpeg"), "JPEG"},   {fourCC("apcn"), "ProRes"}, {fourCC("apch"), "ProRes"},
  };
  for (const Name& n : names)
    if (n.entry == entry) return n.name;
  return entry ? fourCCText(entry) : std::string();
}

}  // namespace

SampleTiming::SampleTiming(TimingWriter& timing_writer, const SampleMap& sample_map)
    : timing(timing_writer), map(sample_map), streams(sample_map.tracks().size(), 0) {}

void SampleTiming::sample(int64_t element_id, const Claim& c, int64_t size, char picture_type) {
  if (!timing.enabled() || (c.flags & Claim::kItem) || c.track >= streams.size())
    return;
  const TrackInfo& t = map.tracks()[c.track];
  int& stream = streams[c.track];
  if (stream == 0) {
    TimingWriter::Stream s;
    s.kind = kindOf(t.handler);
    s.codec = codecName(t.codec);
    s.container_id = t.track_id;
    s.container_id_name = "track ID";
    if (t.timescale) {
      s.time_base_num = 1;
      s.time_base_den = t.timescale;
    }
    stream = timing.declareStream(s);
  }
  TimingWriter::Frame frame;
  frame.element_id = element_id;
  frame.byte_offset = c.offset;
  frame.size = size;
  if (t.timescale) {
    frame.dts = c.dts;
    frame.pts = c.dts + c.cts_offset;
    if (c.duration) frame.duration = c.duration;
  }
  frame.key = (c.flags & Claim::kSync) ? 1 : 0;
  frame.picture_type = picture_type;
  timing.addFrame(stream, frame);
}

}  // namespace corvanta::isobmff
