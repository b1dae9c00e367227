#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace corvanta {

class PackedFrames;

// The timing facts of a file: its streams, every frame's time and size, and the container-level
// faults that need the bytes (tables `streams`, `frames`, `faults` beside the elements).
//
// Modules declare a stream where they learn of it and add one frame per frame they write, taking
// the frame's element id from the element writer's return value. Rows stay in memory, compact,
// until the element writer's finish() writes them in its transaction, after its inserting thread
// has ended, so that the connection is never used from two threads. A disabled writer (that of a
// count-only element writer) drops everything.
class TimingWriter {
 public:
  static constexpr int64_t kUnknown = INT64_MIN;  // a time, duration or id the module does not know
  // At most this many streams; frames of later streams are dropped (a TS has at most 8192 PIDs).
  static constexpr int kMaxStreams = 65535;
  // At most this many fault rows: a hostile file may break every packet.
  static constexpr size_t kMaxFaults = 250000;

  enum class Kind : uint8_t { Video, Audio, Subtitle, Data, Pcr };

  struct Stream {
    Kind kind = Kind::Data;
    std::string codec;               // short display name, empty for none
    int64_t container_id = kUnknown;
    std::string container_id_name;   // "track ID", "PID", ...
    int64_t time_base_num = 0;       // 0/0: no time known
    int64_t time_base_den = 0;
  };

  struct Frame {
    int64_t element_id = 0;
    int64_t byte_offset = 0;
    int64_t size = 0;
    int64_t dts = kUnknown;
    int64_t pts = kUnknown;
    int64_t duration = kUnknown;  // kept if it fits 32 bits signed, otherwise unknown
    int key = -1;                 // 1, 0, -1 unknown
    char picture_type = 0;        // 'I', 'P', 'B' or 0
  };

  explicit TimingWriter(bool enabled = true);
  ~TimingWriter();
  TimingWriter(const TimingWriter&) = delete;
  TimingWriter& operator=(const TimingWriter&) = delete;

  bool enabled() const { return is_enabled; }

  // The picture type letter of a frame decoder's type word: IDR, CRA, BLA, KEY, INTRA_ONLY, I
  // and SI as 'I'; P, SP and INTER as 'P'; B as 'B'; 0 for anything else.
  static char pictureLetter(std::string_view type);

  // Declares a stream; returns its number (1, 2, ...), or 0 when disabled or beyond kMaxStreams.
  int declareStream(const Stream& stream);
  // Sets the codec of a stream declared before it was known; ignored for stream 0.
  void setCodec(int stream, std::string_view codec);
  // Adds a frame of `stream` (dropped for stream 0); returns a handle for setFrameSize, or -1.
  int64_t addFrame(int stream, const Frame& frame);
  // Sets the size of a frame whose end was found later (a PES packet of unspecified length).
  void setFrameSize(int64_t handle, int64_t size);
  // Sets the key flag of a frame known only after it (1, 0, -1 unknown).
  void setFrameKey(int64_t handle, int key);
  // Sets the duration of a frame known only after it.
  void setFrameDuration(int64_t handle, int64_t duration);

  // One fault row. `check_name` is a string literal from the module's fixed list of checks.
  void addFault(int64_t element_id, int stream, const char* check_name, int priority, std::string detail);

  int streamCount() const { return static_cast<int>(streams.size()); }
  int64_t frameCount() const { return frame_count; }
  size_t faultCount() const { return faults.size(); }
  // Moves the frames out, packed, for a frames table served from memory (FrameTable); the
  // writer keeps none.
  std::shared_ptr<const PackedFrames> takePackedFrames();
  // Writes the rows into the tables of `db` (inside the caller's transaction).
  bool write(sqlite3* db, QString* error) const;

 private:
  // 40 bytes: the element id shares its word with the flags, the offset with the stream.
  struct FrameRow {
    uint64_t id_and_flags;    // element id in the low 56 bits
    uint64_t offset_and_stream;  // byte offset in the low 48 bits, stream in the high 16
    int64_t dts;
    int64_t pts;
    int32_t duration;
    uint32_t size;
  };
  struct Fault {
    int64_t element_id;
    int stream;
    int priority;
    const char* check_name;
    std::string detail;
  };
  static constexpr size_t kRowsPerChunk = 8192;

  FrameRow& row(int64_t handle);
  const FrameRow& row(int64_t handle) const;

  bool is_enabled;
  std::vector<Stream> streams;
  // Chunks, not one vector: growing never copies the rows, and never holds twice their memory.
  std::vector<std::unique_ptr<FrameRow[]>> chunks;
  int64_t frame_count = 0;
  std::vector<Fault> faults;

 public:
  // Bytes each frame takes in memory.
  static constexpr size_t kFrameRowBytes = sizeof(FrameRow);
};

}  // namespace corvanta
