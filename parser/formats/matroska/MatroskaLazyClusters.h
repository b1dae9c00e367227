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
// reference frames carry over from cluster to cluster). A cluster keeps 24 bytes. The video state
// is saved at a cluster when no frame changed it since the last one saved (then it is shared),
// and otherwise once every kSaveEvery bytes: the clusters between are decoded again from the
// last saved state, their rows dropped. Surroundings are shared by the clusters of a Segment.
class MatroskaLazyClusters : public LazyDecoder {
 public:
  // Bytes of clusters after a saved video state before the next one is saved: the most that
  // decoding a cluster again walks first.
  static constexpr int64_t kSaveEvery = 64 * 1024;

  MatroskaLazyClusters(FileBytes file, bool decode_frames);

  // The analysis: the next Cluster starts at byte `offset` with the video streams as `video`
  // holds them. `must_save`: its state must be saved here, since frames were decoded outside
  // the clusters since the last one.
  void addCluster(int64_t offset, const ClusterSurroundings& around, MatroskaVideoStreams& video, bool must_save);
  // Where the walk of the last Cluster added stopped.
  void endCluster(int64_t end);
  int64_t clusterCount() const { return int64_t(clusters.size()); }
  int64_t savedStates() const { return int64_t(videos.size()); }

  void decode(int64_t unit, const LazyUnitPlace& place) override;
  void bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const override;

 private:
  static constexpr uint32_t kReplay = 0x80000000;  // in Cluster::video: decode from the saved state's cluster

  struct Cluster {
    int64_t offset = 0;
    int64_t end = 0;
    uint32_t surroundings = 0;
    uint32_t video = 0;  // index into `videos`, with kReplay
  };
  struct SavedVideo {
    int64_t cluster = 0;  // the cluster at whose start it was saved
    int64_t offset = 0;   // that cluster's
    uint32_t surroundings = 0;
    std::shared_ptr<const MatroskaVideoStreams::Snapshot> state;
  };

  ParseContext context;
  std::vector<Cluster> clusters;
  std::vector<ClusterSurroundings> surroundings;
  std::vector<SavedVideo> videos;
};

}  // namespace corvanta::matroska
