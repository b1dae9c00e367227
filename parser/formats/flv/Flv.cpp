#include "formats/flv/Flv.h"

#include "ByteOrder.h"
#include "ElementWriter.h"
#include "TimingWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/flv/FlvTagBodies.h"
#include "formats/flv/FlvTagTiming.h"
#include "formats/flv/FlvTagWalk.h"

#include <cstring>

namespace corvanta {

namespace {

using flv::FlvStretch;
using flv::FlvTagWalk;

constexpr int64_t kFileHeaderBytes = 9;
constexpr uint64_t kAudio = 8, kVideo = 9, kScript = 18;

const ValueName kTagTypes[] = {{kAudio, "audio"}, {kVideo, "video"}, {kScript, "script data"}};

int probe(const uint8_t* head, int64_t head_size, int64_t) {
  if (head_size < 3 || std::memcmp(head, "FLV", 3) != 0) return 0;
  if (head_size < kFileHeaderBytes) return 40;
  const bool version_one = head[3] == 1;
  const bool offset_sane = loadBe32(head + 5) >= kFileHeaderBytes;
  return version_one && offset_sane ? 95 : 60;
}

// Tag time in milliseconds as seconds.
std::string timeText(int64_t milliseconds) {
  return secondsText(milliseconds, 1000);
}

class FlvWriter {
 public:
  explicit FlvWriter(ParseContext& context) : ctx(context), w(context.writer), data(context.file.data()), size(context.file.size()) {}

  void write() {
    const int64_t first_tag = header();
    if (first_tag >= size) return;
    previousTagSize(first_tag, 0, 0);
    const std::vector<FlvStretch> stretches = FlvTagWalk(data, size).walk(first_tag + 4);
    std::vector<int64_t> starts;
    for (const FlvStretch& stretch : stretches)
      if (!stretch.garbage) starts.push_back(stretch.begin);
    flv::FlvTagBodies bodies(std::move(starts), ctx.decode_frames);
    int64_t tag_number = 0;
    for (size_t i = 0; i < stretches.size(); ++i) {
      const FlvStretch& stretch = stretches[i];
      if (stretch.garbage) {
        w.addGarbage(stretch.begin * 8, (stretch.end - stretch.begin) * 8);
        continue;
      }
      ++tag_number;
      tag(stretch, bodies);
      if (stretch.end < size) previousTagSize(stretch.end, stretch.end - stretch.begin, tag_number);
      if ((tag_number & 1023) == 0) ctx.progress(stretch.end);
    }
    ctx.progress(size);
  }

 private:
  // The FLV header; returns where the first PreviousTagSize stands.
  int64_t header() {
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

  void previousTagSize(int64_t at, int64_t tag_size, int64_t seq) {
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

  void tag(const FlvStretch& stretch, flv::FlvTagBodies& bodies) {
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
        summary = type == kAudio ? bodies.audio(body) : type == kVideo ? bodies.video(body) : bodies.script(body);
      }
    }
    w.setUnitValue(summary, timeText(milliseconds));
    w.closeUnit();
    tag_timing.tag(id, data, stretch.begin, end);
  }

  ParseContext& ctx;
  ElementWriter& w;
  const uint8_t* data;
  int64_t size;
  int64_t audio_count = 0, video_count = 0, script_count = 0;
  flv::FlvTagTiming tag_timing{w.timing()};
};

bool parse(ParseContext& ctx) {
  if (ctx.file.size() < 3 || std::memcmp(ctx.file.data(), "FLV", 3) != 0) {
    ctx.error = QStringLiteral("no FLV signature");
    return false;
  }
  FlvWriter(ctx).write();
  return true;
}

}  // namespace

FormatModule flvModule() {
  return {QStringLiteral("flv"), QStringLiteral("FLV"), {QStringLiteral("flv")}, probe, parse};
}

}  // namespace corvanta
