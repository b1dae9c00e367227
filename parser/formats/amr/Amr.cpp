#include "formats/amr/Amr.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "codecs/AmrFrame.h"
#include "codecs/AudioElementaryStream.h"

#include <cstring>

namespace corvanta {

namespace {

struct Magic {
  const char* text;
  bool wideband;
  bool multichannel;
};

const Magic kMagics[] = {
    {"#!AMR\n", false, false},
    {"#!AMR-WB\n", true, false},
    {"#!AMR_MC1.0\n", false, true},
    {"#!AMR-WB_MC1.0\n", true, true},
};

const Magic* magicOf(const uint8_t* data, int64_t size) {
  for (const Magic& magic : kMagics) {
    const int64_t length = int64_t(std::strlen(magic.text));
    if (size >= length && std::memcmp(data, magic.text, size_t(length)) == 0) return &magic;
  }
  return nullptr;
}

int probe(const uint8_t* head, int64_t head_size, int64_t) {
  return magicOf(head, head_size) ? 90 : 0;
}

// Frames of a multi-channel file come one per channel in turn.
class AmrFrames : public codecs::AudioFrameDecoder {
 public:
  AmrFrames(bool wideband, uint64_t channels) : wideband(wideband), channels(channels) {}
  std::string frame(FieldReader& f, int64_t index) override {
    const std::string summary = codecs::writeAmrFrame(f, wideband);
    if (channels <= 1) return summary;
    return "channel " + numberText(uint64_t(index) % channels) + ", " + summary;
  }
  std::unique_ptr<AudioFrameDecoder> clone() const override { return std::make_unique<AmrFrames>(*this); }

 private:
  bool wideband;
  uint64_t channels;
};

bool parse(ParseContext& ctx) {
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  const Magic* magic = magicOf(data, size);
  if (!magic) {
    ctx.error = QStringLiteral("no AMR magic number");
    return false;
  }
  int64_t frames_begin = int64_t(std::strlen(magic->text));
  uint64_t channels = 1;
  {
    FieldReader f(ctx.writer, data, 0, std::min<int64_t>(size, frames_begin + (magic->multichannel ? 4 : 0)));
    FieldUnit header(f, "file_header");
    f.fixedString("magic", frames_begin, TextEncoding::Latin1);
    if (magic->multichannel) {
      f.u("reserved", 28);
      channels = f.u("chan", 4, "channels");
    }
    header.setSummary(magic->wideband ? "AMR-WB" : "AMR", magic->multichannel ? numberText(channels) + " channels" : "");
    // Frames start after what the header could hold: a channel description cut short by the
    // end of the file is left to the frames' walk, which shows it as GARBAGE.
    frames_begin = f.bytePos();
  }
  AmrFrames frames(magic->wideband, channels);
  codecs::writeAudioElementaryStream(ctx, frames_begin,
                                     magic->wideband ? codecs::amrWbFrameKind() : codecs::amrFrameKind(), frames);
  return true;
}

}  // namespace

FormatModule amrModule() {
  return {QStringLiteral("amr"),
          QStringLiteral("AMR"),
          {QStringLiteral("amr"), QStringLiteral("awb"), QStringLiteral("3ga")},
          probe,
          parse};
}

}  // namespace corvanta
