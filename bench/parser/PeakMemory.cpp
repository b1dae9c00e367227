#include "PeakMemory.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

int64_t PeakMemory::anonymousBytes() {
  // statm: size resident shared ...; resident minus shared is the anonymous part.
  std::FILE* file = std::fopen("/proc/self/statm", "r");
  if (!file)
    return 0;
  long long size = 0, resident = 0, shared = 0;
  const int read = std::fscanf(file, "%lld %lld %lld", &size, &resident, &shared);
  std::fclose(file);
  return read == 3 ? (resident - shared) * static_cast<int64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

PeakMemory::PeakMemory() : base(anonymousBytes()), peak(base) {
  sampler = std::thread([this] {
    while (running.load()) {
      const int64_t now = anonymousBytes();
      if (now > peak.load())
        peak.store(now);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
}

PeakMemory::~PeakMemory() {
  running.store(false);
  sampler.join();
}

int64_t PeakMemory::growth() {
  const int64_t now = anonymousBytes();
  if (now > peak.load())
    peak.store(now);
  return peak.load() - base;
}
