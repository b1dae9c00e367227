#include "formats/matroska/MatroskaBlock.h"

#include "ElementWriter.h"
#include "formats/matroska/MatroskaVideoStreams.h"

#include "FieldReader.h"
#include "TextForms.h"
#include "TimingWriter.h"
#include "codecs/XiphLacing.h"
#include "formats/matroska/MatroskaEbml.h"
#include "formats/matroska/MatroskaFrameTiming.h"
#include "formats/matroska/MatroskaSegmentInfo.h"
#include "formats/matroska/MatroskaTime.h"

#include <vector>

namespace corvanta::matroska {

namespace {

enum Lacing : uint64_t { kNoLacing = 0, kXiphLacing = 1, kFixedLacing = 2, kEbmlLacing = 3 };

const char* lacingName(uint64_t lacing) {
  static const char* const kNames[] = {"no lacing", "Xiph lacing", "fixed-size lacing", "EBML lacing"};
  return kNames[lacing & 3];
}

// EBML lacing: the first size as an unsigned code, each later one as the signed difference to
// the one before, its code's value range shifted to be centred on zero.
bool ebmlLacedSizes(FieldReader& f, int count, std::vector<int64_t>& sizes) {
  int64_t previous = 0;
  for (int i = 1; i <= count && f.ok(); ++i) {
    uint64_t raw = 0;
    int width = 0;
    if (!f.byteAligned() || !readVint(f.fileData() + f.bytePos(), f.bytesLeft(), raw, width)) {
      f.fail();
      break;
    }
    int64_t size = 0;
    if (i == 1) {
      size = int64_t(raw);  // at most 56 bits
      f.text("frame_size", width * 8, numberText(raw), {}, i);
    } else {
      const int64_t bias = (int64_t(1) << (7 * width - 1)) - 1;
      const int64_t difference = int64_t(raw) - bias;
      size = previous + difference;
      f.text("frame_size_difference", width * 8, signedText(difference), "frame size " + signedText(size), i);
    }
    if (size < 0 || size > f.bytesLeft()) {
      f.fail();
      break;
    }
    sizes.push_back(size);
    previous = size;
  }
  return f.ok();
}

// The sizes of all frames of a laced block; false (with the reader failed) when they do not fit.
bool lacedSizes(FieldReader& f, uint64_t lacing, int frames, std::vector<int64_t>& sizes) {
  if (lacing == kFixedLacing) {
    const int64_t room = f.bytesLeft();
    if (room % frames != 0) {
      f.fail();
      return false;
    }
    sizes.assign(size_t(frames), room / frames);
    return true;
  }
  const bool read = lacing == kXiphLacing ? codecs::xiphLacedSizes(f, frames - 1, "frame_size", sizes)
                                          : ebmlLacedSizes(f, frames - 1, sizes);
  if (!read) return false;
  int64_t total = 0;
  for (int64_t size : sizes) total += size;
  if (total > f.bytesLeft()) {
    f.fail();
    return false;
  }
  sizes.push_back(f.bytesLeft() - total);
  return true;
}

// The time of frame `index` of a laced block: frames follow each other by the track's
// DefaultDuration. False when it is not known or does not fit.
bool frameTime(int64_t block_time, uint64_t frame_duration, int index, int64_t& time) {
  if (index == 0) {
    time = block_time;
    return true;
  }
  int64_t offset = 0;
  return frame_duration > 0 && frame_duration <= uint64_t(INT64_MAX) &&
         !__builtin_mul_overflow(int64_t(frame_duration), int64_t(index), &offset) &&
         !__builtin_add_overflow(block_time, offset, &time);
}

std::string frameNote(const TrackInfo* track) {
  if (!track) return {};
  if (track->encrypted) return "encrypted";
  if (track->compressed && track->compression_algo == 3)
    return numberText(uint64_t(track->stripped_bytes)) + " stripped header bytes not stored";
  if (track->compressed) return "compressed";
  return {};
}

// A frame of an H.264, H.265 or AV1 track as a unit with its codec headers; returns its picture type. A
// SimpleBlock's keyframe flag (`claimed_keyframe`, null for a Block, whose BlockGroup says it
// by its references) that the frame contradicts is noted on the frame.
std::string decodedFrame(FieldReader& f, codecs::VideoFrameDecoder& video, int64_t bytes, std::string raw,
                         std::string note, int64_t number, const bool* claimed_keyframe, int64_t& element_id) {
  ElementWriter& w = f.writer();
  const int64_t begin = f.bytePos();
  element_id = w.openUnit("frame", begin * 8, bytes * 8, {}, {}, number);
  FieldReader frame(w, f.fileData(), begin, begin + bytes);
  codecs::FramePicture picture;
  const std::string summary = video.frame(frame, picture);
  if (!summary.empty()) raw += ", " + summary;
  if (!picture.type.empty() && claimed_keyframe && number == 1) {
    if (*claimed_keyframe && !picture.random_access)
      note += std::string(note.empty() ? "" : ", ") + "flagged keyframe, but not a random access picture";
    if (!*claimed_keyframe && picture.random_access)
      note += std::string(note.empty() ? "" : ", ") + "a random access picture not flagged keyframe";
  }
  w.setUnitValue(raw, note);
  w.closeUnit();
  f.skipBits(bytes * 8);
  return picture.type;
}

}  // namespace

BlockFacts decodeBlock(FieldReader& f, const BlockContext& context) {
  BlockFacts facts;
  uint64_t track_number = 0;
  int width = 0;
  if (!f.byteAligned() || !readVint(f.fileData() + f.bytePos(), f.bytesLeft(), track_number, width)) {
    f.fail();
    return facts;
  }
  const TrackInfo* track = context.segment ? context.segment->track(track_number) : nullptr;
  f.text("track_number", width * 8, numberText(track_number),
         track ? std::string_view(track->block_label) : std::string_view("no such track"));
  facts.track = track_number;

  int64_t block_time = 0;  // nanoseconds
  bool timed = false;
  std::string time_text;
  const uint64_t scale = context.segment ? context.segment->timestampScale() : SegmentInfo::kDefaultTimestampScale;
  int64_t ticks = 0;
  if (f.has(16)) {
    const auto relative = int16_t(uint16_t(f.peek(16)));
    timed = context.has_cluster_timestamp && !__builtin_add_overflow(context.cluster_timestamp, int64_t(relative), &ticks) &&
            ticksToNanoseconds(ticks, scale, block_time);
    time_text = timed ? nanosecondsText(block_time) : "timestamp " + signedText(relative) + " after the cluster's";
    f.s("timestamp", 16, timed ? time_text : std::string());
  } else {
    f.fail();
  }

  uint64_t lacing = kNoLacing;
  bool invisible = false, discardable = false;
  if (f.has(8)) {
    if (context.simple) {
      facts.keyframe = f.u("keyframe", 1, f.peek(1) ? "keyframe" : "") != 0;
      f.u("reserved", 3);
    } else {
      f.u("reserved", 4);
    }
    invisible = f.u("invisible", 1, f.peek(1) ? "invisible" : "") != 0;
    lacing = f.u("lacing", 2, lacingName(f.peek(2)));
    if (context.simple)
      discardable = f.u("discardable", 1, f.peek(1) ? "discardable" : "") != 0;
    else
      f.u("not_used", 1);
  } else {
    f.fail();
  }
  if (!f.ok()) return facts;

  std::vector<int64_t> sizes;
  int frames = 1;
  if (lacing != kNoLacing) {
    frames = int(f.uh("frame_count_minus_1", 8, [](uint64_t v) { return numberText(v + 1) + " frames"; })) + 1;
    if (!f.ok() || !lacedSizes(f, lacing, frames, sizes)) {
      f.recover();
      f.rest("frames", std::string(lacingName(lacing)) + " that does not fit the block");
      return facts;
    }
  } else {
    sizes.push_back(f.bytesLeft());
  }

  const std::string note = frameNote(track);
  const uint64_t frame_duration = track ? track->default_duration : 0;
  const std::string track_text = "track " + numberText(track_number);
  codecs::VideoFrameDecoder* video = track && context.video ? context.video->forTrack(*track, f.fileData()) : nullptr;
  std::string raw;
  for (int i = 0; i < frames; ++i) {
    int64_t frame_time = 0;
    raw = track_text;
    if (timed && frameTime(block_time, frame_duration, i, frame_time)) {
      raw += ", ";
      raw += i == 0 ? time_text : nanosecondsText(frame_time);
    }
    const int64_t frame_begin = f.bytePos();
    int64_t element_id = 0;
    std::string picture;
    if (video && f.has(sizes[size_t(i)] * 8)) {
      picture = decodedFrame(f, *video, sizes[size_t(i)], raw, note, i + 1, context.simple ? &facts.keyframe : nullptr,
                             element_id);
      if (i == 0) facts.picture = picture;
    } else {
      f.text("frame", sizes[size_t(i)] * 8, raw, note, i + 1);
      element_id = f.lastFieldId();
    }
    if (context.timing && f.ok())
      context.timing->frame(element_id, frame_begin, sizes[size_t(i)], track_number, track, scale, timed, ticks, i,
                            context.simple ? int(facts.keyframe) : -1, TimingWriter::pictureLetter(picture));
  }

  facts.ok = f.ok();
  facts.frames = frames;
  facts.summary = track_text + ", " + time_text;
  if (!facts.picture.empty()) facts.summary += ", " + facts.picture;
  if (facts.keyframe) facts.summary += ", keyframe";
  if (invisible) facts.summary += ", invisible";
  if (discardable) facts.summary += ", discardable";
  if (lacing != kNoLacing)
    facts.summary += ", " + numberText(uint64_t(frames)) + " frames (" + lacingName(lacing) + ")";
  return facts;
}

}  // namespace corvanta::matroska
