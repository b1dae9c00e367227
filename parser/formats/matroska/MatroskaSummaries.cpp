#include "formats/matroska/MatroskaSummaries.h"

#include "TextForms.h"
#include "formats/matroska/MatroskaEbml.h"
#include "formats/matroska/MatroskaElements.h"
#include "formats/matroska/MatroskaPositions.h"
#include "formats/matroska/MatroskaScope.h"
#include "formats/matroska/MatroskaTime.h"
#include "formats/matroska/MatroskaTrack.h"

#include <cmath>

namespace corvanta::matroska {

namespace {

std::string counted(int count, const char* one, const char* many) {
  return numberText(uint64_t(count)) + " " + (count == 1 ? one : many);
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

int countChildren(const ElementHeader& h, const ValueContext& c, uint32_t child_id) {
  int count = 0;
  int64_t pos = h.data;
  while (pos < h.end) {
    ElementHeader child;
    if (!readElementHeader(c.data, pos, h.end, c.limits, child) || child.unknown_size) break;
    count += child.id == child_id;
    pos = child.end;
  }
  return count;
}

std::string ebmlSummary(const ElementHeader& h, const ValueContext& c) {
  const std::string doc_type = childText(c.data, h.data, h.end, c.limits, id::kDocType);
  const uint64_t version = childUnsigned(c.data, h.data, h.end, c.limits, id::kDocTypeVersion, 1);
  const uint64_t read_version = childUnsigned(c.data, h.data, h.end, c.limits, id::kDocTypeReadVersion, 1);
  return (doc_type.empty() ? std::string("EBML") : doc_type) + " v" + numberText(version) + " (readable from v" +
         numberText(read_version) + ")";
}

std::string seekSummary(const ElementHeader& h, const Scope& scope, const ValueContext& c) {
  const ElementType* target = findElementType(scope.seek_target);
  const std::string name = target ? target->name : "element " + hexText(scope.seek_target, 2);
  ElementHeader position;
  uint64_t value = 0;
  if (!findChild(c.data, h.data, h.end, c.limits, id::kSeekPosition, position) ||
      !readUnsigned(c.data + position.data, position.end - position.data, value))
    return name + ", no position";
  const TargetCheck check = checkSegmentPosition(c, value, scope.seek_target);
  if (check.offset < 0) return name + ", " + check.text;
  return name + " at " + numberText(uint64_t(check.offset)) + (check.found ? "" : ", points nowhere");
}

std::string infoSummary(const ElementHeader& h, const ValueContext& c) {
  const uint64_t scale = childUnsigned(c.data, h.data, h.end, c.limits, id::kTimestampScale, 1000000);
  std::string out;
  ElementHeader duration;
  double ticks = 0;
  if (findChild(c.data, h.data, h.end, c.limits, id::kDuration, duration) &&
      readFloat(c.data + duration.data, duration.end - duration.data, ticks) && std::isfinite(ticks)) {
    const double nanoseconds = ticks * double(scale);
    out = "duration " + (std::fabs(nanoseconds) < 9.2e18 ? nanosecondsText(std::llround(nanoseconds))
                                                        : std::string("beyond the time range")) + ", ";
  }
  out += "timestamp scale " + (scale % 1000000 == 0 ? numberText(scale / 1000000) + " ms"
                               : scale % 1000 == 0 ? numberText(scale / 1000) + " \xc2\xb5s"
                                                   : numberText(scale) + " ns");
  const std::string title = childText(c.data, h.data, h.end, c.limits, id::kTitle);
  if (!title.empty()) out += ", " + quoted(title);
  return out;
}

std::string clusterSummary(const ChildCounts& counts, const ValueContext& c) {
  std::string out = c.has_cluster_timestamp ? "timestamp " + ticksText(c.cluster_timestamp, c.timestampScale())
                                            : std::string("no timestamp");
  return out + ", " + counted(counts.blocks, "block", "blocks");
}

std::string cuePointSummary(const ElementHeader& h, const ValueContext& c) {
  const uint64_t time = childUnsigned(c.data, h.data, h.end, c.limits, id::kCueTime, 0);
  std::string out = time <= uint64_t(INT64_MAX) ? ticksText(int64_t(time), c.timestampScale()) : "no time";
  ElementHeader positions;
  if (!findChild(c.data, h.data, h.end, c.limits, id::kCueTrackPositions, positions)) return out;
  out += ", track " + numberText(childUnsigned(c.data, positions.data, positions.end, c.limits, id::kCueTrack, 0));
  ElementHeader cluster;
  uint64_t value = 0;
  if (findChild(c.data, positions.data, positions.end, c.limits, id::kCueClusterPosition, cluster) &&
      readUnsigned(c.data + cluster.data, cluster.end - cluster.data, value)) {
    const TargetCheck check = checkSegmentPosition(c, value, id::kCluster);
    out += check.offset >= 0 ? ", cluster at " + numberText(uint64_t(check.offset)) : ", " + check.text;
    if (check.offset >= 0 && !check.found) out += ", points nowhere";
  }
  return out;
}

std::string chapterSummary(const ElementHeader& h, const ValueContext& c) {
  const uint64_t start = childUnsigned(c.data, h.data, h.end, c.limits, id::kChapterTimeStart, 0);
  std::string out = start <= uint64_t(INT64_MAX) ? nanosecondsText(int64_t(start)) : "?";
  ElementHeader end;
  uint64_t end_time = 0;
  if (findChild(c.data, h.data, h.end, c.limits, id::kChapterTimeEnd, end) &&
      readUnsigned(c.data + end.data, end.end - end.data, end_time) && end_time <= uint64_t(INT64_MAX))
    out += " - " + nanosecondsText(int64_t(end_time));
  ElementHeader display;
  if (findChild(c.data, h.data, h.end, c.limits, id::kChapterDisplay, display)) {
    const std::string title = childText(c.data, display.data, display.end, c.limits, id::kChapString);
    if (!title.empty()) out += " " + quoted(title);
  }
  return out;
}

std::string tagSummary(const ElementHeader& h, const ValueContext& c) {
  std::string out;
  ElementHeader targets;
  if (findChild(c.data, h.data, h.end, c.limits, id::kTargets, targets)) {
    out = childText(c.data, targets.data, targets.end, c.limits, id::kTargetType);
    if (out.empty()) {
      const ElementType* type = findElementType(id::kTargetTypeValue);
      const uint64_t value = childUnsigned(c.data, targets.data, targets.end, c.limits, id::kTargetTypeValue, 50);
      out = "target level " + numberText(value) + (type ? " (" + valueName(*type, value) + ")" : "");
    }
    out += ": ";
  }
  return out + counted(countChildren(h, c, id::kSimpleTag), "simple tag", "simple tags");
}

std::string simpleTagSummary(const ElementHeader& h, const ValueContext& c) {
  std::string out = childText(c.data, h.data, h.end, c.limits, id::kTagName);
  ElementHeader binary;
  const std::string value = childText(c.data, h.data, h.end, c.limits, id::kTagString);
  if (!value.empty()) out += " = " + value;
  else if (findChild(c.data, h.data, h.end, c.limits, id::kTagBinary, binary))
    out += " = " + numberText(uint64_t(binary.end - binary.data)) + " bytes";
  return out;
}

std::string attachedFileSummary(const ElementHeader& h, const ValueContext& c) {
  std::string out = childText(c.data, h.data, h.end, c.limits, id::kFileName);
  const std::string media_type = childText(c.data, h.data, h.end, c.limits, id::kFileMediaType);
  if (!media_type.empty()) out += ", " + media_type;
  ElementHeader file_data;
  if (findChild(c.data, h.data, h.end, c.limits, id::kFileData, file_data))
    out += ", " + numberText(uint64_t(file_data.end - file_data.data)) + " bytes";
  return out;
}

std::string contentEncodingSummary(const ElementHeader& h, const ValueContext& c) {
  const uint64_t type = childUnsigned(c.data, h.data, h.end, c.limits, id::kContentEncodingType, 0);
  ElementHeader inner;
  if (type == 0 && findChild(c.data, h.data, h.end, c.limits, id::kContentCompression, inner)) {
    const ElementType* algo = findElementType(id::kContentCompAlgo);
    return "compression, " + valueName(*algo, childUnsigned(c.data, inner.data, inner.end, c.limits, id::kContentCompAlgo, 0));
  }
  if (type == 1 && findChild(c.data, h.data, h.end, c.limits, id::kContentEncryption, inner)) {
    const ElementType* algo = findElementType(id::kContentEncAlgo);
    return "encryption, " + valueName(*algo, childUnsigned(c.data, inner.data, inner.end, c.limits, id::kContentEncAlgo, 0));
  }
  return type == 1 ? "encryption" : "compression";
}

}  // namespace

std::string masterSummary(const ElementHeader& h, const Scope& scope, const ChildCounts& counts,
                          const ValueContext& c) {
  switch (h.id) {
    case id::kEbml: return ebmlSummary(h, c);
    case id::kSegment: return numberText(uint64_t(scope.end - h.data)) + " bytes";
    case id::kSeekHead: return counted(counts.content, "entry", "entries");
    case id::kSeek: return seekSummary(h, scope, c);
    case id::kInfo: return infoSummary(h, c);
    case id::kTracks: return counted(counts.content, "track", "tracks");
    case id::kTrackEntry: return scope.track ? scope.track->summary() : std::string();
    case id::kVideo:
      return numberText(childUnsigned(c.data, h.data, h.end, c.limits, id::kPixelWidth, 0)) + "x" +
             numberText(childUnsigned(c.data, h.data, h.end, c.limits, id::kPixelHeight, 0));
    case id::kAudio:
      return numberText(childUnsigned(c.data, h.data, h.end, c.limits, id::kChannels, 1)) + " ch " +
             floatText(childFloat(c.data, h.data, h.end, c.limits, id::kSamplingFrequency, 8000)) + " Hz";
    case id::kCluster: return clusterSummary(counts, c);
    case id::kCues: return counted(counts.content, "cue point", "cue points");
    case id::kCuePoint: return cuePointSummary(h, c);
    case id::kChapters: return counted(counts.content, "edition", "editions");
    case id::kEditionEntry: return counted(countChildren(h, c, id::kChapterAtom), "chapter", "chapters");
    case id::kChapterAtom: return chapterSummary(h, c);
    case id::kTags: return counted(counts.content, "tag", "tags");
    case id::kTag: return tagSummary(h, c);
    case id::kSimpleTag: return simpleTagSummary(h, c);
    case id::kAttachments: return counted(counts.content, "file", "files");
    case id::kAttachedFile: return attachedFileSummary(h, c);
    case id::kContentEncoding: return contentEncodingSummary(h, c);
    default: return counted(counts.elements, "element", "elements");
  }
}

}  // namespace corvanta::matroska
