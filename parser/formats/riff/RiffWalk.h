#pragma once

#include "FormatModule.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvanta {
class ElementWriter;
class FieldReader;
}  // namespace corvanta

namespace corvanta::riff {

// One chunk as the walk met it. Offsets are bytes from the start of the file.
struct Chunk {
  uint32_t id = 0;
  int64_t begin = 0;         // the chunk id
  int64_t data_begin = 0;    // the payload, after id and size
  int64_t data_end = 0;      // the payload's end, clamped to the parent and the file
  uint64_t declared = 0;     // payload size as declared (or as ds64 gives it)
  uint32_t parent_type = 0;  // form or list type of the enclosing RIFF, FORM or LIST
  int depth = 0;
};

// What one AVI stream's headers said, for the chunks that come after them.
struct AviStream {
  uint32_t type = 0;  // fccType of strh: 'vids', 'auds', 'txts', ...
  uint32_t handler = 0;
  uint32_t compression = 0;  // biCompression or wFormatTag from strf
  int64_t frames_seen = 0;
  // The timing facts: one tick is scale/rate seconds; a stream of fixed-size samples counts
  // its time in samples (bytes / sample_size), any other in chunks.
  uint64_t scale = 0, rate = 0, sample_size = 0;
  int64_t bytes_seen = 0;
  int timing_stream = 0;  // 0 before its first frame
};

// What earlier chunks told about later ones, carried forward by the walk.
struct RiffState {
  // RF64/BW64: the 64-bit sizes of ds64 for chunks whose 32-bit size is 0xFFFFFFFF.
  std::unordered_map<uint32_t, uint64_t> ds64_sizes;
  // WAVE and AIFF: the sample format, for the data summaries.
  uint64_t format_tag = 0, channels = 0, block_align = 0, sample_rate = 0, bits_per_sample = 0;
  uint64_t aiff_frames = 0;
  bool aiff_compressed = false;
  // AVI: streams in the order of their strl lists, and the index's key-frame verdicts by the
  // file offset of the chunk they name.
  std::vector<AviStream> streams;
  std::unordered_map<int64_t, bool> key_frames;
  int64_t idx1_base = 0;  // what idx1 offsets count from: the first movi list type, or 0 (absolute)
  int64_t frames_written = 0;
};

class RiffWalk;

// Decodes one chunk's payload through `f` (a reader over exactly the payload) and returns the
// chunk's summary.
using ChunkDecoder = std::string (*)(RiffWalk& walk, const Chunk& chunk, FieldReader& f);

// One kind of chunk: its id, where it belongs (a form or list type; 0 = anywhere), what it is
// and how its payload reads (null: one opaque field).
struct ChunkKind {
  uint32_t id;
  uint32_t parent;
  const char* description;
  ChunkDecoder decode;
};

// Walks the chunks of a RIFF, RF64/BW64 or IFF file (little- or big-endian sizes), writing
// every chunk as a unit with its id, size, payload and pad byte. Lists and forms are walked
// into; bytes that hold no plausible chunk become GARBAGE up to the next plausible chunk id.
class RiffWalk {
 public:
  explicit RiffWalk(ParseContext& context);

  void walkFile();

  ElementWriter& writer() { return w; }
  const uint8_t* data() const { return bytes; }
  int64_t size() const { return file_size; }
  bool bigEndian() const { return big_endian; }
  uint32_t formType() const { return form_type; }
  RiffState state;

  // Walks the chunks in [begin, end) as children of the open unit.
  void walkChunks(int64_t begin, int64_t end, uint32_t parent_type, int depth);

  static constexpr int kMaxDepth = 12;

 private:
  // Writes the chunk at `pos` (its header known to fit before `end`); returns where the next
  // one starts.
  int64_t chunk(int64_t pos, int64_t end, uint32_t parent_type, int depth);
  void header(FieldReader& f, const Chunk& c);
  std::string payload(const Chunk& c, FieldReader& f);
  bool padByte(const Chunk& c, int64_t end) const;
  bool plausibleAt(int64_t pos, int64_t end) const;
  int64_t nextPlausible(int64_t from, int64_t end) const;
  uint32_t size32(int64_t pos) const;
  uint64_t payloadSize(uint32_t id, uint32_t stored) const;

  ParseContext& ctx;
  ElementWriter& w;
  const uint8_t* bytes;
  int64_t file_size;
  bool big_endian = false;
  uint32_t form_type = 0;
  int64_t chunks_written = 0;
};

// The chunk kinds of each form, looked up with the enclosing list type in hand.
const ChunkKind* findChunkKind(uint32_t id, uint32_t parent_type, uint32_t form_type);

}  // namespace corvanta::riff
