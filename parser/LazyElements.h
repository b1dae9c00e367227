#pragma once

#include "ElementWriter.h"
#include "LazyDecoder.h"
#include "LazyIndex.h"
#include "RowBlock.h"

#include <algorithm>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace corvanta {

// The rows of one lazy unit, decoded again: ids first_id, first_id + 1, ...
struct DecodedUnit {
  int64_t first_id = 0;
  std::vector<BlockRow> rows;
  std::vector<SequenceNumber> sequence_numbers;  // by id
  std::string text;

  std::string_view textOf(TextSpan span) const { return {text.data() + span.at, span.length}; }
  // The sequence number of `id`, -1 when it has none.
  int64_t sequenceNumber(int64_t id) const;
};

// The elements of a lazy analysis: the index of its lazy units, the module's decoder, and a
// bounded cache of the units decoded last. A unit that cannot be decoded as the analysis counted
// it (its file changed since, or decodes to another number of elements) stands as one GARBAGE
// element with the same id range: a GARBAGE unit over its bytes and empty GARBAGE elements for the
// rest of its ids, so that nothing after it moves.
class LazyElements {
 public:
  // Units kept decoded: a few pages of the tree in either direction.
  static constexpr size_t kCachedUnits = 512;
  // Fewer units kept, so that tests decode units again from their checkpoints.
  void setCachedUnits(size_t units) { cached_units = std::max<size_t>(units, 1); }

  LazyElements(LazyIndex index, std::unique_ptr<LazyDecoder> decoder, NameIds names, int64_t element_count,
               std::function<bool()> file_changed, std::shared_ptr<const void> bytes_owner);

  const LazyIndex& index() const { return units; }
  int64_t elementCount() const { return element_count; }
  // The decoded rows of lazy unit `unit`.
  std::shared_ptr<const DecodedUnit> unit(int64_t unit);

 private:
  std::shared_ptr<DecodedUnit> decode(int64_t unit);
  std::shared_ptr<DecodedUnit> garbage(int64_t unit, const LazyUnitPlace& place) const;

  LazyIndex units;
  std::unique_ptr<LazyDecoder> decoder;
  std::shared_ptr<const NameIds> names;
  int32_t garbage_name_id = 0;
  int64_t element_count = 0;
  std::function<bool()> file_changed;
  std::shared_ptr<const void> bytes_owner;  // keeps the file's bytes mapped

  size_t cached_units = kCachedUnits;
  std::mutex mutex;  // one decoding at a time, whatever thread reads
  std::list<std::pair<int64_t, std::shared_ptr<const DecodedUnit>>> recent;  // newest first
  std::unordered_map<int64_t, decltype(recent)::iterator> cached;
};

}  // namespace corvanta
