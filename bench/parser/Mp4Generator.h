#pragma once

#include <QString>

#include <cstdint>

// Writes a valid, minimal MP4 with one video track of many small samples, so that
// the sample tables (stts, stsc, stsz, stco) and the samples in mdat dominate.
struct Mp4Generator {
  int64_t sample_count = 300000;
  int samples_per_chunk = 100;

  // Returns false when the file cannot be written.
  bool write(const QString& path) const;
  // Size in bytes of the sample with this 0-based index.
  static uint32_t sampleSize(int64_t index) { return 24 + static_cast<uint32_t>((index * 7919) % 61); }
};
