#include "formats/mpegps/MpegPs.h"

#include "ElementWriter.h"
#include "FieldReader.h"
#include "FieldUnit.h"
#include "TextForms.h"
#include "TimingWriter.h"
#include "codecs/Mpeg2Video.h"
#include "codecs/PesHeader.h"
#include "formats/mpegps/DvdStreams.h"
#include "formats/mpegps/PsHeaders.h"
#include "formats/mpegps/PsLayout.h"
#include "formats/mpegps/PsTiming.h"
#include "formats/mpegps/PsVideo.h"

#include <algorithm>

namespace corvanta {

namespace {

using namespace mpegps;

constexpr uint8_t kSequenceHeaderCode = 0xB3;
constexpr uint8_t kProgramStreamMap = 0xBC, kPrivateStream1 = 0xBD, kPadding = 0xBE, kPrivateStream2 = 0xBF,
                  kDirectory = 0xFF;
// How far into the file a first pack start code is looked for, past leading junk.
constexpr int64_t kPackSearchBytes = 64 * 1024;

bool sequenceHeaderAt(const uint8_t* head, int64_t head_size) {
  if (head_size < 12 || head[0] != 0 || head[1] != 0 || head[2] != 1 || head[3] != kSequenceHeaderCode) return false;
  const unsigned width = (unsigned(head[4]) << 4) | (head[5] >> 4);
  const unsigned height = ((head[5] & 15u) << 8) | head[6];
  const unsigned aspect = head[7] >> 4, rate = head[7] & 15;
  const bool marker = (head[10] >> 5) & 1;
  return width && height && aspect && aspect < 15 && rate >= 1 && rate <= 8 && marker;
}

// A pack header alone is a four-byte sync and a few marker bits; a second unit where the first one
// ends makes it a program stream.
int probe(const uint8_t* head, int64_t head_size, int64_t) {
  if (!head) return 0;
  const int64_t pack = packHeaderSize(head, head_size, 0);
  if (pack > 0) {
    if (pack + 4 > head_size) return 40;
    const bool next = head[pack] == 0 && head[pack + 1] == 0 && head[pack + 2] == 1 && head[pack + 3] >= 0xB9;
    return next ? 85 : 40;
  }
  if (sequenceHeaderAt(head, head_size)) return 45;
  return 0;
}

std::string packetSummary(const codecs::PesHeaderInfo& info, const std::string& sub_stream) {
  std::string out = codecs::pesHeaderSummary(info);
  if (!sub_stream.empty()) out += ", " + sub_stream;
  return out;
}

class PsWriter {
 public:
  explicit PsWriter(ParseContext& context)
      : ctx(context), w(context.writer), data(context.file.data()), size(context.file.size()) {}

  void write(int64_t first_pack) {
    units = walkProgramStream(data, size, first_pack);
    video.build(data, units);
    for (size_t i = 0; i < units.size(); ++i) {
      const PsUnit& unit = units[i];
      if (unit.kind == PsUnit::Kind::PackHeader) openPack(i);
      if (unit.kind == PsUnit::Kind::ProgramEnd) closePack();
      writeUnit(unit);
      if ((i & 1023) == 0) ctx.progress(unit.end);
    }
    closePack();
    ctx.progress(size);
  }

 private:
  // A pack runs from its header to the next pack header or the program end code.
  void openPack(size_t header) {
    closePack();
    size_t last = header;
    while (last + 1 < units.size() && units[last + 1].kind != PsUnit::Kind::PackHeader &&
           units[last + 1].kind != PsUnit::Kind::ProgramEnd)
      ++last;
    const int64_t begin = units[header].begin;
    w.openUnit("pack", begin * 8, (units[last].end - begin) * 8, {}, {}, pack_count++);
    in_pack = true;
  }

  void closePack() {
    if (!in_pack) return;
    w.closeUnit();
    in_pack = false;
  }

  void writeUnit(const PsUnit& unit) {
    switch (unit.kind) {
      case PsUnit::Kind::Garbage: w.addGarbage(unit.begin * 8, (unit.end - unit.begin) * 8); break;
      case PsUnit::Kind::PackHeader: headerUnit(unit, "pack_header", packHeader, true); break;
      case PsUnit::Kind::SystemHeader: headerUnit(unit, "system_header", systemHeader, false); break;
      case PsUnit::Kind::ProgramEnd:
        w.addField("MPEG_program_end_code", unit.begin * 8, 32, hexText(0x1B9, 8));
        break;
      case PsUnit::Kind::Packet: packet(unit); break;
    }
  }

  void headerUnit(const PsUnit& unit, const char* name, std::string (*fields)(FieldReader&), bool pack) {
    FieldReader f(w, data, unit.begin, unit.end);
    std::string summary;
    {
      FieldUnit header(f, name);
      summary = fields(f);
      if (unit.truncated) summary += ", truncated";
      if (unit.cut) summary += ", header_length runs past the next start code: cut there";
      header.setSummary(summary);
      if (!f.ok()) f.recover();
      f.rest("data", "past the header's fields");
    }
    if (pack) w.setUnitValue(summary);  // the pack is summed up by its header
  }

  void packet(const PsUnit& unit) {
    const std::string name = codecs::streamIdName(unit.code);
    const int64_t id = w.openUnit("PES_packet", unit.begin * 8, (unit.end - unit.begin) * 8, {}, {}, packet_count++);
    FieldReader f(w, data, unit.begin, unit.payload_begin);
    codecs::PesHeaderInfo info;
    {
      FieldUnit header(f, "PES_header");
      info = codecs::pesHeader(f, unit.mpeg1);
      header.setSummary(codecs::pesHeaderSummary(info), info.complete ? std::string() : std::string("cut short"));
    }
    if (f.ok()) f.rest("PES header bytes", "past the header's fields");
    const std::string sub_stream = payload(unit);
    std::string hrf = name;
    if (unit.truncated) hrf += ", truncated";
    if (unit.cut) hrf += ", PES_packet_length runs past the next start code: cut there";
    w.setUnitValue(packetSummary(info, sub_stream), hrf);
    w.closeUnit();
    pes_timing.packet(id, unit, info, data);
  }

  // The payload by stream; returns the name of a DVD sub-stream, if any.
  std::string payload(const PsUnit& unit) {
    if (unit.payload_begin >= unit.end) return {};
    if (PsVideo::isVideo(unit.code)) return video.writePayload(w, unit);
    FieldReader f(w, data, unit.payload_begin, unit.end);
    std::string summary;
    switch (unit.code) {
      case kPrivateStream1: summary = privateStream1Payload(f); break;
      case kPrivateStream2: summary = privateStream2Payload(f); break;
      case kPadding: f.rest("padding_byte"); break;
      case kProgramStreamMap: summary = programStreamMap(f, data + unit.begin, unit.end - unit.begin); break;
      case kDirectory: summary = programStreamDirectory(f); break;
      default: break;
    }
    if (!f.ok()) f.recover();
    f.rest("PES_packet_data_byte");
    return summary;
  }

  ParseContext& ctx;
  ElementWriter& w;
  const uint8_t* data;
  int64_t size;
  std::vector<PsUnit> units;
  PsVideo video;
  PsTiming pes_timing{w.timing()};
  bool in_pack = false;
  int64_t pack_count = 0;
  int64_t packet_count = 0;
};

bool parse(ParseContext& ctx) {
  const uint8_t* data = ctx.file.data();
  const int64_t size = ctx.file.size();
  if (data && sequenceHeaderAt(data, size)) {
    codecs::writeMpegVideoStream(ctx.writer, data, 0, size);
    ctx.progress(size);
    return true;
  }
  const int64_t first_pack = data ? findPackStart(data, std::min(size, kPackSearchBytes), 0) : size;
  if (!data || first_pack >= std::min(size, kPackSearchBytes) || packHeaderSize(data, size, first_pack) == 0) {
    ctx.error = QStringLiteral("no pack start code and no MPEG video sequence header at the start");
    return false;
  }
  PsWriter(ctx).write(first_pack);
  return true;
}

}  // namespace

FormatModule mpegPsModule() {
  return {QStringLiteral("mpegps"),
          QStringLiteral("MPEG-PS"),
          {QStringLiteral("mpg"), QStringLiteral("mpeg"), QStringLiteral("m2p"), QStringLiteral("ps"),
           QStringLiteral("vob"), QStringLiteral("evo"), QStringLiteral("vro"), QStringLiteral("m1v"),
           QStringLiteral("m2v"), QStringLiteral("mpv")},
          probe,
          parse};
}

}  // namespace corvanta
