#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

// Samples the process's anonymous resident memory (heap, SQLite's pages; not the pages
// of a mapped file) every few milliseconds and keeps the highest figure.
class PeakMemory {
 public:
  PeakMemory();   // starts sampling
  ~PeakMemory();
  PeakMemory(const PeakMemory&) = delete;
  PeakMemory& operator=(const PeakMemory&) = delete;

  // Highest anonymous resident bytes seen since construction, minus the figure at construction.
  int64_t growth();

  static int64_t anonymousBytes();

 private:
  const int64_t base;
  std::atomic<int64_t> peak;
  std::atomic<bool> running{true};
  std::thread sampler;
};
