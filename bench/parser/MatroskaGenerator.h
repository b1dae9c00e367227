#pragma once

#include <QString>

#include <cstdint>

// Writes a valid Matroska file of many small frames in SimpleBlocks, so that the blocks and
// their frames dominate: a video track (one frame per block, 25 a second) and an Opus track
// (two 20 ms frames per block, Xiph-laced), one Cluster a second with its cue point, and the
// SeekHead, Info and Tracks a muxer writes.
struct MatroskaGenerator {
  int64_t video_frames = 300000;

  // Returns false when the file cannot be written.
  bool write(const QString& path) const;
  // Size in bytes of the video frame with this 0-based index.
  static uint32_t frameSize(int64_t index) { return 24 + static_cast<uint32_t>((index * 7919) % 61); }
  // Frames of both tracks, as the parser counts them.
  int64_t frameCount() const { return video_frames * 3; }
};
