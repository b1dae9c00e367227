#include "LazyReplay.h"

namespace corvanta {

void LazyReplay::decode(ElementWriter& writer, int64_t unit, const LazyUnitPlace& place, int64_t file_bits,
                        int64_t checkpoints, const std::function<void(int64_t)>& restore,
                        const std::function<void()>& write_next) {
  const int64_t checkpoint = unit / every;
  if (unit < 0 || checkpoint >= checkpoints) return;
  const int64_t checkpoint_unit = checkpoint * every;
  if (next_unit < checkpoint_unit || next_unit > unit) {
    restore(checkpoint);
    next_unit = checkpoint_unit;
  }
  LazyUnitPlace anywhere;
  anywhere.high = file_bits;
  for (; next_unit < unit; ++next_unit) {
    // Only the state these units leave matters; their rows are dropped.
    writer.startCollecting(anywhere);
    write_next();
  }
  writer.startCollecting(place);
  write_next();
  next_unit = unit + 1;
}

}  // namespace corvanta
