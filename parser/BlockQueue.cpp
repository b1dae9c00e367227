#include "BlockQueue.h"

#include <algorithm>
#include <utility>

namespace corvanta {

BlockQueue::BlockQueue(Insert insert_block, int max_blocks)
    : insert(std::move(insert_block)), max_pending(static_cast<size_t>(std::max(max_blocks, 1))) {
  worker = std::thread([this] { run(); });
}

BlockQueue::~BlockQueue() {
  stop(true);
}

std::unique_ptr<RowBlock> BlockQueue::submit(std::unique_ptr<RowBlock> block) {
  const int64_t next_id = block->first_id + static_cast<int64_t>(block->rows.size());
  std::unique_ptr<RowBlock> empty;
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return pending.size() + (inserting ? 1 : 0) < max_pending || insert_failed; });
    if (!insert_failed)
      pending.push_back(std::move(block));
    else
      empty = std::move(block);
    if (!empty && !spare.empty()) {
      empty = std::move(spare.back());
      spare.pop_back();
    }
  }
  changed.notify_all();
  if (!empty)
    empty = std::make_unique<RowBlock>();
  empty->clear(next_id);
  return empty;
}

bool BlockQueue::drain() {
  stop(false);
  return !failed();
}

bool BlockQueue::failed() const {
  std::lock_guard<std::mutex> lock(mutex);
  return insert_failed;
}

void BlockQueue::stop(bool drop_pending) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (drop_pending)
      pending.clear();
    stopping = true;
  }
  changed.notify_all();
  if (worker.joinable())
    worker.join();
}

void BlockQueue::run() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    changed.wait(lock, [this] { return !pending.empty() || stopping; });
    if (pending.empty())
      return;
    std::unique_ptr<RowBlock> block = std::move(pending.front());
    pending.pop_front();
    inserting = true;
    lock.unlock();
    const bool inserted = insert(*block);
    lock.lock();
    inserting = false;
    if (!inserted) {
      insert_failed = true;
      pending.clear();
    }
    spare.push_back(std::move(block));
    changed.notify_all();
  }
}

}  // namespace corvanta
