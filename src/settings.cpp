#include "settings.h"

#include <QSettings>

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<QSettings*> instance{nullptr};

void deleteSettings() {
  // Deleting the object stores any pending writes.
  delete instance.exchange(nullptr);
}

}  // namespace

QSettings* settings() {
  QSettings* current = instance.load(std::memory_order_acquire);
  if (current)
    return current;
  auto* created = new QSettings(QStringLiteral("Quarnett"), QStringLiteral("Corvanta"));
  QSettings* expected = nullptr;
  if (instance.compare_exchange_strong(expected, created, std::memory_order_acq_rel)) {
    std::atexit(deleteSettings);
    return created;
  }
  // Another thread won the race: its instance survives.
  delete created;
  return expected;
}
