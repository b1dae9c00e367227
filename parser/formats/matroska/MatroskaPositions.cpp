#include "formats/matroska/MatroskaPositions.h"

#include "TextForms.h"
#include "formats/matroska/MatroskaElements.h"
#include "formats/matroska/MatroskaScope.h"

namespace corvanta::matroska {

namespace {

std::string idName(uint32_t element_id) {
  const ElementType* type = findElementType(element_id);
  return type ? type->name : "element " + hexText(element_id, 2);
}

// What stands at `offset`: checks it against one or two expected IDs.
TargetCheck checkAt(const ValueContext& context, int64_t offset, uint32_t expected, uint32_t other_expected) {
  TargetCheck check;
  check.offset = offset;
  const std::string where = "file offset " + numberText(uint64_t(offset));
  const std::string wanted = idName(expected) + (other_expected ? " or " + idName(other_expected) : "");
  if (offset >= context.file_size) {
    check.text = where + ": points past the end of the file";
    return check;
  }
  ElementHeader h;
  if (!readElementHeader(context.data, offset, context.file_size, context.limits, h)) {
    check.text = where + ": points nowhere, no element starts there";
    return check;
  }
  check.found = h.id == expected || (other_expected && h.id == other_expected);
  const ElementType* found = findElementType(h.id);
  check.text = check.found ? where + ", " + idName(h.id) + " there"
                           : where + ": points nowhere, no " + wanted + " there" +
                                 (found ? std::string(" but a ") + found->name : std::string());
  return check;
}

}  // namespace

TargetCheck checkSegmentPosition(const ValueContext& context, uint64_t position, uint32_t expected) {
  if (position > uint64_t(context.file_size)) {
    TargetCheck check;
    check.text = "points past the end of the file";
    return check;
  }
  return checkAt(context, context.segmentData() + int64_t(position), expected, 0);
}

TargetCheck checkClusterPosition(const ValueContext& context, int64_t cluster_data, uint64_t position) {
  if (cluster_data < 0 || position > uint64_t(context.file_size)) {
    TargetCheck check;
    check.text = cluster_data < 0 ? "no Cluster to be relative to" : "points past the end of the file";
    return check;
  }
  return checkAt(context, cluster_data + int64_t(position), id::kSimpleBlock, id::kBlockGroup);
}

int64_t clusterDataAt(const ValueContext& context, uint64_t position) {
  if (position > uint64_t(context.file_size)) return -1;
  ElementHeader h;
  const int64_t offset = context.segmentData() + int64_t(position);
  if (!readElementHeader(context.data, offset, context.file_size, context.limits, h) || h.id != id::kCluster)
    return -1;
  return h.data;
}

}  // namespace corvanta::matroska
