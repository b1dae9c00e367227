#include "codecs/Ac3Configuration.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "TextForms.h"

namespace corvanta::codecs {

std::string ac3SampleRateName(uint64_t fscod) {
  static const char* const kRates[] = {"48000 Hz", "44100 Hz", "32000 Hz", "reserved"};
  return kRates[fscod & 3];
}

std::string ac3ChannelModeName(uint64_t acmod) {
  static const char* const kModes[] = {"1+1", "1/0", "2/0", "3/0", "2/1", "3/1", "2/2", "3/2"};
  return kModes[acmod & 7];
}

int ac3BitrateKbps(uint64_t bit_rate_code) {
  static const int kRates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
  return bit_rate_code < 19 ? kRates[bit_rate_code] : 0;
}

std::string ac3SpecificBox(FieldReader& f) {
  f.uh("fscod", 2, ac3SampleRateName);
  f.u("bsid", 5);
  f.u("bsmod", 3);
  const uint64_t acmod = f.uh("acmod", 3, ac3ChannelModeName);
  const uint64_t lfe = f.u("lfeon", 1);
  f.uh("bit_rate_code", 5, [](uint64_t v) {
    return v < 19 ? numberText(uint64_t(ac3BitrateKbps(v))) + " kbit/s" : std::string("reserved");
  });
  f.u("reserved", 5);
  return "AC-3 " + ac3ChannelModeName(acmod) + (lfe ? "+LFE" : "");
}

std::string eac3SpecificBox(FieldReader& f) {
  const uint64_t rate = f.u("data_rate", 13, "kbit/s");
  const uint64_t substreams = f.u("num_ind_sub", 3);
  for (uint64_t i = 0; i <= substreams && f.ok() && f.bitsLeft() >= 23; ++i) {
    const int64_t start = f.bitPos();
    f.writer().openUnit("independent_substream", start, f.bitsLeft(), {}, {}, int64_t(i));
    f.uh("fscod", 2, ac3SampleRateName);
    f.u("bsid", 5);
    f.u("reserved", 1);
    f.u("asvc", 1);
    f.u("bsmod", 3);
    const uint64_t acmod = f.uh("acmod", 3, ac3ChannelModeName);
    const uint64_t lfe = f.u("lfeon", 1);
    f.u("reserved", 3);
    const uint64_t dependent = f.u("num_dep_sub", 4);
    if (dependent > 0) f.u("chan_loc", 9);
    else f.u("reserved", 1);
    f.writer().setUnitValue(ac3ChannelModeName(acmod) + (lfe ? "+LFE" : ""));
    f.writer().closeUnit(f.bitPos() - start);
  }
  return "E-AC-3, " + numberText(rate) + " kbit/s";
}

}  // namespace corvanta::codecs
