#include "formats/rawvideo/RawVideo.h"

#include "ByteOrder.h"
#include "codecs/AnnexB.h"
#include "formats/rawvideo/RawVideoWalks.h"

namespace corvanta {

namespace {

using codecs::AnnexBNalUnit;

// A start code and a first parameter set that make sense: chance is unlikely, but every
// container beats it.
constexpr int kConfirmedConfidence = 25;
// The first unit fits but the head ends before a second one could be checked.
constexpr int kLoneUnitConfidence = 10;

constexpr uint8_t kH264Sps = 7, kH264Aud = 9;
constexpr int kHevcVps = 32, kHevcAud = 35;
constexpr int kObuSequenceHeader = 1, kObuTemporalDelimiter = 2;
constexpr int64_t kIvfHeaderBytes = 32;

int h264Type(uint8_t header) { return header & 0x1F; }
int hevcType(uint8_t header) { return (header >> 1) & 0x3F; }

bool knownH264Profile(uint8_t profile_idc) {
  static const uint8_t kProfiles[] = {44, 66, 77, 83, 86, 88, 100, 110, 118, 122, 128, 134, 135, 138, 139, 244};
  for (uint8_t known : kProfiles)
    if (known == profile_idc) return true;
  return false;
}

// The first NAL unit of the head, which must start it (after leading zero bytes), and the one
// after it (begin == 0 when the head ends first).
bool firstUnits(const uint8_t* head, int64_t head_size, AnnexBNalUnit& first, AnnexBNalUnit& second) {
  int64_t zeros = 0;
  while (zeros < head_size && head[zeros] == 0) ++zeros;
  if (zeros < 2 || zeros >= head_size || head[zeros] != 1) return false;
  if (!codecs::nextAnnexBNalUnit(head, 0, head_size, first) || first.end <= first.begin) return false;
  second = {};
  if (first.next >= head_size || !codecs::nextAnnexBNalUnit(head, first.next, head_size, second)) second.begin = 0;
  return true;
}

// The unit that names the stream (SPS or VPS), maybe after an access unit delimiter.
int confidenceOf(bool named, const AnnexBNalUnit& after, bool after_plausible) {
  if (!named) return 0;
  if (after.begin == 0) return kLoneUnitConfidence;
  return after_plausible ? kConfirmedConfidence : 0;
}

int probeH264(const uint8_t* head, int64_t head_size, int64_t) {
  AnnexBNalUnit first, second;
  if (!head || !firstUnits(head, head_size, first, second)) return 0;
  AnnexBNalUnit sps = first, after = second;
  if (h264Type(head[first.begin]) == kH264Aud && second.begin != 0 && head[first.begin] < 0x80) {
    sps = second;
    if (sps.next >= head_size || !codecs::nextAnnexBNalUnit(head, sps.next, head_size, after)) after.begin = 0;
  }
  const uint8_t header = head[sps.begin];
  const bool named = sps.begin != 0 && sps.end - sps.begin >= 4 && !(header & 0x80) && h264Type(header) == kH264Sps &&
                     knownH264Profile(head[sps.begin + 1]);
  return confidenceOf(named, after, after.begin != 0 && after.end > after.begin &&
                                        codecs::plausibleH264NalHeader(head[after.begin]));
}

bool isHevcVps(const uint8_t* head, const AnnexBNalUnit& unit) {
  if (unit.begin == 0 || unit.end - unit.begin < 6) return false;
  const uint8_t* nal = head + unit.begin;
  // vps_reserved_0xffff_16bits follows the 16 bits after the NAL unit header.
  return !(nal[0] & 0x80) && hevcType(nal[0]) == kHevcVps && (nal[1] & 7) != 0 && nal[4] == 0xFF && nal[5] == 0xFF;
}

int probeHevc(const uint8_t* head, int64_t head_size, int64_t) {
  AnnexBNalUnit first, second;
  if (!head || !firstUnits(head, head_size, first, second)) return 0;
  AnnexBNalUnit vps = first, after = second;
  if (hevcType(head[first.begin]) == kHevcAud && !(head[first.begin] & 0x80) && second.begin != 0) {
    vps = second;
    if (vps.next >= head_size || !codecs::nextAnnexBNalUnit(head, vps.next, head_size, after)) after.begin = 0;
  }
  const bool plausible = after.begin != 0 && after.end - after.begin >= 2 &&
                         codecs::plausibleHevcNalHeader(head[after.begin], head[after.begin + 1]);
  return confidenceOf(isHevcVps(head, vps), after, plausible);
}

// An OBU header byte: obu_forbidden_bit and obu_reserved_1bit clear, obu_has_size_field set (a
// low-overhead stream needs it).
bool sizedObuHeader(uint8_t byte, int type) {
  return (byte & 0x83) == 0x02 && ((byte >> 3) & 15) == type;
}

// A temporal delimiter (empty) and then a sequence header whose seq_profile is at most 2, or
// the sequence header alone.
int probeAv1(const uint8_t* head, int64_t head_size, int64_t) {
  if (!head || head_size < 4) return 0;
  int64_t at = 0;
  if (sizedObuHeader(head[0], kObuTemporalDelimiter)) {
    const int64_t extension = (head[0] >> 2) & 1;
    if (head[1 + extension] != 0) return 0;
    at = 2 + extension;
  }
  if (at + 3 > head_size || !sizedObuHeader(head[at], kObuSequenceHeader)) return 0;
  const int64_t extension = (head[at] >> 2) & 1;
  const int64_t size_at = at + 1 + extension;
  if (size_at + 2 > head_size || (head[size_at] & 0x80) || head[size_at] < 3) return 0;
  const int seq_profile = head[size_at + 1] >> 5;
  return seq_profile <= 2 ? kConfirmedConfidence : 0;
}

// "DKIF", version 0 and a header of at least 32 bytes.
int probeIvf(const uint8_t* head, int64_t head_size, int64_t) {
  if (!head || head_size < 8 || head[0] != 'D' || head[1] != 'K' || head[2] != 'I' || head[3] != 'F') return 0;
  if (loadLe16(head + 4) != 0 || loadLe16(head + 6) < kIvfHeaderBytes) return 0;
  return 80;
}

bool parseH264(ParseContext& ctx) {
  rawvideo::writeAnnexBFile(ctx, false);
  return true;
}

bool parseHevc(ParseContext& ctx) {
  rawvideo::writeAnnexBFile(ctx, true);
  return true;
}

bool parseAv1(ParseContext& ctx) {
  rawvideo::writeObuFile(ctx);
  return true;
}

bool parseIvf(ParseContext& ctx) {
  rawvideo::writeIvfFile(ctx);
  return true;
}

}  // namespace

FormatModule rawH264Module() {
  return {QStringLiteral("rawvideo.h264"), QStringLiteral("H.264"),
          {QStringLiteral("h264"), QStringLiteral("264"), QStringLiteral("avc"), QStringLiteral("jsv")},
          probeH264, parseH264};
}

FormatModule rawHevcModule() {
  return {QStringLiteral("rawvideo.hevc"), QStringLiteral("HEVC"),
          {QStringLiteral("h265"), QStringLiteral("265"), QStringLiteral("hevc")}, probeHevc, parseHevc};
}

FormatModule rawAv1Module() {
  return {QStringLiteral("rawvideo.av1"), QStringLiteral("AV1"), {QStringLiteral("obu")}, probeAv1, parseAv1};
}

FormatModule ivfModule() {
  return {QStringLiteral("rawvideo.ivf"), QStringLiteral("IVF"), {QStringLiteral("ivf")}, probeIvf, parseIvf};
}

}  // namespace corvanta
