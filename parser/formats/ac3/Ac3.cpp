#include "formats/ac3/Ac3.h"

#include "codecs/Ac3Frame.h"
#include "codecs/AudioElementaryStream.h"

namespace corvanta {

namespace {

constexpr int kTagOnlyConfidence = 4;

int probe(const uint8_t* head, int64_t head_size, int64_t file_size) {
  return codecs::probeAudioFrames(codecs::ac3FrameKind(), head, head_size, file_size, kTagOnlyConfidence);
}

std::string frame(FieldReader& f, int64_t) {
  return codecs::writeAc3Frame(f);
}

bool parse(ParseContext& ctx) {
  codecs::AudioFrameFunction frames(frame);
  codecs::writeAudioElementaryStream(ctx, 0, codecs::ac3FrameKind(), frames);
  return true;
}

}  // namespace

FormatModule ac3Module() {
  return {QStringLiteral("ac3"),
          QStringLiteral("AC-3"),
          {QStringLiteral("ac3"), QStringLiteral("ec3"), QStringLiteral("eac3")},
          probe,
          parse};
}

}  // namespace corvanta
