#pragma once

#include "codecs/AudioFrameScanner.h"

#include <cstdint>
#include <memory>
#include <string>

namespace corvanta {
class FieldReader;
struct ParseContext;
}  // namespace corvanta

namespace corvanta::codecs {

// Decodes one frame of an elementary stream: the frame's unit is open and `f` covers its bytes
// in the file (fewer than the frame's size when the file cuts it short). Returns the frame's
// summary. A decoder may carry what it learnt from earlier frames (the stream's first frame
// holds an info header, dependent substreams follow their independent one).
class AudioFrameDecoder {
 public:
  virtual ~AudioFrameDecoder() = default;
  virtual std::string frame(FieldReader& f, int64_t index) = 0;
  // A decoder with the same settings, for decoding frames again on the lazy path.
  virtual std::unique_ptr<AudioFrameDecoder> clone() const = 0;
};

// A decoder for frames that need nothing from the frames before them (or only whether they are
// the stream's first).
class AudioFrameFunction : public AudioFrameDecoder {
 public:
  using Write = std::string (*)(FieldReader& f, int64_t index);
  explicit AudioFrameFunction(Write write) : write(write) {}
  std::string frame(FieldReader& f, int64_t index) override { return write(f, index); }
  std::unique_ptr<AudioFrameDecoder> clone() const override { return std::make_unique<AudioFrameFunction>(*this); }

 private:
  Write write;
};

// A file of audio frames from `frames_begin` on (after a magic number the module wrote): the
// tags before and after the frames, every frame as a unit "frame" numbered from 0, and GARBAGE
// for bytes that neither explains. On the lazy path every frame is a lazy unit, and the context
// is left what decodes one again.
void writeAudioElementaryStream(ParseContext& ctx, int64_t frames_begin, const AudioFrameKind& kind,
                                const AudioFrameDecoder& decoder);

// The probe of an elementary stream: the confidence that the head holds frames of `kind`
// (after leading ID3v2 tags), low since a sync word is weak evidence; 0 when none.
// `tag_only` is given when the head holds nothing but the start of an ID3v2 tag too large to
// see past.
int probeAudioFrames(const AudioFrameKind& kind, const uint8_t* head, int64_t head_size, int64_t file_size,
                     int tag_only);

}  // namespace corvanta::codecs
