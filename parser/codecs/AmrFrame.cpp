#include "codecs/AmrFrame.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"

namespace corvanta::codecs {

namespace {

// Per frame type: bytes after the header byte (-1: not allowed in a file) and the mode's name.
struct FrameType {
  int bytes;
  const char* mode;
};

const FrameType kNarrowband[16] = {
    {12, "AMR 4.75 kbit/s"}, {13, "AMR 5.15 kbit/s"}, {15, "AMR 5.90 kbit/s"}, {17, "AMR 6.70 kbit/s"},
    {19, "AMR 7.40 kbit/s"}, {20, "AMR 7.95 kbit/s"}, {26, "AMR 10.2 kbit/s"}, {31, "AMR 12.2 kbit/s"},
    {5, "comfort noise (SID)"}, {5, "GSM-EFR comfort noise"}, {5, "TDMA-EFR comfort noise"}, {5, "PDC-EFR comfort noise"},
    {-1, "reserved"}, {-1, "reserved"}, {-1, "reserved"}, {0, "no data"},
};

const FrameType kWideband[16] = {
    {17, "AMR-WB 6.60 kbit/s"},  {23, "AMR-WB 8.85 kbit/s"},  {32, "AMR-WB 12.65 kbit/s"}, {36, "AMR-WB 14.25 kbit/s"},
    {40, "AMR-WB 15.85 kbit/s"}, {46, "AMR-WB 18.25 kbit/s"}, {50, "AMR-WB 19.85 kbit/s"}, {58, "AMR-WB 23.05 kbit/s"},
    {60, "AMR-WB 23.85 kbit/s"}, {5, "comfort noise (SID)"}, {-1, "reserved"},          {-1, "reserved"},
    {-1, "reserved"},            {-1, "reserved"},            {0, "speech lost"},         {0, "no data"},
};

const FrameType& typeOf(unsigned header_byte, bool wideband) {
  const unsigned frame_type = (header_byte >> 3) & 0xF;
  return wideband ? kWideband[frame_type] : kNarrowband[frame_type];
}

int64_t frameBytes(const uint8_t* p, bool wideband) {
  if (p[0] & 0x83) return 0;  // the padding bits are zero
  const int bytes = typeOf(p[0], wideband).bytes;
  return bytes < 0 ? 0 : bytes + 1;
}

int64_t narrowbandBytes(const uint8_t* p) {
  return frameBytes(p, false);
}

int64_t widebandBytes(const uint8_t* p) {
  return frameBytes(p, true);
}

bool anyFrame(const uint8_t*, const uint8_t*) {
  return true;
}

}  // namespace

namespace {

// 20 ms frames: 160 samples at 8 kHz, 320 at 16 kHz.
int64_t narrowbandSamples(const uint8_t*, int* sample_rate) {
  *sample_rate = 8000;
  return 160;
}

int64_t widebandSamples(const uint8_t*, int* sample_rate) {
  *sample_rate = 16000;
  return 320;
}

}  // namespace

const AudioFrameKind& amrFrameKind() {
  static const AudioFrameKind kind{1, narrowbandBytes, anyFrame, narrowbandSamples, "AMR"};
  return kind;
}

const AudioFrameKind& amrWbFrameKind() {
  static const AudioFrameKind kind{1, widebandBytes, anyFrame, widebandSamples, "AMR-WB"};
  return kind;
}

std::string writeAmrFrame(FieldReader& f, bool wideband) {
  if (!f.has(8)) return {};
  const FrameType& type = typeOf(unsigned(f.peek(8)), wideband);
  {
    FieldUnit unit(f, "frame_header");
    f.u("P", 1, "padding");
    f.u("FT", 4, type.mode);
    f.u("Q", 1, f.has(1) && f.peek(1) ? "good" : "damaged");
    f.u("P", 2, "padding");
  }
  const int64_t bytes = f.bytesLeft();
  f.rest("speech_bits");
  return std::string(type.mode) + ", " + numberText(uint64_t(bytes + 1)) + " bytes";
}

}  // namespace corvanta::codecs
