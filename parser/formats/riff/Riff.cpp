#include "formats/riff/Riff.h"

#include "ByteOrder.h"
#include "TextForms.h"
#include "formats/riff/RiffWalk.h"

namespace corvanta {

namespace {

// Whatever the form, a module's parse walks the chunks it finds; the probes choose.
constexpr int kSure = 95, kForm = 60, kUnknownForm = 5;

bool isRiff(uint32_t id) { return id == fourCC("RIFF") || id == fourCC("RF64") || id == fourCC("BW64"); }

// The confidence for a file whose container id passes `container` and whose form type is one
// of `forms`: sure when the first chunk inside looks like a chunk too.
int probeForm(const uint8_t* head, int64_t head_size, bool (*container)(uint32_t),
              std::initializer_list<uint32_t> forms) {
  if (head_size < 12 || !container(loadBe32(head))) return 0;
  const uint32_t form = loadBe32(head + 8);
  bool known = false;
  for (uint32_t candidate : forms) known = known || candidate == form;
  if (!known) return isPrintableFourCC(form) ? kUnknownForm : 0;
  return head_size < 16 || isPrintableFourCC(loadBe32(head + 12)) ? kSure : kForm;
}

int probeAvi(const uint8_t* head, int64_t head_size, int64_t) {
  return probeForm(head, head_size, [](uint32_t id) { return id == fourCC("RIFF"); }, {fourCC("AVI "), fourCC("AVIX")});
}
int probeWave(const uint8_t* head, int64_t head_size, int64_t) {
  return probeForm(head, head_size, isRiff, {fourCC("WAVE")});
}
int probeWebp(const uint8_t* head, int64_t head_size, int64_t) {
  return probeForm(head, head_size, [](uint32_t id) { return id == fourCC("RIFF"); }, {fourCC("WEBP")});
}
int probeAiff(const uint8_t* head, int64_t head_size, int64_t) {
  return probeForm(head, head_size, [](uint32_t id) { return id == fourCC("FORM"); }, {fourCC("AIFF"), fourCC("AIFC")});
}

bool parse(ParseContext& ctx) {
  const uint8_t* data = ctx.file.data();
  if (ctx.file.size() < 12 || !(isRiff(loadBe32(data)) || loadBe32(data) == fourCC("FORM"))) {
    ctx.error = QStringLiteral("no RIFF, RF64, BW64 or FORM header");
    return false;
  }
  riff::RiffWalk(ctx).walkFile();
  return true;
}

}  // namespace

FormatModule aviModule() {
  return {QStringLiteral("riff.avi"), QStringLiteral("AVI"), {QStringLiteral("avi"), QStringLiteral("divx")}, probeAvi, parse};
}

FormatModule waveModule() {
  return {QStringLiteral("riff.wave"), QStringLiteral("WAVE"),
          {QStringLiteral("wav"), QStringLiteral("wave"), QStringLiteral("rf64"), QStringLiteral("bw64")}, probeWave, parse};
}

FormatModule webpModule() {
  return {QStringLiteral("riff.webp"), QStringLiteral("WebP"), {QStringLiteral("webp")}, probeWebp, parse};
}

FormatModule aiffModule() {
  return {QStringLiteral("riff.aiff"), QStringLiteral("AIFF"),
          {QStringLiteral("aif"), QStringLiteral("aiff"), QStringLiteral("aifc")}, probeAiff, parse};
}

}  // namespace corvanta
