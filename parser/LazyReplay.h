#pragma once

#include "ElementWriter.h"

#include <cstdint>
#include <functional>

namespace corvanta {

// The usual way a LazyDecoder writes unit N again when its units carry state from one to the next:
// go back to the checkpoint before N (one every `every` units), write the units from there with
// their rows dropped, then write N. Reading on from the last unit written goes on from where the
// replay stands, so that a forward read never goes back to a checkpoint.
class LazyReplay {
 public:
  explicit LazyReplay(int64_t every) : every(every) {}

  // `checkpoints`: how many there are; `restore(i)` puts the writer's state back to checkpoint i;
  // `write_next()` writes the next unit through `writer`. Does nothing for a unit past the last
  // checkpoint's reach.
  void decode(ElementWriter& writer, int64_t unit, const LazyUnitPlace& place, int64_t file_bits,
              int64_t checkpoints, const std::function<void(int64_t)>& restore,
              const std::function<void()>& write_next);

 private:
  int64_t every;
  int64_t next_unit = -1;  // the unit the replay stands before, -1 when none
};

}  // namespace corvanta
