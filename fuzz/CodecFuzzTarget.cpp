// The entry function of one codec fuzz target: a video stream handed to the codec's frame
// decoder as a container hands it, without the container. Compiled once per line of
// codec-targets.txt, with CORVANTA_FUZZ_CODEC set to the target's id and
// CORVANTA_FUZZ_CODEC_RECORD to the configuration record type that chooses the decoder.
//
// The input (fuzz/make-codec-seeds.py writes the seeds so):
//   2 bytes, big-endian: the length R of the configuration record (0: none);
//   R bytes: the record (avcC, hvcC, av1C, vpcC, or MPEG-1/2 sequence headers);
//   then frames, each 2 bytes of length L, big-endian, and L bytes.
// A length that runs past the input is cut to what is left, as a container clamps a sample.
#include "ElementWriter.h"
#include "FieldReader.h"
#include "FuzzAnalysis.h"
#include "codecs/VideoFrameDecoder.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int64_t kLengthBytes = 2;

// One length-prefixed part at `pos` as a unit of its own; returns the position after it.
int64_t writePart(corvanta::ElementWriter& w, const uint8_t* data, int64_t size, int64_t pos, int64_t seq,
                  bool record, corvanta::codecs::VideoFrameDecoder& decoder) {
  const int64_t length = std::min<int64_t>((int64_t(data[pos]) << 8) | data[pos + 1], size - pos - kLengthBytes);
  const int64_t begin = pos + kLengthBytes, end = begin + length;
  w.openUnit(record ? "record" : "frame", pos * 8, (end - pos) * 8, {}, {}, seq);
  w.addField("length", pos * 8, kLengthBytes * 8, std::to_string(length));
  corvanta::FieldReader f(w, data, begin, end);
  std::string summary;
  if (record) {
    summary = decoder.configuration(f);
  } else {
    corvanta::codecs::FramePicture picture;
    summary = decoder.frame(f, picture);
  }
  w.setUnitValue(summary);
  w.closeUnit();
  return end;
}

void decodeStream(corvanta::ElementWriter& w, const uint8_t* data, int64_t size) {
  std::unique_ptr<corvanta::codecs::VideoFrameDecoder> decoder =
      corvanta::codecs::VideoFrameDecoder::forRecord(CORVANTA_FUZZ_CODEC_RECORD);
  if (!decoder) {
    std::fprintf(stderr, "no frame decoder for the record type \"%s\"\n", CORVANTA_FUZZ_CODEC_RECORD);
    std::abort();
  }
  int64_t pos = 0;
  for (int64_t seq = 0; pos + kLengthBytes <= size; ++seq) pos = writePart(w, data, size, pos, seq, seq == 0, *decoder);
  if (pos < size) w.addGarbage(pos * 8, (size - pos) * 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvanta::fuzz::writeAndCheck(size, QStringLiteral(CORVANTA_FUZZ_CODEC),
                                [&](corvanta::ElementWriter& w) { decodeStream(w, data, int64_t(size)); });
  return 0;
}
