#include "formats/flv/FlvWriter.h"

#include "ByteOrder.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"

#include <algorithm>

namespace corvanta::flv {

namespace {

constexpr int64_t kFileHeaderBytes = 9;
constexpr uint64_t kAudio = 8, kVideo = 9, kScript = 18;

const ValueName kTagTypes[] = {{kAudio, "audio"}, {kVideo, "video"}, {kScript, "script data"}};

// Tag time in milliseconds as seconds.
std::string timeText(int64_t milliseconds) {
  return secondsText(milliseconds, 1000);
}

}  // namespace

FlvWriter::FlvWriter(ParseContext& context)
    : ctx(context), w(context.writer), data(context.file.data()), size(context.file.size()), tag_timing(w.timing()) {}

void FlvWriter::write(std::vector<Checkpoint>* checkpoints) {
  const int64_t first_tag = header();
  if (first_tag >= size) return;
  previousTagSize(first_tag, 0, 0);
  walked = std::make_shared<const std::vector<FlvStretch>>(FlvTagWalk(data, size).walk(first_tag + 4));
  auto starts = std::make_shared<std::vector<int64_t>>();
  for (const FlvStretch& stretch : *walked)
    if (!stretch.garbage) starts->push_back(stretch.begin);
  bodies = std::make_unique<FlvTagBodies>(std::move(starts), ctx.decode_frames);
  int64_t tag_number = 0;
  for (size_t i = 0; i < walked->size(); ++i) {
    const FlvStretch& stretch = (*walked)[i];
    if (stretch.garbage) {
      w.addGarbage(stretch.begin * 8, (stretch.end - stretch.begin) * 8);
      continue;
    }
    if (checkpoints) {
      if (tag_number % kCheckpointEvery == 0) checkpoints->push_back(checkpoint(i));
      w.beginLazyUnit();
    }
    ++tag_number;
    tag(stretch);
    if (checkpoints) w.endLazyUnit();
    if (stretch.end < size) previousTagSize(stretch.end, stretch.end - stretch.begin, tag_number);
    if ((tag_number & 1023) == 0) ctx.progress(stretch.end);
  }
  ctx.progress(size);
}

FlvWriter::Checkpoint FlvWriter::checkpoint(size_t stretch) const {
  return {stretch, audio_count, video_count, script_count, std::make_shared<const FlvTagBodies>(*bodies)};
}

void FlvWriter::restore(const Checkpoint& checkpoint, std::shared_ptr<const std::vector<FlvStretch>> stretches) {
  walked = std::move(stretches);
  next_stretch = checkpoint.stretch;
  audio_count = checkpoint.audio_count;
  video_count = checkpoint.video_count;
  script_count = checkpoint.script_count;
  bodies = std::make_unique<FlvTagBodies>(*checkpoint.bodies);
}

const FlvStretch* FlvWriter::writeNextTag() {
  while (walked && next_stretch < walked->size() && (*walked)[next_stretch].garbage) ++next_stretch;
  if (!walked || next_stretch >= walked->size()) return nullptr;
  const FlvStretch& stretch = (*walked)[next_stretch++];
  tag(stretch);
  return &stretch;
}

// The FLV header; returns where the first PreviousTagSize stands.
int64_t FlvWriter::header() {
  const int64_t declared = size >= kFileHeaderBytes ? loadBe32(data + 5) : kFileHeaderBytes;
  const int64_t offset = std::max<int64_t>(kFileHeaderBytes, declared);
  w.openUnit("FLV header", 0, std::min(offset, size) * 8);
  FieldReader f(w, data, 0, std::min(offset, size));
  f.fixedString("Signature", 3, TextEncoding::Latin1);
  f.u("Version", 8);
  f.u("TypeFlagsReserved", 5);
  const bool audio = f.flag("TypeFlagsAudio", f.has(1) && f.peek(1) ? "audio tags present" : "");
  f.u("TypeFlagsReserved", 1);
  const bool video = f.flag("TypeFlagsVideo", f.has(1) && f.peek(1) ? "video tags present" : "");
  f.u("DataOffset", 32, declared < kFileHeaderBytes ? "too small, taken as 9" : "");
  f.rest("extra header bytes");
  w.setUnitValue(size > 3 ? "FLV version " + numberText(data[3]) : "FLV",
                 audio && video ? "audio and video" : audio ? "audio" : video ? "video" : "no streams announced");
  w.closeUnit();
  return offset;
}

void FlvWriter::previousTagSize(int64_t at, int64_t tag_size, int64_t seq) {
  std::string raw, hrf;
  if (at + 4 <= size) {
    const uint32_t value = loadBe32(data + at);
    raw = numberText(value);
    const int64_t difference = int64_t(value) - tag_size;
    hrf = difference == 0 ? "ok"
                          : "differs by " + std::string(difference > 0 ? "+" : "") + signedText(difference) +
                                " from " + numberText(uint64_t(tag_size));
  }
  w.addField("PreviousTagSize", at * 8, 32, raw, hrf, seq);
}

void FlvWriter::tag(const FlvStretch& stretch) {
  const int64_t end = std::min(stretch.end, size);
  const uint64_t type = stretch.begin < size ? data[stretch.begin] & 0x1F : 0;
  const std::string type_name = nameText(kTagTypes, type);
  int64_t& count = type == kAudio ? audio_count : type == kVideo ? video_count : script_count;
  const int64_t id =
      w.openUnit(type_name.empty() ? "tag" : type_name, stretch.begin * 8, (stretch.end - stretch.begin) * 8, {}, {}, ++count);
  FieldReader f(w, data, stretch.begin, std::min(stretch.begin + FlvTagWalk::kHeaderBytes, end));
  f.u("Reserved", 2);
  const bool filtered = f.flag("Filter", f.has(1) && f.peek(1) ? "encrypted or filtered" : "");
  f.uh("TagType", 5, [](uint64_t v) { return nameText(kTagTypes, v); });
  f.u("DataSize", 24);
  const uint64_t low = f.has(24) ? f.peek(24) : 0;
  const uint64_t high = f.has(32) ? f.peek(32) & 0xFF : 0;
  const int64_t milliseconds = int64_t(high << 24 | low);
  f.u("Timestamp", 24, timeText(milliseconds) + (high ? " with TimestampExtended" : ""));
  f.u("TimestampExtended", 8, high ? "upper 8 bits of the timestamp" : "");
  f.u("StreamID", 24, f.has(24) && f.peek(24) != 0 ? "should be 0" : "");

  std::string summary;
  const int64_t body_begin = stretch.begin + FlvTagWalk::kHeaderBytes;
  if (f.ok() && body_begin < end) {
    FieldReader body(w, data, body_begin, end);
    if (filtered) {
      body.rest("encrypted data");
      summary = "encrypted";
    } else {
      summary = type == kAudio ? bodies->audio(body) : type == kVideo ? bodies->video(body) : bodies->script(body);
    }
  }
  w.setUnitValue(summary, timeText(milliseconds));
  w.closeUnit();
  tag_timing.tag(id, data, stretch.begin, end);
}

}  // namespace corvanta::flv
