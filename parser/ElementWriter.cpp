#include "ElementWriter.h"

#include "BlockInserter.h"
#include "BlockQueue.h"
#include "ElementDatabase.h"
#include "LazyIndex.h"
#include "RowBlock.h"
#include "TimingWriter.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvanta {

namespace {

// Rows per block: large enough that one INSERT ... SELECT per block costs nothing beside
// its rows, small enough that the blocks in flight stay a few megabytes.
constexpr size_t kRowsPerBlock = 16384;
// A block also goes out once its texts reach this size, whatever their number.
constexpr size_t kTextPerBlock = size_t{4} << 20;
// Blocks waiting for the inserting thread; the parser waits when it runs that far ahead.
constexpr int kBlocksInFlight = 2;
constexpr int64_t kNoSequence = -1;
constexpr std::string_view kTruncated = "truncated";

// A unit whose children are still being added.
struct OpenUnit {
  int64_t id = 0;
  int64_t offset = 0;
  int64_t end = 0;           // declared end after clamping; children are kept inside
  int64_t parent_end = 0;    // what the unit itself must stay inside
  int64_t last_child_id = 0;
  int64_t children_end = 0;  // the furthest end of a child so far
  bool truncated = false;
  // The summary lives in the block beside the unit's row until the row goes out or a new
  // summary is set; from then on the unit keeps its own copy.
  bool owns_text = false;
  std::string raw_value;
  std::string hrf_value;
};

std::string withTruncated(std::string hrf_value) {
  if (hrf_value.find(kTruncated) != std::string::npos)
    return hrf_value;
  if (!hrf_value.empty())
    hrf_value += ", ";
  hrf_value += kTruncated;
  return hrf_value;
}

}  // namespace

struct ElementWriter::Impl {
  sqlite3* db = nullptr;
  bool counting = false;  // rows are counted and dropped, never written
  // Collecting the rows of one lazy unit decoded again: they stay in `block`.
  bool collecting = false;
  std::shared_ptr<const NameIds> known_names;
  bool unknown_name = false;
  // The place of the rows when the stack is empty: the top of the file, or a lazy unit's parent.
  int64_t base_parent = 0;
  int32_t base_level = 0;
  int64_t base_low = 0;

  // The lazy unit being written: its rows stay in `block` until endLazyUnit drops them.
  LazyIndex* lazy_index = nullptr;
  bool lazy_active = false;
  bool lazy_broken = false;     // not one whole element: its rows are kept
  LazyUnitPlace lazy_place;
  size_t lazy_depth = 0;        // the stack's size at beginLazyUnit
  int64_t lazy_roots = 0;       // elements added at that depth
  bool failed = false;
  bool in_transaction = false;
  bool finished = false;
  QString error;

  std::unique_ptr<BlockInserter> inserter;
  std::unique_ptr<BlockQueue> queue;      // started with the first full block
  std::unique_ptr<RowBlock> block = std::make_unique<RowBlock>();
  std::unique_ptr<TimingWriter> timing;

  std::vector<OpenUnit> stack;
  int overflow_depth = 0;  // openUnit calls beyond kMaxDepth, written as leaves
  int deepest_level = -1;  // setDeepestLevel; -1 for none
  int hidden_depth = 0;    // units open below the deepest level, which take no id

  // Whether an element added now lies below the deepest level written.
  bool hides() const {
    return hidden_depth > 0 || (deepest_level >= 0 && base_level + static_cast<int>(stack.size()) > deepest_level);
  }
  // What a hidden element's caller gets for its id: the unit it falls into.
  int64_t visibleId() const { return stack.empty() ? base_parent : stack.back().id; }
  int64_t next_id = 1;
  int64_t file_end = std::numeric_limits<int64_t>::max();

  std::unordered_map<std::string, int32_t> names;
  std::string name_key;
  std::string last_name;
  int32_t last_name_id = 0;
  // Name ids by the address of the name's text: modules pass the same literals again and again,
  // so most lookups end here without hashing the text. The text is compared too, since a
  // buffer's address may come back with other text in it.
  struct CachedName {
    const char* data = nullptr;
    std::string text;
    int32_t id = 0;
  };
  static constexpr size_t kCachedNames = 256;
  std::vector<CachedName> name_cache;  // made on first use: a count-only writer never needs it

  CachedName& cachedName(std::string_view name) {
    if (name_cache.empty()) name_cache.resize(kCachedNames);
    const auto address = reinterpret_cast<uintptr_t>(name.data());
    return name_cache[(address ^ (address >> 9)) % kCachedNames];
  }

  ~Impl() {
    // The thread first, then the statements it used, then the transaction.
    queue.reset();
    inserter.reset();
    if (in_transaction)
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  bool fail(const QString& reason) {
    if (!failed) {
      failed = true;
      error = reason;
    }
    return false;
  }

  bool start() {
    if (!db)
      return fail(QStringLiteral("no database to write to"));
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
      return fail(QStringLiteral("database error while starting the transaction: %1")
                      .arg(QString::fromUtf8(sqlite3_errmsg(db))));
    in_transaction = true;
    QString index_error;
    if (!ElementDatabase::createIndexes(db, &index_error))
      return fail(index_error);
    inserter = std::make_unique<BlockInserter>(db);
    if (!inserter->ready())
      return fail(inserter->errorString());
    return true;
  }

  int32_t nameId(std::string_view name) {
    if (name == last_name && last_name_id != 0)
      return last_name_id;
    CachedName& cached = cachedName(name);
    if (cached.data == name.data() && cached.id != 0 && cached.text == name) {
      last_name = cached.text;
      last_name_id = cached.id;
      return cached.id;
    }
    const int32_t id = lookUpName(name);
    if (id != 0) {
      cached.data = name.data();
      cached.text.assign(name.data(), name.size());
      cached.id = id;
    }
    return id;
  }

  int32_t lookUpName(std::string_view name) {
    name_key.assign(name.data(), name.size());
    if (collecting) {
      const auto known = known_names->find(name_key);
      if (known == known_names->end()) {
        unknown_name = true;
        return 0;
      }
      last_name = name_key;
      last_name_id = known->second;
      return known->second;
    }
    auto found = names.find(name_key);
    int32_t id;
    if (found != names.end()) {
      id = found->second;
    } else {
      id = static_cast<int32_t>(names.size()) + 1;
      names.emplace(name_key, id);
      block->names.push_back({id, block->keep(name)});
    }
    last_name = name_key;
    last_name_id = id;
    return id;
  }

  bool inBlock(int64_t id) const { return id >= block->first_id; }
  BlockRow& rowOf(int64_t id) { return block->rows[static_cast<size_t>(id - block->first_id)]; }

  // Sends the filled block to the database and starts an empty one.
  void handOver() {
    // Open units whose rows leave now keep their summaries for their close.
    for (OpenUnit& unit : stack) {
      if (unit.owns_text || !inBlock(unit.id))
        continue;
      const BlockRow& row = rowOf(unit.id);
      unit.raw_value.assign(block->textAt(row.raw_value), row.raw_value.length);
      unit.hrf_value.assign(block->textAt(row.hrf_value), row.hrf_value.length);
      unit.owns_text = true;
    }
    if (failed || counting) {
      block->clear(next_id);
      return;
    }
    if (!queue)
      queue = std::make_unique<BlockQueue>([this](const RowBlock& b) { return inserter->insert(b); },
                                           kBlocksInFlight);
    block = queue->submit(std::move(block));
  }

  // Writes what is left; after it every row is in the database or the writer has failed.
  void writeLastBlock() {
    if (counting) {
      block->clear(next_id);
      return;
    }
    bool written;
    if (queue) {
      if (!block->empty())
        block = queue->submit(std::move(block));
      written = queue->drain();
      queue.reset();
    } else {
      written = failed || block->empty() || inserter->insert(*block);
    }
    if (!written)
      fail(inserter->errorString());
    block->clear(next_id);
  }

  // Drops the rows of the block (a lazy unit's); new names still go to the dictionary, in a
  // block of their own.
  void dropRows() {
    if (block->names.empty()) {
      block->clear(next_id);
      return;
    }
    block->rows.clear();
    block->sequence_numbers.clear();
    block->first_id = next_id;
    handOver();
  }

  int64_t bottomOfStack() const { return stack.empty() ? base_low : stack.back().offset; }
  int64_t topOfStack() const { return stack.empty() ? file_end : stack.back().end; }

  // Appends one element under the innermost open unit, kept inside that unit's range.
  BlockRow& add(std::string_view name, int64_t offset, int64_t size, std::string_view raw_value,
                std::string_view hrf_value, int64_t seq_num, bool* truncated_out) {
    const int64_t low = bottomOfStack();
    const int64_t high = topOfStack();
    bool truncated = false;
    size = std::max<int64_t>(size, 0);
    if (offset < low) {
      // Unsigned, since a hostile offset may be so negative that the difference overflows.
      const uint64_t cut = static_cast<uint64_t>(low) - static_cast<uint64_t>(offset);
      size = cut >= static_cast<uint64_t>(size) ? 0 : size - static_cast<int64_t>(cut);
      offset = low;
      truncated = true;
    }
    if (offset > high) {
      offset = high;
      size = 0;
      truncated = true;
    } else if (size > high - offset) {
      size = high - offset;
      truncated = true;
    }

    // The rows of a lazy unit or of a collected one stay together in the block.
    if (!lazy_active && !collecting && (block->rows.size() >= kRowsPerBlock || block->text.size() >= kTextPerBlock))
      handOver();
    if (lazy_active && stack.size() == lazy_depth)
      ++lazy_roots;
    if (next_id > kMostElements && !failed)
      fail(QStringLiteral("the file holds more than %1 elements, more than the viewer can number").arg(kMostElements));
    const int64_t id = next_id++;
    BlockRow& row = block->rows.emplace_back();
    row.level = base_level + static_cast<int32_t>(stack.size());
    row.parent_id = stack.empty() ? base_parent : stack.back().id;
    // A count-only writer's rows are dropped: their names are never asked for.
    row.name_id = counting ? 0 : nameId(name);
    row.offset = offset;
    row.size = size;
    row.raw_value = block->keep(raw_value);
    row.hrf_value = truncated ? block->keep(withTruncated(std::string(hrf_value))) : block->keep(hrf_value);

    if (!stack.empty()) {
      OpenUnit& parent = stack.back();
      parent.last_child_id = id;
      parent.children_end = std::max(parent.children_end, offset + size);
    }
    if (seq_num >= 0)
      block->sequence_numbers.push_back({id, seq_num});
    if (truncated_out)
      *truncated_out = truncated;
    return row;
  }

  int64_t finalSize(const OpenUnit& unit, int64_t requested_size, bool* truncated) const {
    int64_t size = std::max<int64_t>(requested_size, 0);
    // Children already written must stay inside their parent.
    size = std::max(size, unit.children_end - unit.offset);
    if (size > unit.parent_end - unit.offset) {
      size = unit.parent_end - unit.offset;
      *truncated = true;
    }
    return size;
  }

  void close(int64_t requested_size) {
    if (overflow_depth > 0) {
      --overflow_depth;
      return;
    }
    if (stack.empty())
      return;
    if (lazy_active && stack.size() <= lazy_depth)
      lazy_broken = true;  // a unit opened before the lazy one closes inside it
    OpenUnit unit = std::move(stack.back());
    stack.pop_back();
    bool truncated = unit.truncated;
    const int64_t size = finalSize(unit, requested_size, &truncated);
    if (inBlock(unit.id)) {
      BlockRow& row = rowOf(unit.id);
      row.size = size;
      row.last_child_id = unit.last_child_id;
      if (truncated && !unit.owns_text) {
        unit.raw_value.assign(block->textAt(row.raw_value), row.raw_value.length);
        unit.hrf_value.assign(block->textAt(row.hrf_value), row.hrf_value.length);
        unit.owns_text = true;
      }
      if (unit.owns_text) {
        row.raw_value = block->keep(unit.raw_value);
        row.hrf_value = block->keep(truncated ? withTruncated(std::move(unit.hrf_value)) : unit.hrf_value);
      }
    } else {
      UnitClose& late = block->closes.emplace_back();
      late.id = unit.id;
      late.size = size;
      late.last_child_id = unit.last_child_id;
      late.raw_value = block->keep(unit.raw_value);
      late.hrf_value = block->keep(truncated ? withTruncated(std::move(unit.hrf_value)) : unit.hrf_value);
    }
    if (!stack.empty()) {
      OpenUnit& parent = stack.back();
      parent.children_end = std::max(parent.children_end, unit.offset + size);
    }
  }
};

ElementWriter::ElementWriter(sqlite3* db) : impl(std::make_unique<Impl>()) {
  impl->db = db;
  impl->timing = std::make_unique<TimingWriter>(true);
  impl->start();
}

ElementWriter::ElementWriter(CountOnly) : impl(std::make_unique<Impl>()) {
  impl->counting = true;
  impl->timing = std::make_unique<TimingWriter>(false);
}

ElementWriter::ElementWriter(Collect) : impl(std::make_unique<Impl>()) {
  impl->collecting = true;
  impl->known_names = std::make_shared<const NameIds>();
  // The frames of a unit decoded again were written by the analysis already.
  impl->timing = std::make_unique<TimingWriter>(false);
}

void ElementWriter::setKnownNames(std::shared_ptr<const NameIds> names) {
  if (!names)
    return;
  impl->known_names = std::move(names);
  impl->name_cache.assign(Impl::kCachedNames, {});
}

ElementWriter::~ElementWriter() = default;

void ElementWriter::recordLazyUnits(LazyIndex* index) {
  impl->lazy_index = index;
}

void ElementWriter::beginLazyUnit() {
  Impl& d = *impl;
  if (!d.lazy_index || d.counting || d.collecting || d.lazy_active)
    return;
  // Ids are the block's first id plus the row's index: the rows before go out first, so
  // that the unit's rows can be dropped as a whole.
  if (!d.block->rows.empty() || !d.block->closes.empty())
    d.handOver();
  d.lazy_active = true;
  d.lazy_broken = d.overflow_depth > 0;
  d.lazy_depth = d.stack.size();
  d.lazy_roots = 0;
  d.lazy_place.first_id = d.next_id;
  d.lazy_place.parent_id = d.stack.empty() ? d.base_parent : d.stack.back().id;
  d.lazy_place.level = d.base_level + static_cast<int32_t>(d.stack.size());
  d.lazy_place.low = d.bottomOfStack();
  d.lazy_place.high = d.topOfStack();
}

void ElementWriter::endLazyUnit() {
  Impl& d = *impl;
  if (!d.lazy_active)
    return;
  d.lazy_active = false;
  const int64_t count = d.next_id - d.lazy_place.first_id;
  const bool lazy = !d.lazy_broken && d.lazy_roots == 1 && d.stack.size() == d.lazy_depth && d.overflow_depth == 0;
  d.lazy_index->add(d.lazy_place, count, lazy);
  if (lazy)
    d.dropRows();
}

int64_t ElementWriter::addCountedLazyUnit(int64_t bit_offset, int64_t bit_size, int64_t count) {
  Impl& d = *impl;
  if (!d.lazy_index || d.counting || d.collecting || d.lazy_active || d.overflow_depth > 0 || count < 1 ||
      static_cast<int>(d.stack.size()) >= kMaxDepth)
    return -1;
  const int64_t low = d.bottomOfStack();
  const int64_t high = d.topOfStack();
  if (bit_offset < low || bit_offset > high || bit_size < 0 || bit_size > high - bit_offset)
    return -1;
  // As in beginLazyUnit: the rows before go out first, so that the block's ids start after the unit.
  if (!d.block->rows.empty() || !d.block->closes.empty())
    d.handOver();
  LazyUnitPlace place;
  place.first_id = d.next_id;
  place.parent_id = d.stack.empty() ? d.base_parent : d.stack.back().id;
  place.level = d.base_level + static_cast<int32_t>(d.stack.size());
  place.low = low;
  place.high = high;
  if (d.next_id - 1 + count > kMostElements && !d.failed)
    d.fail(QStringLiteral("the file holds more than %1 elements, more than the viewer can number").arg(kMostElements));
  d.lazy_index->add(place, count, true);
  if (!d.stack.empty()) {
    OpenUnit& parent = d.stack.back();
    parent.last_child_id = place.first_id;
    parent.children_end = std::max(parent.children_end, bit_offset + bit_size);
  }
  d.next_id += count;
  d.block->first_id = d.next_id;
  return place.first_id;
}

NameIds ElementWriter::nameIds() const {
  return impl->names;
}

void ElementWriter::setDeepestLevel(int level) {
  impl->deepest_level = level;
}

void ElementWriter::internName(std::string_view name) {
  impl->nameId(name);
}

void ElementWriter::startCollecting(const LazyUnitPlace& place) {
  Impl& d = *impl;
  d.stack.clear();
  d.hidden_depth = 0;
  d.overflow_depth = 0;
  d.next_id = place.first_id;
  d.base_parent = place.parent_id;
  d.base_level = place.level;
  d.base_low = place.low;
  d.file_end = place.high;
  d.unknown_name = false;
  d.last_name.clear();
  d.last_name_id = 0;
  d.block->clear(d.next_id);
}

const RowBlock& ElementWriter::collectedRows() {
  impl->overflow_depth = 0;
  while (!impl->stack.empty())
    closeUnit();
  return *impl->block;
}

bool ElementWriter::metUnknownName() const {
  return impl->unknown_name;
}

void ElementWriter::setFileSize(int64_t bit_size) {
  impl->file_end = std::max<int64_t>(bit_size, 0);
}

int64_t ElementWriter::openUnit(std::string_view name, int64_t bit_offset, int64_t bit_size,
                                std::string_view raw_value, std::string_view hrf_value, int64_t seq_num) {
  Impl& d = *impl;
  if (d.hides()) {
    ++d.hidden_depth;
    return d.visibleId();
  }
  const bool too_deep = d.overflow_depth > 0 || static_cast<int>(d.stack.size()) >= kMaxDepth;
  const int64_t parent_end = d.topOfStack();
  const int64_t parent_children_end = d.stack.empty() ? 0 : d.stack.back().children_end;
  bool truncated = false;
  const BlockRow& row = d.add(name, bit_offset, bit_size, raw_value, hrf_value, seq_num, &truncated);
  const int64_t id = d.next_id - 1;
  if (too_deep) {
    ++d.overflow_depth;
    return id;
  }
  // The parent must hold what this unit finally takes, which its close will say; its
  // declared extent is only the most it may take.
  if (!d.stack.empty())
    d.stack.back().children_end = std::max(parent_children_end, row.offset);
  OpenUnit& unit = d.stack.emplace_back();
  unit.id = id;
  unit.offset = row.offset;
  unit.end = row.offset + row.size;
  unit.parent_end = parent_end;
  unit.children_end = row.offset;
  unit.truncated = truncated;
  return id;
}

void ElementWriter::setUnitValue(std::string_view raw_value, std::string_view hrf_value) {
  if (impl->hidden_depth > 0 || impl->overflow_depth > 0 || impl->stack.empty())
    return;
  OpenUnit& unit = impl->stack.back();
  unit.raw_value.assign(raw_value.data(), raw_value.size());
  unit.hrf_value.assign(hrf_value.data(), hrf_value.size());
  unit.owns_text = true;
}

void ElementWriter::closeUnit() {
  if (impl->hidden_depth > 0) {
    --impl->hidden_depth;
    return;
  }
  if (impl->overflow_depth == 0 && !impl->stack.empty()) {
    const OpenUnit& unit = impl->stack.back();
    impl->close(unit.end - unit.offset);
    return;
  }
  impl->close(0);
}

void ElementWriter::closeUnit(int64_t bit_size) {
  if (impl->hidden_depth > 0) {
    --impl->hidden_depth;
    return;
  }
  impl->close(bit_size);
}

int64_t ElementWriter::addField(std::string_view name, int64_t bit_offset, int64_t bit_size,
                                std::string_view raw_value, std::string_view hrf_value, int64_t seq_num) {
  if (impl->hides()) return impl->visibleId();
  impl->add(name, bit_offset, bit_size, raw_value, hrf_value, seq_num, nullptr);
  return impl->next_id - 1;
}

int64_t ElementWriter::addGarbage(int64_t bit_offset, int64_t bit_size) {
  if (impl->hides()) return impl->visibleId();
  impl->add(kGarbageName, bit_offset, bit_size, {}, {}, kNoSequence, nullptr);
  return impl->next_id - 1;
}

int ElementWriter::depth() const {
  return static_cast<int>(impl->stack.size()) + impl->overflow_depth + impl->hidden_depth;
}

int64_t ElementWriter::elementCount() const {
  return impl->next_id - 1;
}

int64_t ElementWriter::innermostEnd() const {
  return impl->stack.empty() ? std::numeric_limits<int64_t>::max() : impl->stack.back().end;
}

bool ElementWriter::finish() {
  Impl& d = *impl;
  if (d.finished)
    return !d.failed;
  d.finished = true;
  d.overflow_depth = 0;
  while (!d.stack.empty())
    closeUnit();
  d.writeLastBlock();
  d.inserter.reset();
  if (d.failed)
    return false;
  if (d.counting)
    return true;
  // The inserting thread has ended: the timing rows may use the connection now.
  QString timing_error;
  if (!d.timing->write(d.db, &timing_error))
    return d.fail(timing_error);
  if (sqlite3_exec(d.db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    return d.fail(QStringLiteral("database error while committing: %1").arg(QString::fromUtf8(sqlite3_errmsg(d.db))));
  d.in_transaction = false;
  return true;
}

TimingWriter& ElementWriter::timing() {
  return *impl->timing;
}

QString ElementWriter::errorString() const {
  return impl->error;
}

}  // namespace corvanta
