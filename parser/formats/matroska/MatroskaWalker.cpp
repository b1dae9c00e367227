#include "formats/matroska/MatroskaWalker.h"

#include "Checksums.h"
#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "formats/matroska/MatroskaCodecPrivate.h"
#include "formats/matroska/MatroskaElements.h"
#include "formats/matroska/MatroskaLazyClusters.h"
#include "formats/matroska/MatroskaPositions.h"
#include "formats/matroska/MatroskaTrack.h"

namespace corvanta::matroska {

namespace {

// A Cluster's Timestamp comes first (after a CRC-32); looking further would only cost time.
constexpr int kTimestampLookahead = 16;

const char* const kIdClasses[] = {"", "class A (1 byte)", "class B (2 bytes)", "class C (3 bytes)",
                                  "class D (4 bytes)"};

void addNote(std::string& hrf, const std::string& note) {
  if (note.empty()) return;
  if (!hrf.empty()) hrf += ", ";
  hrf += note;
}

std::string elementName(uint32_t element_id) {
  const ElementType* type = findElementType(element_id);
  return type ? type->name : hexText(element_id, 2);
}

bool isBlock(uint32_t element_id) {
  return element_id == id::kSimpleBlock || element_id == id::kBlockGroup || element_id == id::kEncryptedBlock;
}

}  // namespace

MatroskaWalker::MatroskaWalker(ParseContext& context)
    : ctx(context),
      w(context.writer),
      data(context.file.data()),
      file_size(context.file.size()),
      block_timing(context.writer.timing()) {}

MatroskaWalker::~MatroskaWalker() = default;

int64_t MatroskaWalker::run() {
  Scope root;
  root.id = kRoot;
  root.data = 0;
  root.end = file_size;
  root.data_end = file_size;
  walkChildren(root);
  ctx.progress(file_size);
  return elements;
}

ValueContext MatroskaWalker::valueContext() const {
  ValueContext c;
  c.data = data;
  c.file_size = file_size;
  c.limits = limits;
  c.segment = segment.get();
  c.has_cluster_timestamp = has_cluster_timestamp;
  c.cluster_timestamp = cluster_timestamp;
  return c;
}

bool MatroskaWalker::endsScope(const ElementType& type, const Scope& scope) const {
  if (scope.id == kRoot || isGlobal(type)) return false;
  if (scope.unknown_size) return !isDescendantOf(type, scope.id);
  if (isChildOf(type, scope.id)) return false;
  // A known size is trusted unless an element of the upper levels shows that it is wrong.
  if (scope.id == id::kSegment) return type.id == id::kEbml || type.id == id::kSegment;
  return isUpperLevel(type.id);
}

bool MatroskaWalker::isPlausible(const ElementHeader& h, const ElementType* type, const Scope& scope) const {
  // At the top and in a Segment, where only the upper levels stand, a short ID is far more
  // likely junk than a misplaced element.
  const bool top = scope.id == kRoot || scope.id == id::kSegment;
  if (type) return !top || isGlobal(*type) || isChildOf(*type, scope.id) || isUpperLevel(type->id);
  // An ID the table does not know is an element only when its size makes sense.
  return !h.past_limit && !h.unknown_size && (!top || h.id_width == 4);
}

int64_t MatroskaWalker::nextUpperElement(int64_t from, int64_t end) const {
  for (int64_t pos = from; pos < end; ++pos) {
    // Every ID of the upper levels is four bytes long, starting 0x10 to 0x1F.
    if ((data[pos] & 0xF0) != 0x10) continue;
    ElementHeader h;
    if (!readElementHeader(data, pos, end, limits, h) || h.id_width != 4 || !isUpperLevel(h.id)) continue;
    const bool may_be_unknown = h.id == id::kSegment || h.id == id::kCluster;
    // A size that runs past the scanned range only makes sense for the last element of the file.
    if ((h.unknown_size && !may_be_unknown) || (h.past_limit && end != file_size)) continue;
    return pos;
  }
  return end;
}

MatroskaWalker::Stop MatroskaWalker::walkChildren(const Scope& scope) {
  Stop stop;
  int64_t pos = scope.data;
  const bool resyncs_here = scope.id == kRoot || scope.id == id::kSegment;
  bool first = true;
  while (pos < scope.end) {
    ElementHeader h;
    const bool read = readElementHeader(data, pos, scope.end, limits, h);
    const ElementType* type = read ? findElementType(h.id) : nullptr;
    const bool plausible = read && isPlausible(h, type, scope);
    if (plausible && type && endsScope(*type, scope)) break;
    if (!plausible) {
      const int64_t resume = nextUpperElement(pos + 1, scope.end);
      if (!measuring) w.addGarbage(pos * 8, (resume - pos) * 8);
      pos = resume;
      first = false;
      if (resume < scope.end && !resyncs_here) {
        stop.resynced = true;
        break;
      }
      continue;
    }
    const Stop child = measuring                                       ? measureElement(h, type, scope)
                       : lazy_clusters && type && h.id == id::kCluster ? writeLazyCluster(h, type, scope, first)
                                                                       : writeElement(h, type, scope, first);
    first = false;
    ++stop.counts.elements;
    if (type && !isGlobal(*type)) ++stop.counts.content;
    if (isBlock(h.id)) ++stop.counts.blocks;
    pos = child.pos;
    if (child.resynced && !resyncs_here) {
      stop.resynced = true;
      break;
    }
    if (scope.depth <= 1 && !measuring) ctx.progress(pos);
  }
  stop.pos = pos;
  return stop;
}

MatroskaWalker::Stop MatroskaWalker::writeLazyCluster(const ElementHeader& h, const ElementType* type,
                                                      const Scope& parent, bool first_child) {
  ClusterSurroundings around;
  around.parent = parent;
  around.segment = segment;
  around.limits = limits;
  around.webm = webm;
  // Frames decoded outside the clusters (blocks misplaced in other masters) are not decoded again
  // on the way from a saved state.
  lazy_clusters->addCluster(h.offset, around, video_streams, video_streams.framesDecoded() != frames_after_cluster);
  w.beginLazyUnit();
  const Stop stop = writeElement(h, type, parent, first_child);
  w.endLazyUnit();
  lazy_clusters->endCluster(stop.pos);
  frames_after_cluster = video_streams.framesDecoded();
  return stop;
}

void MatroskaWalker::writeCluster(int64_t offset, const ClusterSurroundings& around) {
  segment = around.segment;
  limits = around.limits;
  webm = around.webm;
  ElementHeader h;
  if (offset < 0 || offset >= file_size || !readElementHeader(data, offset, around.parent.end, limits, h)) return;
  const ElementType* type = findElementType(h.id);
  if (h.id != id::kCluster || !type) return;
  writeElement(h, type, around.parent, false);
}

MatroskaWalker::Stop MatroskaWalker::measureElement(const ElementHeader& h, const ElementType* type,
                                                    const Scope& parent) {
  Stop stop;
  stop.pos = h.end;
  if (!type || type->type != EbmlType::Master || parent.depth + 1 > kMaxDepth) return stop;
  Scope scope;
  scope.id = h.id;
  scope.unknown_size = h.unknown_size;
  scope.depth = parent.depth + 1;
  scope.data = h.data;
  scope.end = h.end;
  const Stop inner = walkChildren(scope);
  if (inner.pos != h.end) measured_ends[h.offset] = inner.pos;
  stop.pos = inner.pos;
  stop.resynced = inner.resynced;
  return stop;
}

int64_t MatroskaWalker::unitEnd(const ElementHeader& h, const ElementType& type, const Scope& parent) {
  if (type.type != EbmlType::Master) return h.end;
  if ((parent.id == kRoot || parent.id == id::kSegment) && h.id != id::kSegment) {
    measured_ends.clear();
    measuring = true;
    const Stop measured = measureElement(h, &type, parent);
    measuring = false;
    return measured.pos;
  }
  const auto found = measured_ends.find(h.offset);
  return found != measured_ends.end() ? found->second : h.end;
}

MatroskaWalker::Stop MatroskaWalker::writeElement(const ElementHeader& h, const ElementType* type, const Scope& parent,
                                                  bool first_child) {
  ++elements;
  const std::string unknown_name = type ? std::string() : hexText(h.id, 2 * h.id_width);
  const int64_t end = type ? unitEnd(h, *type, parent) : h.end;
  w.openUnit(type ? std::string_view(type->name) : std::string_view(unknown_name), h.offset * 8, (end - h.offset) * 8);
  FieldReader f(w, data, h.offset, h.end);
  writeHeaderFields(f, h);
  Stop stop;
  stop.pos = h.end;
  ValueText value;
  if (!type) {
    f.rest("data", "an element the Matroska table does not know");
    value.raw = "unknown element";
  } else if (type->type == EbmlType::Master) {
    stop = writeMaster(h, end, parent, value);
  } else {
    value = writeLeaf(f, h, *type, parent, first_child);
  }

  std::string hrf = std::move(value.hrf);
  if (type && !isChildOf(*type, parent.id))
    addNote(hrf, parent.id == kRoot ? "misplaced: outside any Segment"
                                    : "misplaced: not a child of " + elementName(parent.id));
  if (type && webm && !type->webm) addNote(hrf, "not part of WebM");
  if (h.unknown_size) addNote(hrf, "unknown size");
  if (h.past_limit) addNote(hrf, "truncated");
  if (!h.unknown_size && stop.pos < h.end) {
    ElementHeader next;
    const bool named = readElementHeader(data, stop.pos, file_size, limits, next);
    addNote(hrf, "ends early" + (named ? ", where a " + elementName(next.id) + " begins" : std::string()));
  }
  w.setUnitValue(value.raw, hrf);
  w.closeUnit((stop.pos - h.offset) * 8);
  return stop;
}

void MatroskaWalker::writeHeaderFields(FieldReader& f, const ElementHeader& h) {
  f.ebmlId("ID", 4, kIdClasses[h.id_width]);
  std::string size_hrf;
  if (h.past_limit)
    size_hrf = "runs past its parent or the file: " + numberText(uint64_t(h.end - h.data)) + " bytes present";
  f.ebmlSize("size", 8, size_hrf);
}

MatroskaWalker::Stop MatroskaWalker::writeMaster(const ElementHeader& h, int64_t end, const Scope& parent,
                                                 ValueText& value) {
  Scope scope;
  scope.id = h.id;
  scope.unknown_size = h.unknown_size;
  scope.truncated = h.past_limit || parent.truncated;
  scope.depth = parent.depth + 1;
  scope.data = h.data;
  scope.end = h.end;
  scope.data_end = end;

  // Look-ahead facts the children or the summary need.
  TrackInfo track;
  std::shared_ptr<const SegmentInfo> outer_segment;
  ElementHeader child;
  switch (h.id) {
    case id::kSegment: {
      outer_segment = std::move(segment);
      auto info = std::make_shared<SegmentInfo>();
      video_streams.clear();
      block_timing.newSegment();
      info->scan(data, h.data, h.end, limits);
      segment = std::move(info);
      break;
    }
    case id::kCluster: {
      uint64_t timestamp = 0;
      has_cluster_timestamp =
          findChild(data, h.data, h.end, limits, id::kTimestamp, child, kTimestampLookahead) &&
          readUnsigned(data + child.data, child.end - child.data, timestamp) && timestamp <= uint64_t(INT64_MAX);
      cluster_timestamp = has_cluster_timestamp ? int64_t(timestamp) : 0;
      break;
    }
    case id::kBlockGroup:
      group_block = BlockFacts();
      group_references = 0;
      has_group_duration = false;
      block_timing.groupStart();
      break;
    case id::kTrackEntry:
      track = readTrackEntry(data, h.data, h.end, limits);
      scope.track = &track;
      break;
    case id::kSeek: {
      uint64_t target = 0;
      if (findChild(data, h.data, h.end, limits, id::kSeekId, child) &&
          readUnsigned(data + child.data, child.end - child.data, target))
        scope.seek_target = uint32_t(target);
      break;
    }
    case id::kCueTrackPositions: {
      uint64_t position = 0;
      if (findChild(data, h.data, h.end, limits, id::kCueClusterPosition, child) &&
          readUnsigned(data + child.data, child.end - child.data, position))
        scope.cluster_data = clusterDataAt(valueContext(), position);
      break;
    }
    default:
      break;
  }

  Stop stop;
  if (scope.depth > kMaxDepth) {
    FieldReader rest(w, data, h.data, h.end);
    rest.rest("data", "nested too deeply to show");
    stop.pos = h.end;
  } else {
    stop = walkChildren(scope);
  }

  ElementHeader closed = h;
  closed.end = stop.pos;
  Scope done = scope;
  done.end = stop.pos;
  if (h.id == id::kBlockGroup) {
    block_timing.groupEnd(group_references > 0, has_group_duration, group_duration);
    value.raw = group_block.summary.empty() ? "no Block" : group_block.summary;
    if (group_block.ok) value.raw += group_references ? ", references " + numberText(uint64_t(group_references)) +
                                                            (group_references == 1 ? " block" : " blocks")
                                                      : ", keyframe";
  } else {
    value.raw = masterSummary(closed, done, stop.counts, valueContext());
  }
  if (scope.crc == 2) addNote(value.hrf, "CRC-32 mismatch");

  if (h.id == id::kSegment) {
    segment = std::move(outer_segment);
    video_streams.clear();
  }
  if (h.id == id::kCluster) has_cluster_timestamp = false;
  if (h.id == id::kEbml) readEbmlSettings(closed);
  return stop;
}

void MatroskaWalker::readEbmlSettings(const ElementHeader& h) {
  // Matroska fixes IDs at 4 bytes at most; the size length is what the header says (1 to 8).
  const uint64_t size_width = childUnsigned(data, h.data, h.end, limits, id::kEbmlMaxSizeLength, 8);
  limits.max_size_width = size_width >= 1 && size_width <= 8 ? int(size_width) : 8;
  webm = childText(data, h.data, h.end, limits, id::kDocType) == "webm";
}

ValueText MatroskaWalker::writeLeaf(FieldReader& f, const ElementHeader& h, const ElementType& type,
                                    const Scope& parent, bool first_child) {
  switch (h.id) {
    case id::kSimpleBlock:
      return writeBlock(f, true);
    case id::kBlock:
      return writeBlock(f, false);
    case id::kCodecPrivate:
      return writeCodecPrivate(f, h, type, parent);
    case id::kCrc32:
      return writeCrc(f, h, parent, first_child);
    default:
      break;
  }
  const ValueText value = writeValue(f, h, type, parent, valueContext());
  if (h.id == id::kReferenceBlock && parent.id == id::kBlockGroup) ++group_references;
  if (h.id == id::kBlockDuration && parent.id == id::kBlockGroup && !h.past_limit)
    has_group_duration = readUnsigned(data + h.data, h.end - h.data, group_duration);
  if (h.id == id::kTimestamp && parent.id == id::kCluster && !h.past_limit) {
    uint64_t timestamp = 0;
    if (readUnsigned(data + h.data, h.end - h.data, timestamp) && timestamp <= uint64_t(INT64_MAX)) {
      has_cluster_timestamp = true;
      cluster_timestamp = int64_t(timestamp);
    }
  }
  return value;
}

ValueText MatroskaWalker::writeBlock(FieldReader& f, bool simple) {
  BlockContext context;
  context.segment = segment.get();
  context.has_cluster_timestamp = has_cluster_timestamp;
  context.cluster_timestamp = cluster_timestamp;
  context.simple = simple;
  context.video = ctx.decode_frames ? &video_streams : nullptr;
  context.timing = &block_timing;
  BlockFacts facts = decodeBlock(f, context);
  if (!f.ok()) {
    f.recover();
    f.rest("data", "the block header runs past the block");
  }
  if (!simple) group_block = facts;
  return {facts.summary.empty() ? std::string("broken block") : std::move(facts.summary), {}};
}

ValueText MatroskaWalker::writeCodecPrivate(FieldReader& f, const ElementHeader& h, const ElementType& type,
                                            const Scope& parent) {
  std::string summary;
  if (parent.track && !h.past_limit && decodeCodecPrivate(f, parent.track->codec_id, summary)) {
    if (!f.ok()) {
      f.recover();
      f.rest("data", "a field runs past the end of the CodecPrivate");
    } else {
      f.rest("extra_data", "bytes after the last field");
    }
    return {summary, {}};
  }
  return writeValue(f, h, type, parent, valueContext());
}

ValueText MatroskaWalker::writeCrc(FieldReader& f, const ElementHeader& h, const Scope& parent, bool first_child) {
  if (f.bytesLeft() != 4) {
    const int64_t size = f.bytesLeft();
    f.bytes("value", size, "a CRC-32 holds 4 bytes");
    return {numberText(uint64_t(size)) + " bytes", "a CRC-32 holds 4 bytes"};
  }
  const auto stored = uint32_t(f.peekLe(4));
  const std::string raw = hexText(stored, 8);
  std::string hrf;
  if (!first_child || parent.id == kRoot) {
    hrf = "not the first element of a master: not checked";
  } else if (parent.truncated) {
    hrf = "not checked: its parent is cut short";
  } else if (parent.unknown_size && parent.id == id::kSegment) {
    hrf = "not checked: the Segment's size is unknown";
  } else {
    const uint32_t computed = crc32Ieee(data + h.end, parent.data_end - h.end);
    parent.crc = computed == stored ? 1 : 2;
    hrf = computed == stored ? "ok" : "mismatch: the data after it gives " + hexText(computed, 8);
  }
  f.text("value", 32, raw, hrf);
  return {raw, hrf};
}

}  // namespace corvanta::matroska
