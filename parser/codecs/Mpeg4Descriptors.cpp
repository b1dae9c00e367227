// The MPEG-4 object descriptors: ES_Descriptor, DecoderConfigDescriptor, DecoderSpecificInfo
// (with the AAC AudioSpecificConfig) and SLConfigDescriptor.
#include "codecs/Mpeg4Descriptors.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"
#include "ValueName.h"
#include "codecs/AudioSpecificConfig.h"

namespace corvanta::codecs {

namespace {

constexpr int kMaxDescriptorDepth = 8;

const ValueName kDescriptorTags[] = {
    {0x03, "ES_Descriptor"}, {0x04, "DecoderConfigDescriptor"}, {0x05, "DecoderSpecificInfo"},
    {0x06, "SLConfigDescriptor"}, {0x0e, "ES_ID_Inc"}, {0x0f, "ES_ID_Ref"},
};

const ValueName kObjectTypes[] = {
    {0x20, "MPEG-4 Visual"}, {0x21, "H.264 / AVC"}, {0x23, "H.265 / HEVC"}, {0x40, "MPEG-4 Audio (AAC)"},
    {0x60, "MPEG-2 Visual Simple"}, {0x61, "MPEG-2 Visual Main"}, {0x66, "MPEG-2 AAC Main"},
    {0x67, "MPEG-2 AAC LC"}, {0x68, "MPEG-2 AAC SSR"}, {0x69, "MPEG-2 Audio (MP3)"},
    {0x6a, "MPEG-1 Visual"}, {0x6b, "MPEG-1 Audio (MP3)"}, {0x6c, "JPEG"}, {0xa5, "AC-3"},
    {0xa6, "E-AC-3"}, {0xa9, "DTS"}, {0xdd, "Vorbis"}, {0xe1, "QCELP"},
};

const ValueName kStreamTypes[] = {{1, "object descriptor"}, {2, "clock reference"}, {3, "scene description"},
                                  {4, "visual"}, {5, "audio"}, {6, "MPEG-7"}, {32, "private"}};

struct DescriptorState {
  uint64_t object_type = 0;
  std::string summary;
};

void descriptors(FieldReader& f, DescriptorState& state, int depth);

void esDescriptor(FieldReader& f, DescriptorState& state, int depth) {
  f.u("ES_ID", 16);
  const uint64_t depends = f.u("streamDependenceFlag", 1);
  const uint64_t has_url = f.u("URL_Flag", 1);
  const uint64_t has_ocr = f.u("OCRstreamFlag", 1);
  f.u("streamPriority", 5);
  if (depends) f.u("dependsOn_ES_ID", 16);
  if (has_url) {
    const uint64_t length = f.u("URLlength", 8);
    if (f.ok() && int64_t(length) <= f.bytesLeft())
      f.text("URLstring", int64_t(length) * 8,
             std::string(reinterpret_cast<const char*>(f.fileData() + f.bytePos()), size_t(length)));
  }
  if (has_ocr) f.u("OCR_ES_Id", 16);
  if (f.ok()) descriptors(f, state, depth + 1);
}

void decoderConfig(FieldReader& f, DescriptorState& state, int depth) {
  state.object_type = f.uh("objectTypeIndication", 8, [](uint64_t v) { return nameText(kObjectTypes, v); });
  f.uh("streamType", 6, [](uint64_t v) { return nameText(kStreamTypes, v); });
  f.u("upStream", 1);
  f.u("reserved", 1);
  f.u("bufferSizeDB", 24, "bytes");
  f.u("maxBitrate", 32, "bit/s");
  f.u("avgBitrate", 32, "bit/s");
  if (f.ok()) descriptors(f, state, depth + 1);
}

// One descriptor: tag, size in 1 to 4 bytes of 7 bits, body.
void descriptor(FieldReader& f, DescriptorState& state, int depth) {
  const uint8_t* data = f.fileData();
  const int64_t start = f.bytePos();
  const int64_t end = f.endByte();
  const uint64_t tag = data[start];
  uint64_t size = 0;
  int size_bytes = 0;
  while (size_bytes < 4 && start + 1 + size_bytes < end) {
    const uint8_t byte = data[start + 1 + size_bytes];
    ++size_bytes;
    size = (size << 7) | (byte & 0x7f);
    if (!(byte & 0x80)) break;
  }
  if (size_bytes == 0) {
    f.rest("data", "too short for a descriptor");
    return;
  }
  const int64_t body = start + 1 + size_bytes;
  const bool truncated = int64_t(size) > end - body;
  const int64_t body_end = truncated ? end : body + int64_t(size);
  const char* name = nameOf(kDescriptorTags, tag);
  ElementWriter& w = f.writer();
  w.openUnit(name ? name : "descriptor", start * 8, (body_end - start) * 8, name ? name : "Descriptor",
             truncated ? "truncated" : "");
  FieldReader inner(w, data, start, body_end);
  inner.u("tag", 8, name ? name : "");
  inner.text("size", int64_t(size_bytes) * 8, numberText(size));
  if (depth < kMaxDescriptorDepth) {
    switch (tag) {
      case 0x03: esDescriptor(inner, state, depth); break;
      case 0x04: decoderConfig(inner, state, depth); break;
      case 0x05:
        if (state.object_type == 0x40) state.summary = audioSpecificConfig(inner);
        break;
      case 0x06: inner.u("predefined", 8, inner.peek(8) == 2 ? "MP4 file" : ""); break;
      default: break;
    }
  }
  if (!inner.ok()) inner.recover();
  inner.rest("data");
  w.closeUnit();
  f.skipBits((body_end - start) * 8);
}

void descriptors(FieldReader& f, DescriptorState& state, int depth) {
  while (f.ok() && f.bytesLeft() > 0 && (f.bitPos() & 7) == 0) descriptor(f, state, depth);
}

}  // namespace

std::string mpeg4Descriptors(FieldReader& f) {
  DescriptorState state;
  descriptors(f, state, 0);
  std::string summary = "Elementary stream descriptor";
  if (const char* type = nameOf(kObjectTypes, state.object_type)) summary += std::string(", ") + type;
  if (!state.summary.empty()) summary += ", " + state.summary;
  return summary;
}

}  // namespace corvanta::codecs
