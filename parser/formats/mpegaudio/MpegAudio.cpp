#include "formats/mpegaudio/MpegAudio.h"

#include "ElementWriter.h"
#include "codecs/AudioElementaryStream.h"
#include "codecs/MpegAudioFrame.h"

namespace corvanta {

namespace {

using codecs::mpegAudioFrameKind;

// An ID3v2 tag too large to see past is most often an MP3's.
constexpr int kTagOnlyConfidence = 12;

class MpegAudioFrames : public codecs::AudioFrameDecoder {
 public:
  std::string frame(FieldReader& f, int64_t index) override {
    return codecs::writeMpegAudioFrame(f, index == 0);
  }
  std::unique_ptr<AudioFrameDecoder> clone() const override { return std::make_unique<MpegAudioFrames>(*this); }
};

int probe(const uint8_t* head, int64_t head_size, int64_t file_size) {
  return codecs::probeAudioFrames(mpegAudioFrameKind(), head, head_size, file_size, kTagOnlyConfidence);
}

bool parse(ParseContext& ctx) {
  MpegAudioFrames frames;
  codecs::writeAudioElementaryStream(ctx, 0, mpegAudioFrameKind(), frames);
  return true;
}

}  // namespace

FormatModule mpegAudioModule() {
  return {QStringLiteral("mpegaudio"),
          QStringLiteral("MPEG audio"),
          {QStringLiteral("mp3"), QStringLiteral("mp2"), QStringLiteral("mp1"), QStringLiteral("mpa")},
          probe,
          parse};
}

}  // namespace corvanta
