#include "formats/matroska/MatroskaLazyClusters.h"

#include "formats/matroska/MatroskaWalker.h"

#include <algorithm>

namespace corvanta::matroska {

bool ClusterSurroundings::sameAs(const ClusterSurroundings& other) const {
  return segment == other.segment && limits.max_id_width == other.limits.max_id_width &&
         limits.max_size_width == other.limits.max_size_width && webm == other.webm && parent.id == other.parent.id &&
         parent.unknown_size == other.parent.unknown_size && parent.truncated == other.parent.truncated &&
         parent.depth == other.parent.depth && parent.data == other.parent.data && parent.end == other.parent.end &&
         parent.data_end == other.parent.data_end;
}

MatroskaLazyClusters::MatroskaLazyClusters(FileBytes file, bool decode_frames)
    : context{file, writer(), [](int64_t) {}, {}, decode_frames, false, nullptr} {}

void MatroskaLazyClusters::addCluster(int64_t offset, const ClusterSurroundings& around,
                                      std::shared_ptr<const MatroskaVideoStreams::Snapshot> video) {
  if (surroundings.empty() || !surroundings.back().sameAs(around)) {
    surroundings.push_back(around);
    surroundings.back().parent.track = nullptr;
  }
  if (videos.empty() || videos.back() != video) videos.push_back(std::move(video));
  clusters.push_back({offset, offset, uint32_t(surroundings.size() - 1), uint32_t(videos.size() - 1)});
}

void MatroskaLazyClusters::endCluster(int64_t end) {
  if (!clusters.empty()) clusters.back().end = std::max(end, clusters.back().offset);
}

int64_t MatroskaLazyClusters::memoryBytes() const {
  // A video state: its decoders' parameter sets and reference slots, about a kilobyte each.
  constexpr int64_t kVideoStateBytes = 1024;
  return int64_t(clusters.capacity() * sizeof(Cluster) + surroundings.capacity() * sizeof(ClusterSurroundings) +
                 videos.capacity() * (sizeof(videos[0]) + kVideoStateBytes));
}

void MatroskaLazyClusters::decode(int64_t unit, const LazyUnitPlace& place) {
  if (unit < 0 || unit >= clusterCount()) return;
  const Cluster& cluster = clusters[size_t(unit)];
  MatroskaWalker walker(context);
  writer().startCollecting(place);
  walker.writeCluster(cluster.offset, surroundings[cluster.surroundings], videos[cluster.video]);
}

void MatroskaLazyClusters::bitRange(int64_t unit, int64_t* bit_offset, int64_t* bit_size) const {
  *bit_offset = 0;
  *bit_size = 0;
  if (unit < 0 || unit >= clusterCount()) return;
  const Cluster& cluster = clusters[size_t(unit)];
  *bit_offset = cluster.offset * 8;
  *bit_size = (cluster.end - cluster.offset) * 8;
}

}  // namespace corvanta::matroska
