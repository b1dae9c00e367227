#include "formats/isobmff/IsoBmffSampleWriter.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "TimingWriter.h"
#include "formats/isobmff/IsoBmffSamples.h"

#include <algorithm>

namespace corvanta::isobmff {

SampleWriter::SampleWriter(ElementWriter& writer, const uint8_t* bytes, const SampleMap& sample_map,
                           bool decode_video_frames)
    : w(writer), data(bytes), map(sample_map), decode_frames(decode_video_frames) {}

SampleWriter::Written SampleWriter::write(const Claim& c, int64_t mdat_end, bool overlap, bool summaries) {
  Written written;
  written.size = std::min<int64_t>(c.size, mdat_end - c.offset);
  const bool cut = written.size < int64_t(c.size);
  line.clear();
  readable.clear();
  if (!summaries) {
  } else if (c.flags & Claim::kItem) {
    line += "item ";
    appendSigned(line, c.number);
    if (const uint32_t type = map.itemType(c.number)) line += " " + fourCCText(type);
    line += ", extent ";
    appendSigned(line, c.track);
    line += ", ";
    appendSigned(line, c.size);
    line += " bytes";
  } else {
    // Samples are the bulk of a large file's elements: the number is already the
    // element's sequence number and the size its size column, so neither is repeated.
    const TrackInfo& t = map.tracks()[c.track];
    line += "track ";
    appendSigned(line, t.track_id);
    if (c.count > 1) {
      line += ", samples ";
      appendSigned(line, c.number);
      line += '-';
      appendSigned(line, int64_t(c.number) + c.count - 1);
    }
    line += ", dts ";
    appendSigned(line, c.dts);
    if (c.flags & Claim::kSync) line += ", sync";
    readable = t.kindText() + ", " + secondsText(c.dts, t.timescale);
  }
  if (overlap && summaries) readable += readable.empty() ? "overlaps the previous claim" : ", overlaps the previous claim";
  if (cut && summaries) readable += readable.empty() ? "truncated" : ", truncated";
  const char* name = (c.flags & Claim::kItem) ? "item" : (c.count > 1 ? "samples" : "sample");
  codecs::VideoFrameDecoder* video = decodesFrame(c, overlap) ? frameDecoder(c.track) : nullptr;
  if (!video) {
    written.id = w.addField(name, c.offset * 8, written.size * 8, line, readable, c.number);
    return written;
  }
  written.id = w.openUnit(name, c.offset * 8, written.size * 8, {}, {}, c.number);
  FieldReader f(w, data, c.offset, c.offset + written.size);
  codecs::FramePicture picture;
  const std::string frame = video->frame(f, picture);
  changed[c.track] = true;
  written.picture = TimingWriter::pictureLetter(picture.type);
  if (!summaries) {
    w.closeUnit();
    return written;
  }
  if (!picture.type.empty()) {
    line += ", ";
    line += picture.type;
    const bool sync = c.flags & Claim::kSync;
    if (sync && !picture.random_access) readable += ", a sync sample whose frame is not a random access picture";
    if (!sync && picture.random_access) readable += ", a random access picture not marked as sync sample";
  } else if (!frame.empty()) {
    line += ", ";
    line += frame;
  }
  w.setUnitValue(line, readable);
  w.closeUnit();
  return written;
}

bool SampleWriter::decodesFrame(const Claim& c, bool overlap) const {
  return decode_frames && !overlap && c.count == 1 && !(c.flags & Claim::kItem) && c.track < map.tracks().size() &&
         map.tracks()[c.track].config_type != 0;
}

// The frame decoder of a track whose sample entry has its configuration record, set up by that
// record at the first sample (the record may follow the media data).
codecs::VideoFrameDecoder* SampleWriter::frameDecoder(size_t track) {
  if (!decode_frames || track >= map.tracks().size()) return nullptr;
  if (video_streams.size() < map.tracks().size()) {
    video_streams.resize(map.tracks().size());
    changed.resize(map.tracks().size(), true);
  }
  std::unique_ptr<codecs::VideoFrameDecoder>& stream = video_streams[track];
  if (!stream) {
    const TrackInfo& t = map.tracks()[track];
    if (!t.config_type) return nullptr;
    stream = codecs::VideoFrameDecoder::forRecord(fourCCText(t.config_type));
    if (!stream) return nullptr;
    ElementWriter counter{ElementWriter::CountOnly{}};
    FieldReader record(counter, data, t.config_begin, t.config_end);
    stream->configuration(record);
  }
  return stream.get();
}

std::vector<SampleWriter::TrackState> SampleWriter::changedStates() {
  std::vector<TrackState> states;
  for (size_t track = 0; track < video_streams.size(); ++track) {
    if (changed[track] && video_streams[track]) states.emplace_back(track, video_streams[track]->clone());
    changed[track] = false;
  }
  return states;
}

void SampleWriter::restore(const std::vector<TrackState>& states) {
  for (auto& stream : video_streams) stream.reset();
  for (const auto& [track, state] : states) {
    if (track >= video_streams.size()) {
      video_streams.resize(track + 1);
      changed.resize(track + 1, true);
    }
    video_streams[track] = state->clone();
  }
}

}  // namespace corvanta::isobmff
