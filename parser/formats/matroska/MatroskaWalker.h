#pragma once

#include "FormatModule.h"
#include "formats/matroska/MatroskaBlock.h"
#include "formats/matroska/MatroskaFrameTiming.h"
#include "formats/matroska/MatroskaVideoStreams.h"
#include "formats/matroska/MatroskaEbml.h"
#include "formats/matroska/MatroskaScope.h"
#include "formats/matroska/MatroskaSegmentInfo.h"
#include "formats/matroska/MatroskaSummaries.h"
#include "formats/matroska/MatroskaValues.h"

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace corvanta {
class ElementWriter;
class FieldReader;
}  // namespace corvanta

namespace corvanta::matroska {

struct ElementType;
class MatroskaLazyClusters;
struct ClusterSurroundings;

// Writes the EBML element tree of a Matroska or WebM file: every element as a unit with its ID
// and size fields, then its value decoded by type, or its children. Elements of unknown size
// end where an element that cannot be their descendant begins; an element whose size runs past
// its parent is cut there and marked; bytes where no element can stand become GARBAGE, after
// which the walk resumes at the next element of the upper levels (Cluster, Cues, ...) that a
// scan finds.
class MatroskaWalker {
 public:
  explicit MatroskaWalker(ParseContext& context);
  MatroskaWalker(const MatroskaWalker&) = delete;
  MatroskaWalker& operator=(const MatroskaWalker&) = delete;
  ~MatroskaWalker();

  // Writes the whole file; returns the number of EBML elements found.
  int64_t run();

  // Makes every Cluster a lazy unit recorded in `clusters` (the analysis on the lazy path).
  void recordClustersIn(MatroskaLazyClusters* clusters) { lazy_clusters = clusters; }
  // Writes the Cluster at byte `offset` again, as the analysis wrote it with these surroundings;
  // its frames are decoded with the video streams as they stand (see restoreVideo).
  void writeCluster(int64_t offset, const ClusterSurroundings& around);
  void restoreVideo(const std::shared_ptr<const MatroskaVideoStreams::Snapshot>& video) {
    video_streams.restore(video);
  }

  // Masters nest at most this deep; deeper ones show their data as one opaque field.
  static constexpr int kMaxDepth = 32;

 private:
  // Where the walk of a master's children stopped.
  struct Stop {
    int64_t pos = 0;
    // The walk found an element of the upper levels by scanning past bytes that are no
    // element: every master up to the Segment ends at `pos`.
    bool resynced = false;
    ChildCounts counts;
  };

  Stop walkChildren(const Scope& scope);
  // A Cluster as a lazy unit, and what writing it again needs noted.
  Stop writeLazyCluster(const ElementHeader& h, const ElementType* type, const Scope& parent, bool first_child);
  // The same walk without writing: where a master really ends (see `measuring`).
  Stop measureElement(const ElementHeader& h, const ElementType* type, const Scope& parent);
  // Where the unit of a master must end: measured once for each child of a Segment or of the top.
  int64_t unitEnd(const ElementHeader& h, const ElementType& type, const Scope& parent);
  Stop writeElement(const ElementHeader& h, const ElementType* type, const Scope& parent, bool first_child);
  void writeHeaderFields(FieldReader& f, const ElementHeader& h);
  // `end`: where its unit ends (see unitEnd).
  Stop writeMaster(const ElementHeader& h, int64_t end, const Scope& parent, ValueText& value);
  ValueText writeLeaf(FieldReader& f, const ElementHeader& h, const ElementType& type, const Scope& parent,
                      bool first_child);
  ValueText writeBlock(FieldReader& f, bool simple);
  ValueText writeCodecPrivate(FieldReader& f, const ElementHeader& h, const ElementType& type, const Scope& parent);
  ValueText writeCrc(FieldReader& f, const ElementHeader& h, const Scope& parent, bool first_child);
  void readEbmlSettings(const ElementHeader& h);

  // True when an element of `type` cannot stand inside `scope` and so ends it: any element that
  // is not its descendant while its size is unknown; an element of the upper levels otherwise.
  bool endsScope(const ElementType& type, const Scope& scope) const;
  // True when an element may stand at this header inside `scope`.
  bool isPlausible(const ElementHeader& h, const ElementType* type, const Scope& scope) const;
  // The first offset in [from, end) where an element of the upper levels with a sensible size
  // starts, or `end`.
  int64_t nextUpperElement(int64_t from, int64_t end) const;
  ValueContext valueContext() const;

  // A unit's extent is fixed when it opens, and a parent must hold its children's extents. The
  // size of an element of unknown size, and of one that ends early where an element of the upper
  // levels begins, is only known once its children are walked: so each child of a Segment (or of
  // the top) is first walked without writing, and the masters inside it whose end differs from
  // their declared end are remembered by offset.
  bool measuring = false;
  std::unordered_map<int64_t, int64_t> measured_ends;

  ParseContext& ctx;
  ElementWriter& w;
  const uint8_t* data;
  int64_t file_size;
  EbmlLimits limits;
  bool webm = false;
  std::shared_ptr<const SegmentInfo> segment;  // of the Segment being walked
  MatroskaVideoStreams video_streams;    // of that Segment's H.264/H.265 tracks
  bool has_cluster_timestamp = false;    // of the Cluster being walked
  int64_t cluster_timestamp = 0;
  BlockFacts group_block;                // of the BlockGroup being walked
  int group_references = 0;
  bool has_group_duration = false;       // its BlockDuration
  uint64_t group_duration = 0;
  BlockTiming block_timing;              // the frames table
  int64_t elements = 0;
  MatroskaLazyClusters* lazy_clusters = nullptr;
  uint64_t frames_after_cluster = 0;  // video_streams.framesDecoded() at the end of the last lazy Cluster
};

}  // namespace corvanta::matroska
