#include "formats/dts/Dts.h"

#include "codecs/AudioElementaryStream.h"
#include "codecs/DtsFrame.h"

namespace corvanta {

namespace {

constexpr int kTagOnlyConfidence = 4;

int probe(const uint8_t* head, int64_t head_size, int64_t file_size) {
  return codecs::probeAudioFrames(codecs::dtsFrameKind(), head, head_size, file_size, kTagOnlyConfidence);
}

std::string frame(FieldReader& f, int64_t) {
  return codecs::writeDtsFrame(f);
}

bool parse(ParseContext& ctx) {
  codecs::AudioFrameFunction frames(frame);
  codecs::writeAudioElementaryStream(ctx, 0, codecs::dtsFrameKind(), frames);
  return true;
}

}  // namespace

FormatModule dtsModule() {
  return {QStringLiteral("dts"), QStringLiteral("DTS"), {QStringLiteral("dts")}, probe, parse};
}

}  // namespace corvanta
