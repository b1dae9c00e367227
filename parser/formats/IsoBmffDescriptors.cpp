// The MPEG-4 object descriptors inside 'esds': ES_Descriptor, DecoderConfigDescriptor,
// DecoderSpecificInfo (with the AAC AudioSpecificConfig) and SLConfigDescriptor.
#include "ElementWriter.h"
#include "formats/IsoBmffBox.h"
#include "formats/IsoBmffDecoders.h"
#include "formats/IsoBmffFields.h"

namespace corvanta::isobmff::decode {

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

const ValueName kAudioObjectTypes[] = {{1, "AAC Main"}, {2, "AAC LC"}, {3, "AAC SSR"}, {4, "AAC LTP"},
                                       {5, "SBR (HE-AAC)"}, {29, "PS (HE-AAC v2)"}, {23, "ER AAC LD"},
                                       {39, "ER AAC ELD"}, {42, "USAC"}};

const uint32_t kSamplingRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                   22050, 16000, 12000, 11025, 8000,  7350};

std::string named(const char* name) { return name ? name : ""; }

struct DescriptorState {
  uint64_t object_type = 0;
  std::string summary;
};

void descriptors(Fields& f, DescriptorState& state, int depth);

void audioSpecificConfig(Fields& f, DescriptorState& state) {
  uint64_t type = f.uh("audioObjectType", 5, [](uint64_t v) { return named(nameOf(kAudioObjectTypes, v)); });
  if (type == 31) type = 32 + f.u("audioObjectTypeExt", 6);
  const uint64_t index = f.uh("samplingFrequencyIndex", 4, [](uint64_t v) {
    return v < 13 ? numberText(kSamplingRates[v]) + " Hz" : std::string(v == 15 ? "explicit" : "reserved");
  });
  uint64_t rate = index < 13 ? kSamplingRates[index] : 0;
  if (index == 15) rate = f.u("samplingFrequency", 24, "Hz");
  const uint64_t channels = f.u("channelConfiguration", 4);
  if (f.ok()) {
    state.summary = named(nameOf(kAudioObjectTypes, type));
    state.summary += (state.summary.empty() ? "" : ", ") + numberText(channels) + " ch " + numberText(rate) + " Hz";
  }
  f.rest("GASpecificConfig", "remaining bits of the audio configuration");
}

void esDescriptor(Fields& f, DescriptorState& state, int depth) {
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

void decoderConfig(Fields& f, DescriptorState& state, int depth) {
  state.object_type = f.uh("objectTypeIndication", 8, [](uint64_t v) { return named(nameOf(kObjectTypes, v)); });
  f.uh("streamType", 6, [](uint64_t v) { return named(nameOf(kStreamTypes, v)); });
  f.u("upStream", 1);
  f.u("reserved", 1);
  f.u("bufferSizeDB", 24, "bytes");
  f.u("maxBitrate", 32, "bit/s");
  f.u("avgBitrate", 32, "bit/s");
  if (f.ok()) descriptors(f, state, depth + 1);
}

// One descriptor: tag, size in 1 to 4 bytes of 7 bits, body.
void descriptor(Fields& f, DescriptorState& state, int depth) {
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
  Fields inner(w, data, start, body_end);
  inner.u("tag", 8, name ? name : "");
  inner.text("size", int64_t(size_bytes) * 8, numberText(size));
  if (depth < kMaxDescriptorDepth) {
    switch (tag) {
      case 0x03: esDescriptor(inner, state, depth); break;
      case 0x04: decoderConfig(inner, state, depth); break;
      case 0x05:
        if (state.object_type == 0x40) audioSpecificConfig(inner, state);
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

void descriptors(Fields& f, DescriptorState& state, int depth) {
  while (f.ok() && f.bytesLeft() > 0 && (f.bitPos() & 7) == 0) descriptor(f, state, depth);
}

}  // namespace

void esds(BoxScope& b) {
  DescriptorState state;
  descriptors(b.f, state, 0);
  b.summary = "Elementary stream descriptor";
  if (const char* type = nameOf(kObjectTypes, state.object_type)) b.summary += std::string(", ") + type;
  if (!state.summary.empty()) b.summary += ", " + state.summary;
}

}  // namespace corvanta::isobmff::decode
