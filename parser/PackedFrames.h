#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvanta {

// The rows of the frames table of a lazy analysis, packed in memory: each frame's values as
// differences from the frame before it (the time from the last one of its stream), in variable
// length integers. A transport stream's frame takes about a dozen bytes here, against some forty
// as an SQLite row, and a file of tens of millions of frames keeps only this. Read back in order.
class PackedFrames {
 public:
  // What the flags byte of a frame says; the same bits as the timing writer keeps.
  enum Flags : uint8_t {
    kHasDts = 1,
    kHasPts = 2,
    kHasDuration = 4,
    kKeyKnown = 8,
    kKey = 16,
    kPictureShift = 5,  // two bits: 0 none, 1 I, 2 P, 3 B
  };
  struct Row {
    int64_t element_id = 0;
    int stream = 0;
    int64_t byte_offset = 0;
    int64_t size = 0;
    int64_t dts = 0, pts = 0, duration = 0;  // meaningful where the flags say so
    uint8_t flags = 0;
  };

  // "I", "P", "B" or null, as the picture_type column has it.
  static const char* pictureType(uint8_t flags);

  void append(const Row& row);
  int64_t count() const { return frames; }
  int64_t memoryBytes() const;

  // Gives the rows from the first on.
  class Reader {
   public:
    explicit Reader(const PackedFrames& frames);
    // The next row into `row`; false after the last.
    bool next(Row& row);
    // Starts again from the first row.
    void rewind();

   private:
    const PackedFrames& packed;
    size_t chunk = 0, at = 0;
    Row previous;
    std::vector<int64_t> last_dts;  // by stream
  };

 private:
  // A frame takes at most this many bytes packed: the flags and seven integers.
  static constexpr size_t kMostFrameBytes = 1 + 7 * 10;
  static constexpr size_t kChunkBytes = 1 << 20;

  void put(uint64_t value);
  void putDifference(int64_t value, int64_t from);

  // Chunks, so that growing never copies; a frame never spans two.
  std::vector<std::vector<uint8_t>> chunks;
  int64_t frames = 0;
  Row previous;
  std::vector<int64_t> last_dts;
};

}  // namespace corvanta
