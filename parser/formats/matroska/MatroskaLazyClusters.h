#pragma once

#include "FormatModule.h"
#include "LazyDecoder.h"
#include "formats/matroska/MatroskaEbml.h"
#include "formats/matroska/MatroskaScope.h"
#include "formats/matroska/MatroskaVideoStreams.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace corvanta::matroska {

class SegmentInfo;

// What writing a Cluster needs beside its own bytes: the master it stands in, its Segment's
// tracks and timestamp scale, the EBML header's settings. Every Cluster of one Segment shares it.
struct ClusterSurroundings {
  Scope parent;  // without a track: a Cluster's parent is a Segment or the top of the file
  std::shared_ptr<const SegmentInfo> segment;
  EbmlLimits limits;
  bool webm = false;

  bool sameAs(const ClusterSurroundings& other) const;
};

// The Clusters of a Matroska file as lazy units: each one is written again on its own from its
// offset, its surroundings and the state of the video streams at its start (parameter sets and
// reference frames carry over from cluster to cluster). A cluster keeps 24 bytes; surroundings
// and video states are shared by the clusters that start with the same.
class MatroskaLazyClusters : public LazyDecoder {
 public:
  MatroskaLazyClusters(FileBytes file, bool decode_frames);

  // The analysis: the next Cluster starts at byte `offset`.
  void addCluster(int64_t offset, const ClusterSurroundings& around,
                  std::shared_ptr<const MatroskaVideoStreams::Snapshot> video);
  // Where the walk of the last Cluster added stopped.
  void endCluster(int64_t end);
  int64_t clusterCount() const { return int64_t(clusters.size()); }
  // Bytes held, for the benchmark (the video states' own size is estimated).
  int64_t memoryBytes() const;

  void decode(int64_t unit, const LazyUnitPlace& place) override;
  void bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const override;

 private:
  struct Cluster {
    int64_t offset = 0;
    int64_t end = 0;
    uint32_t surroundings = 0;
    uint32_t video = 0;
  };

  ParseContext context;
  std::vector<Cluster> clusters;
  std::vector<ClusterSurroundings> surroundings;
  std::vector<std::shared_ptr<const MatroskaVideoStreams::Snapshot>> videos;
};

}  // namespace corvanta::matroska
