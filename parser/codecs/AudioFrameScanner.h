#pragma once

#include <cstdint>

namespace corvanta::codecs {

// What the scan of a stream of self-delimiting audio frames needs from one codec.
struct AudioFrameKind {
  int header_bytes = 4;  // bytes a header needs to be judged
  // Bytes of the frame whose header is at `header` (header_bytes readable), 0 when no
  // plausible header stands there.
  int64_t (*frameBytes)(const uint8_t* header) = nullptr;
  // True when two headers may belong to one stream (their fixed fields agree).
  bool (*sameStream)(const uint8_t* first, const uint8_t* second) = nullptr;
  // The samples the frame at `header` adds to the stream's time, with the stream's sample rate
  // in `sample_rate`; 0 when the header does not tell (a frame that shares the time of the one
  // before, as a dependent substream). Null when the codec's time is not read.
  int64_t (*samples)(const uint8_t* header, int* sample_rate) = nullptr;
  const char* codec = nullptr;  // short name for the streams table
};

// A frame, or a stretch that no frame explains.
struct AudioFrameStretch {
  int64_t begin = 0;
  int64_t end = 0;  // a frame's computed end; past the range for a frame cut short
  bool garbage = false;
};

// Finds the frames of [begin, end) one after the other. A sync word alone proves little, so a
// header counts where the next frame's header of the same stream stands at the computed
// distance, where the frame ends the range exactly, or where the previous frame's end led to
// it (so a frame whose successor is damaged still counts, and one that the range cuts short is
// kept). Bytes before the next header that counts are one garbage stretch.
class AudioFrameScanner {
 public:
  // `in_chain`: `begin` is where a frame found before ended (a scan resumed at a frame it found).
  AudioFrameScanner(const AudioFrameKind& kind, const uint8_t* data, int64_t begin, int64_t end,
                    bool in_chain = false)
      : kind(kind), data(data), pos(begin), end(end), in_chain(in_chain) {}

  bool next(AudioFrameStretch& out);

  // The first position at or after `from` where a header is confirmed by the next one (or ends
  // the range exactly), or the end of the range.
  int64_t findConfirmed(int64_t from) const;
  // Frames in a chain from `at`, each header at the end of the one before; at most `most`.
  int chainLength(int64_t at, int most) const;

 private:
  int64_t frameBytesAt(int64_t at) const;
  bool confirmedAt(int64_t at) const;

  AudioFrameKind kind;
  const uint8_t* data;
  int64_t pos;
  int64_t end;
  bool in_chain;  // pos is where the previous frame ended
};

}  // namespace corvanta::codecs
