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

void MatroskaLazyClusters::addCluster(int64_t offset, const ClusterSurroundings& around, MatroskaVideoStreams& video,
                                      bool must_save) {
  if (surroundings.empty() || !surroundings.back().sameAs(around)) {
    surroundings.push_back(around);
    surroundings.back().parent.track = nullptr;
  }
  const auto around_index = uint32_t(surroundings.size() - 1);
  // A new Segment starts its streams afresh: the clusters before cannot lead up to it.
  const bool save = must_save || videos.empty() || videos.back().surroundings != around_index ||
                    !video.changedSinceSnapshot() || offset - videos.back().offset >= kSaveEvery;
  uint32_t video_index;
  if (save) {
    std::shared_ptr<const MatroskaVideoStreams::Snapshot> state = video.snapshot();
    if (videos.empty() || videos.back().state != state || videos.back().surroundings != around_index)
      videos.push_back({clusterCount(), offset, around_index, std::move(state)});
    video_index = uint32_t(videos.size() - 1);
  } else {
    video_index = uint32_t(videos.size() - 1) | kReplay;
  }
  clusters.push_back({offset, offset, around_index, video_index});
}

void MatroskaLazyClusters::endCluster(int64_t end) {
  if (!clusters.empty()) clusters.back().end = std::max(end, clusters.back().offset);
}

void MatroskaLazyClusters::decode(int64_t unit, const LazyUnitPlace& place) {
  if (unit < 0 || unit >= clusterCount()) return;
  const Cluster& cluster = clusters[size_t(unit)];
  const SavedVideo& saved = videos[cluster.video & ~kReplay];
  MatroskaWalker walker(context);
  walker.restoreVideo(saved.state);
  if (cluster.video & kReplay) {
    LazyUnitPlace anywhere;
    anywhere.high = context.file.size() * 8;
    for (int64_t before = saved.cluster; before < unit; ++before) {
      // Only the state these clusters leave matters; their rows are dropped.
      writer().startCollecting(anywhere);
      const Cluster& earlier = clusters[size_t(before)];
      walker.writeCluster(earlier.offset, surroundings[earlier.surroundings]);
    }
  }
  writer().startCollecting(place);
  walker.writeCluster(cluster.offset, surroundings[cluster.surroundings]);
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
