#include "formats/matroska/Matroska.h"

#include "ByteOrder.h"
#include "formats/matroska/MatroskaEbml.h"
#include "formats/matroska/MatroskaElements.h"
#include "formats/matroska/MatroskaLazyClusters.h"
#include "formats/matroska/MatroskaWalker.h"

#include <algorithm>

namespace corvanta {

namespace {

using namespace matroska;

bool isMatroskaHeader(const uint8_t* head, int64_t head_size, int64_t at) {
  ElementHeader h;
  const EbmlLimits limits;
  if (!readElementHeader(head, at, head_size, limits, h) || h.id != id::kEbml) return false;
  const std::string doc_type = childText(head, h.data, std::min(h.end, head_size), limits, id::kDocType);
  return doc_type == "matroska" || doc_type == "webm";
}

// Confidence from the first element: an EBML header naming a Matroska document type, or (for
// streams cut out of a file) a Segment or Cluster header that reads well; less for such a
// header after some junk.
int probe(const uint8_t* head, int64_t head_size, int64_t file_size) {
  if (head_size < 4) return 0;
  const uint32_t first = loadBe32(head);
  ElementHeader h;
  const EbmlLimits limits;
  if (readElementHeader(head, 0, head_size, limits, h)) {
    if (first == id::kEbml) return isMatroskaHeader(head, head_size, 0) ? 100 : 40;
    const bool fits = h.unknown_size || h.declared_size <= uint64_t(file_size - h.data);
    if (first == id::kSegment) return fits ? 50 : 20;
    if (first == id::kCluster) return fits ? 30 : 10;
  }
  for (int64_t at = 1; at + 4 <= head_size; ++at)
    if (head[at] == 0x1A && loadBe32(head + at) == id::kEbml && isMatroskaHeader(head, head_size, at)) return 40;
  return 0;
}

bool parse(ParseContext& ctx) {
  if (!ctx.file.data() || ctx.file.size() < 4) {
    ctx.error = QStringLiteral("the file is too small to hold an EBML element");
    return false;
  }
  MatroskaWalker walker(ctx);
  std::unique_ptr<MatroskaLazyClusters> clusters;
  if (ctx.lazy_units) {
    clusters = std::make_unique<MatroskaLazyClusters>(ctx.file, ctx.decode_frames);
    walker.recordClustersIn(clusters.get());
  }
  if (walker.run() == 0) {
    ctx.error = QStringLiteral("no EBML element found");
    return false;
  }
  if (clusters && clusters->clusterCount() > 0) ctx.lazy_decoder = std::move(clusters);
  return true;
}

}  // namespace

FormatModule matroskaModule() {
  return {QStringLiteral("matroska"), QStringLiteral("Matroska"),
          {QStringLiteral("mkv"), QStringLiteral("mka"), QStringLiteral("mks"), QStringLiteral("mk3d"),
           QStringLiteral("webm")},
          probe, parse};
}

}  // namespace corvanta
