#pragma once

#include "RowBlock.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvanta {

// Hands filled RowBlocks to a thread of their own, which inserts them in order while the
// caller fills the next: parsing and writing then use a core each. At most `max_pending`
// blocks wait at a time, so memory stays bounded however fast the parser runs; emptied
// blocks come back for reuse.
class BlockQueue {
 public:
  using Insert = std::function<bool(const RowBlock&)>;

  // `insert` runs on the queue's thread, one block after the other; after it first
  // returns false the remaining blocks are dropped.
  BlockQueue(Insert insert, int max_pending);
  // Stops the thread, dropping blocks that were not inserted yet.
  ~BlockQueue();
  BlockQueue(const BlockQueue&) = delete;
  BlockQueue& operator=(const BlockQueue&) = delete;

  // Queues `block` (waits while the queue is full) and returns an empty block to fill next.
  std::unique_ptr<RowBlock> submit(std::unique_ptr<RowBlock> block);
  // Waits until every queued block is inserted and ends the thread; false when an insert failed.
  bool drain();
  // Whether an insert has failed so far.
  bool failed() const;

 private:
  void run();
  void stop(bool drop_pending);

  Insert insert;
  const size_t max_pending;
  mutable std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::unique_ptr<RowBlock>> pending;
  std::vector<std::unique_ptr<RowBlock>> spare;
  bool stopping = false;
  bool inserting = false;  // the block being inserted still counts against max_pending
  bool insert_failed = false;
  std::thread worker;
};

}  // namespace corvanta
