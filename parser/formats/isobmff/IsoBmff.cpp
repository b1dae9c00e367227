#include "formats/isobmff/IsoBmff.h"

#include "ElementWriter.h"
#include "formats/isobmff/IsoBmffBox.h"
#include "formats/isobmff/IsoBmffBoxTable.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "formats/isobmff/IsoBmffLazySamples.h"
#include "formats/isobmff/IsoBmffSampleWriter.h"
#include "formats/isobmff/IsoBmffSamples.h"
#include "formats/isobmff/IsoBmffTiming.h"
#include "TimingWriter.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace corvanta {

namespace {

using namespace isobmff;

constexpr int kMaxDepth = 32;

// Names of the flag bits of the full boxes whose flags mean something.
struct FlagName {
  uint32_t type;
  uint32_t bit;
  const char* name;
};
const FlagName kFlagNames[] = {
    {fourCC("tkhd"), 0x1, "track_enabled"},
    {fourCC("tkhd"), 0x2, "track_in_movie"},
    {fourCC("tkhd"), 0x4, "track_in_preview"},
    {fourCC("tkhd"), 0x8, "track_size_is_aspect_ratio"},
    {fourCC("url "), 0x1, "media in this file"},
    {fourCC("urn "), 0x1, "media in this file"},
    {fourCC("tfhd"), 0x1, "base-data-offset-present"},
    {fourCC("tfhd"), 0x2, "sample-description-index-present"},
    {fourCC("tfhd"), 0x8, "default-sample-duration-present"},
    {fourCC("tfhd"), 0x10, "default-sample-size-present"},
    {fourCC("tfhd"), 0x20, "default-sample-flags-present"},
    {fourCC("tfhd"), 0x10000, "duration-is-empty"},
    {fourCC("tfhd"), 0x20000, "default-base-is-moof"},
    {fourCC("trun"), 0x1, "data-offset-present"},
    {fourCC("trun"), 0x4, "first-sample-flags-present"},
    {fourCC("trun"), 0x100, "sample-duration-present"},
    {fourCC("trun"), 0x200, "sample-size-present"},
    {fourCC("trun"), 0x400, "sample-flags-present"},
    {fourCC("trun"), 0x800, "sample-composition-time-offsets-present"},
    {fourCC("ipma"), 0x1, "15-bit property indices"},
    {fourCC("infe"), 0x1, "hidden item"},
    {fourCC("sgpd"), 0x1, "static group description"},
};

std::string flagsHrf(uint32_t type, uint64_t flags) {
  std::string out;
  for (const FlagName& f : kFlagNames)
    if (f.type == type && (flags & f.bit)) out += (out.empty() ? "" : ", ") + std::string(f.name);
  return out;
}

std::string flagsRaw(uint64_t flags) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%06X", unsigned(flags));
  return buffer;
}

struct Parent {
  uint32_t type = 0;
  uint8_t version = 0;
  const TrackInfo* track = nullptr;
  bool any_child_type = false;
};

// Second pass: writes every box in file order, with mdat divided by the sample map.
class BoxWriter {
 public:
  // With `lazy_samples`, each claim of the media data is written as a lazy unit.
  BoxWriter(ParseContext& context, const SampleMap& sample_map, LazySamples* lazy_samples)
      : ctx(context), w(context.writer), data(context.file.data()), map(sample_map), lazy(lazy_samples) {}

  void walk(int64_t begin, int64_t end, const Parent& parent, int depth) {
    int64_t pos = begin;
    while (pos < end) {
      const BoxItem item = nextBoxItem(data, pos, end, parent.any_child_type);
      if (item.terminator) {
        w.addField("terminator", pos * 8, 32, "0", "end of the atom list");
        pos = end;
      } else if (!item.is_box) {
        w.addGarbage(pos * 8, (item.garbage_end - pos) * 8);
        pos = item.garbage_end;
      } else {
        writeBox(item.header, parent, depth);
        pos = item.header.end;
      }
      if (depth == 0) ctx.progress(pos);
    }
  }

  int64_t boxesWritten() const { return boxes; }

 private:
  void writeBox(const BoxHeader& h, const Parent& parent, int depth) {
    ++boxes;
    const BoxType& line = lookupBox(h.type, parent.type);
    w.openUnit(fourCCText(h.type), h.offset * 8, h.size() * 8, line.name, h.truncated ? "truncated" : "");
    FieldReader f(w, data, h.offset, h.end);
    writeHeader(f, h, parent);

    BoxScope scope{f, h, map, parent.type, parent.version, 0, 0, parent.track, {}};
    scope.track = parent.track;
    if (h.type == fourCC("trak") && parent.type == fourCC("moov")) scope.track = map.trackAt(h.offset);
    const bool full = (line.kind & kFullBox) ||
                      ((line.kind & kMaybeFull) && metaIsFullBox(data, h.payload, h.end));
    if (full) {
      scope.version = uint8_t(f.u("version", 8));
      if (f.need(24)) {
        scope.flags = uint32_t(f.peek(24));
        f.text("flags", 24, flagsRaw(scope.flags), flagsHrf(h.type, scope.flags));
      }
    }

    if (h.type == fourCC("mdat") && f.ok()) {
      writeMdat(f, h);
    } else if (depth >= kMaxDepth) {
      f.rest("data", "nested too deeply to show");
    } else {
      if (line.decode && f.ok()) line.decode(scope);
      if (!f.ok()) {
        f.recover();
        f.rest("data", "a field runs past the end of the box");
      } else if (line.kind & kContainer) {
        Parent inner{h.type, scope.version, scope.track, (line.kind & kAnyChildType) != 0};
        walk(f.bytePos(), h.end, inner, depth + 1);
      } else {
        f.rest(line.decode ? "extra_data" : "data", line.decode ? "bytes after the last field" : "");
      }
    }
    const std::string summary = boxSummary(h, scope);
    if (!summary.empty()) w.setUnitValue(summary, h.truncated ? "truncated" : "");
    w.closeUnit();
  }

  std::string boxSummary(const BoxHeader& h, const BoxScope& scope) const {
    if (!scope.summary.empty()) return scope.summary;
    if (h.type == fourCC("trak") && scope.track) return scope.track->summary();
    if (h.type == fourCC("traf")) {
      if (const FragmentInfo* fragment = map.fragmentAt(h.offset)) {
        std::string out = "Track fragment, track " + numberText(fragment->track_id) + ", " +
                          numberText(fragment->samples) + " samples";
        if (fragment->outside) out += " (" + numberText(fragment->outside) + " outside mdat)";
        return out;
      }
    }
    return {};
  }

  void writeHeader(FieldReader& f, const BoxHeader& h, const Parent& parent) {
    std::string size_hrf;
    if (h.size32 == 0) size_hrf = parent.type ? "to the end of the enclosing box" : "to the end of the file";
    else if (h.size32 == 1) size_hrf = "64-bit size in largesize";
    if (h.truncated)
      size_hrf += (size_hrf.empty() ? "" : "; ") + std::string("declared ") + numberText(h.declared_size) +
                  " bytes, " + numberText(uint64_t(h.size())) + " present";
    f.u("size", 32, size_hrf);
    f.fourcc("type");
    if (h.has_largesize) f.u("largesize", 64);
    if (h.has_usertype && f.has(128)) f.text("usertype", 128, uuidText(data + f.bytePos()));
  }

  void writeMdat(FieldReader& f, const BoxHeader& h) {
    const int64_t begin = f.bytePos();
    const int64_t end = h.end;
    const std::vector<Claim>& claims = map.claims();
    int64_t covered = begin;  // end of the furthest claim so far
    uint64_t samples = 0, items = 0, unclaimed = 0, overlaps = 0;
    for (size_t i = map.firstClaimFrom(begin); i < claims.size() && claims[i].offset < end; ++i) {
      const Claim& c = claims[i];
      if (c.offset > covered) {
        writeUnclaimed(covered, c.offset);
        unclaimed += uint64_t(c.offset - covered);
      }
      const bool overlap = c.offset < covered;
      overlaps += overlap;
      writeClaim(i, end, overlap);
      ((c.flags & Claim::kItem) ? items : samples) += c.count;
      covered = std::max(covered, std::min(end, c.offset + int64_t(c.size)));
      if ((i & 4095) == 0) ctx.progress(c.offset);
    }
    if (covered < end) {
      writeUnclaimed(covered, end);
      unclaimed += uint64_t(end - covered);
    }
    std::string summary = "Media data, ";
    if (items) summary += numberText(items) + (items == 1 ? " item extent" : " item extents");
    if (items && samples) summary += ", ";
    if (samples || !items) summary += numberText(samples) + (samples == 1 ? " sample" : " samples");
    if (unclaimed) summary += ", " + numberText(unclaimed) + " bytes unclaimed";
    if (overlaps) summary += ", " + numberText(overlaps) + " overlapping claims";
    if (map.capped()) summary += ", sample map incomplete (too many samples)";
    w.setUnitValue(summary, h.truncated ? "truncated" : "");
  }

  void writeUnclaimed(int64_t from, int64_t to) {
    line.clear();
    appendSigned(line, to - from);
    line += " bytes";
    w.addField("unclaimed", from * 8, (to - from) * 8, line, "not claimed by any sample or item");
  }

  void writeClaim(size_t index, int64_t mdat_end, bool overlap) {
    const Claim& c = map.claims()[index];
    // On the lazy path a sample whose frame is decoded is a lazy unit. Any other claim is one
    // element: its stored row costs about what serving it as a unit would, and tiny or
    // overlapping claims, which a hostile file has by the ten thousand, stay cheap to read.
    const bool unit = lazy && samples.decodesFrame(c, overlap) && std::min<int64_t>(c.size, mdat_end - c.offset) > 0;
    // A unit's rows are only counted: its summaries are not made. Near the writer's depth bound
    // the sample might not stay one element, and so be written after all.
    const bool counted = unit && w.depth() + 2 < ElementWriter::kMaxDepth;
    if (unit) {
      lazy->beforeUnit(samples, index, mdat_end, overlap);
      w.beginLazyUnit();
    }
    const SampleWriter::Written written = samples.write(c, mdat_end, overlap, !counted);
    if (unit) w.endLazyUnit();
    timing.sample(written.id, c, written.size, written.picture);
  }

  ParseContext& ctx;
  ElementWriter& w;
  const uint8_t* data;
  const SampleMap& map;
  LazySamples* lazy;
  int64_t boxes = 0;
  SampleWriter samples{w, data, map, ctx.decode_frames};
  SampleTiming timing{w.timing(), map};
  std::string line;
};

// Confidence from the first box: its type and whether its size is sane.
int probe(const uint8_t* head, int64_t head_size, int64_t file_size) {
  if (head_size < 8) return 0;
  const uint32_t size32 = loadBe32(head);
  const uint32_t type = loadBe32(head + 4);
  uint64_t size = size32;
  if (size32 == 1) {
    if (head_size < 16) return 0;
    size = loadBe64(head + 8);
    if (size < 16) return 0;
  } else if (size32 == 0) {
    size = uint64_t(file_size);
  } else if (size32 < 8) {
    return 0;
  }
  const bool fits = size <= uint64_t(file_size);
  switch (type) {
    case fourCC("ftyp"):
      return size >= 16 && size <= 4096 ? 100 : 60;
    case fourCC("styp"):
      return fits ? 95 : 50;
    case fourCC("moov"): case fourCC("moof"): case fourCC("sidx"):
      return fits ? 80 : 40;
    case fourCC("mdat"): case fourCC("free"): case fourCC("skip"): case fourCC("wide"): case fourCC("pnot"):
      return fits ? 60 : 25;
    default:
      return 0;
  }
}

// About how many elements the samples of the file make, before any is written: one each, and
// for a video sample whose codec headers are decoded about as many as a frame of one slice
// holds (NAL units with their headers, a slice header to its last field).
int64_t expectedElements(const SampleMap& map, bool decode_frames) {
  constexpr int64_t kElementsPerDecodedFrame = 24;
  int64_t elements = int64_t(map.claims().size());
  if (decode_frames)
    for (const TrackInfo& t : map.tracks())
      if (t.config_type) elements += int64_t(std::min<uint64_t>(t.samples, uint64_t(1) << 40)) * kElementsPerDecodedFrame;
  return elements;
}

bool parse(ParseContext& ctx) {
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  if (!data || size < 8) {
    ctx.error = QStringLiteral("the file is too small to hold a box");
    return false;
  }
  auto map = std::make_shared<SampleMap>();
  map->build(data, size);
  std::unique_ptr<LazySamples> lazy;
  // Only decoded frames become lazy units: without them the lazy path has nothing to save.
  if (ctx.decode_frames && ctx.lazyForElements(expectedElements(*map, ctx.decode_frames)))
    lazy = std::make_unique<LazySamples>(ctx.file, map, ctx.decode_frames);
  BoxWriter writer(ctx, *map, lazy.get());
  writer.walk(0, size, Parent{}, 0);
  if (lazy) ctx.lazy_decoder = std::move(lazy);
  if (writer.boxesWritten() == 0) {
    ctx.error = QStringLiteral("no ISO base media box found");
    return false;
  }
  ctx.progress(size);
  return true;
}

}  // namespace

FormatModule isoBmffModule() {
  return {QStringLiteral("isobmff"), QStringLiteral("MP4"),
          {QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("m4a"), QStringLiteral("m4v"),
           QStringLiteral("m4s"), QStringLiteral("3gp"), QStringLiteral("3g2"), QStringLiteral("heic"),
           QStringLiteral("heif"), QStringLiteral("avif"), QStringLiteral("mj2")},
          probe, parse};
}

}  // namespace corvanta
