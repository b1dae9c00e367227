#include "formats/adts/Adts.h"

#include "codecs/AdtsFrame.h"
#include "codecs/AudioElementaryStream.h"

namespace corvanta {

namespace {

// An ID3v2 tag too large to see past: more often an MP3's, which gets a higher value.
constexpr int kTagOnlyConfidence = 6;

int probe(const uint8_t* head, int64_t head_size, int64_t file_size) {
  return codecs::probeAudioFrames(codecs::adtsFrameKind(), head, head_size, file_size, kTagOnlyConfidence);
}

std::string frame(FieldReader& f, int64_t) {
  return codecs::writeAdtsFrame(f);
}

bool parse(ParseContext& ctx) {
  codecs::AudioFrameFunction frames(frame);
  codecs::writeAudioElementaryStream(ctx, 0, codecs::adtsFrameKind(), frames);
  return true;
}

}  // namespace

FormatModule adtsModule() {
  return {QStringLiteral("adts"), QStringLiteral("ADTS"), {QStringLiteral("aac"), QStringLiteral("adts")}, probe, parse};
}

}  // namespace corvanta
