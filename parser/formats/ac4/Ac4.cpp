#include "formats/ac4/Ac4.h"

#include "codecs/Ac4Frame.h"
#include "codecs/AudioElementaryStream.h"

namespace corvanta {

namespace {

constexpr int kTagOnlyConfidence = 4;

int probe(const uint8_t* head, int64_t head_size, int64_t file_size) {
  return codecs::probeAudioFrames(codecs::ac4FrameKind(), head, head_size, file_size, kTagOnlyConfidence);
}

std::string frame(FieldReader& f, int64_t) {
  return codecs::writeAc4Frame(f);
}

bool parse(ParseContext& ctx) {
  codecs::AudioFrameFunction frames(frame);
  codecs::writeAudioElementaryStream(ctx, 0, codecs::ac4FrameKind(), frames);
  return true;
}

}  // namespace

FormatModule ac4Module() {
  return {QStringLiteral("ac4"), QStringLiteral("AC-4"), {QStringLiteral("ac4")}, probe, parse};
}

}  // namespace corvanta
