// The parameter sets of the configuration records in real files, checked against two witnesses
// made by tests/data/isobmff/make-test-files.sh: ffmpeg's trace_headers reading of the same
// record (every field's position, length and value) and ffprobe's stream report (profile,
// level, sizes, chroma format, bit depth, frame rate, colour).
#include "CodecTestSupport.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <map>
#include <set>

using namespace codectest;

namespace {

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One field as the trace shows it: position in the unit's RBSP, name with its indices, bits.
struct TracedField {
  qint64 position = 0;
  QString name;      // without indices
  qint64 index = -1;  // the last index, when the name has any
  qint64 length = 0;
  qint64 value = 0;
};

// The trace's fields, one list per NAL unit or OBU. Lines without bits are values ffmpeg
// derives; after LEB128 bytes such a line names them (obu_size, metadata_type), otherwise it
// is left out.
std::vector<std::vector<TracedField>> tracedUnits(const QString& path) {
  static const QRegularExpression line(QStringLiteral("^(\\d+)\\s+(\\S+)\\s+([01]+)\\s+=\\s+(-?\\d+)\\s*$"));
  static const QRegularExpression derived(QStringLiteral("^(\\d+)\\s+(\\S+)\\s+=\\s+(-?\\d+)\\s*$"));
  static const QRegularExpression indices(QStringLiteral("\\[(\\d+)\\]"));
  std::vector<std::vector<TracedField>> units;
  for (const QByteArray& raw : readAll(path).split('\n')) {
    const QRegularExpressionMatch d = derived.match(QString::fromLatin1(raw));
    if (d.hasMatch() && !units.empty()) {
      for (auto it = units.back().rbegin(); it != units.back().rend() && it->name == QLatin1String("leb128_byte"); ++it)
        it->name = d.captured(2);
      continue;
    }
    const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw));
    if (!m.hasMatch()) continue;
    TracedField field;
    field.position = m.captured(1).toLongLong();
    QString name = m.captured(2);
    QRegularExpressionMatchIterator it = indices.globalMatch(name);
    while (it.hasNext()) field.index = it.next().captured(1).toLongLong();
    field.name = name.left(name.indexOf(QLatin1Char('[')) < 0 ? name.size() : name.indexOf(QLatin1Char('[')));
    field.length = m.captured(3).size();
    field.value = m.captured(4).toLongLong();
    if (field.position == 0 || units.empty()) units.emplace_back();
    units.back().push_back(field);
  }
  return units;
}

// Where the trace names a field differently, or shows as several fields what the parser shows
// as one (the 32 compatibility flags, reserved bits read in pieces, the codes of a scaling
// list, the alignment bits) or leaves undecoded (the payload of an SEI).
const std::map<QString, QString> kTraceNames = {
    {"gaps_in_frame_num_allowed_flag", "gaps_in_frame_num_value_allowed_flag"},
    {"rbsp_alignment_zero_bit", "rbsp_alignment_zero_bits"},
    {"trailing_zero_bit", "trailing_zero_bits"},
    {"general_profile_compatibility_flag", "general_profile_compatibility_flags"},
    {"delta_scale", "scaling_list"},
    {"delta_q_y_dc.delta_coded", "delta_coded"},
    {"delta_q_uv_dc.delta_coded", "delta_coded"},
    {"delta_q_uv_ac.delta_coded", "delta_coded"},
    {"delta_q_y_dc.delta_q", "delta_q"},
    {"delta_q_uv_dc.delta_q", "delta_q"},
    {"delta_q_uv_ac.delta_q", "delta_q"},
    {"delta_q_u_dc.delta_coded", "delta_coded"},
    {"delta_q_u_ac.delta_coded", "delta_coded"},
    {"delta_q_v_dc.delta_coded", "delta_coded"},
    {"delta_q_v_ac.delta_coded", "delta_coded"},
    {"delta_q_u_dc.delta_q", "delta_q"},
    {"delta_q_u_ac.delta_q", "delta_q"},
    {"delta_q_v_dc.delta_q", "delta_q"},
    {"delta_q_v_ac.delta_q", "delta_q"},
    {"tx_mode", "tx_mode_select"},
    {"tile_size_bytes_minus1", "tile_size_bytes_minus_1"},
};
// Fields whose traced value is what ffmpeg derives from the bits, not the bits' own value: the
// AV1 tx_mode (TX_MODE_LARGEST or TX_MODE_SELECT from tx_mode_select).
const std::set<QString> kDerivedTraceValues = {"tx_mode"};
const std::set<QString> kCompactFields = {"general_profile_compatibility_flags", "bit_equal_to_zero", "general_reserved_zero_35bits",
                                          "general_reserved_zero_43bits", "rbsp_alignment_zero_bits",
                                          "trailing_zero_bits", "scaling_list", "scaling_list_delta_coef",
                                          "payload", "uuid_iso_iec_11578", "user_data_payload_byte",
                                          "payload_data", "cabac_alignment_one_bit", "entry_point_offset_minus1",
                                          "slice_segment_header_extension_data_byte", "alignment_bit_equal_to_zero", "obu_size",
                                          "frame_header_rest", "frame_header_rest_and_tile_group", "zero_bit"};
// Leaves that hold what trace_headers does not read: the coded picture after the slice header.
// An emulation prevention byte between fields is one too: trace_headers counts without it.
const std::set<QString> kUntracedLeaves = {"trailing_zero_8bits", "slice_data", "slice_segment_data",
                                           "compressed_header", "tile_data", "emulation_prevention_three_byte"};

const Element* firstChild(const Parsed& parsed, const Element& unit, const QString& name) {
  for (const Element& e : parsed.elements)
    if (e.parent == unit.id && e.name == name) return &e;
  return nullptr;
}

// A leaf of the parser's tree in the coordinates of the trace: RBSP bits from the unit's start.
struct Leaf {
  const Element* element;
  qint64 begin, end;
};

// The bytes that the NAL unit at [begin, end) of the file skips: 0x03 after two zero bytes.
std::vector<qint64> emulationPrevention(const QByteArray& file, qint64 begin, qint64 end) {
  std::vector<qint64> skipped;
  int zeros = 0;
  for (qint64 i = begin; i < end; ++i) {
    const uchar byte = uchar(file[int(i)]);
    if (zeros >= 2 && byte == 3) {
      skipped.push_back(i);
      zeros = 0;
    } else {
      zeros = byte == 0 ? zeros + 1 : 0;
    }
  }
  return skipped;
}

std::vector<Leaf> leaves(const Parsed& parsed, const Element& unit, const std::vector<qint64>& skipped) {
  std::set<qint64> parents;
  for (const Element& e : parsed.elements) parents.insert(e.parent);
  auto rbsp = [&](qint64 file_bit) {
    qint64 before = 0;
    for (qint64 byte : skipped) before += byte * 8 < file_bit ? 1 : 0;
    return file_bit - unit.offset - 8 * before;
  };
  std::vector<Leaf> out;
  for (const Element& e : parsed.elements) {
    if (e.offset < unit.offset || e.offset + e.size > unit.offset + unit.size || e.id == unit.id) continue;
    if (parents.count(e.id)) continue;
    out.push_back({&e, rbsp(e.offset), rbsp(e.offset + e.size)});
  }
  return out;
}

// The NAL units or OBUs of the first configuration record of the file, in file order.
std::vector<const Element*> recordUnits(const Parsed& parsed, const QString& record) {
  const std::vector<const Element*> boxes = parsed.named(record);
  if (boxes.empty()) return {};
  static const std::set<QString> kUnits = {"sequenceParameterSetNALUnit", "pictureParameterSetNALUnit",
                                           "sequenceParameterSetExtNALUnit", "nalUnit", "obu"};
  std::vector<const Element*> out;
  for (const Element& e : parsed.elements)
    if (kUnits.count(e.name) && e.offset >= boxes[0]->offset && e.offset < boxes[0]->offset + boxes[0]->size)
      out.push_back(&e);
  return out;
}

// The NAL units and OBUs inside the frames (MP4 samples, Matroska block frames, FLV video tags,
// byte streams), in file order, each without its length prefix or start code: the bits that
// trace_headers counts from.
std::vector<Element> frameUnits(const Parsed& parsed) {
  std::vector<Element> out;
  std::vector<const Element*> records;
  for (const Element& e : parsed.elements)
    if (e.name == QLatin1String("av1C") || e.name == QLatin1String("CodecPrivate") ||
        e.name == QLatin1String("AV1CodecConfigurationRecord"))
      records.push_back(&e);
  auto inRecord = [&](const Element& e) {
    return std::any_of(records.begin(), records.end(), [&](const Element* r) {
      return e.offset >= r->offset && e.offset < r->offset + r->size;
    });
  };
  for (const Element& e : parsed.elements) {
    if ((e.name == QLatin1String("obu") && !inRecord(e)) || e.name == QLatin1String("vp9_frame")) {
      out.push_back(e);
      continue;
    }
    if (e.name != QLatin1String("NAL unit")) continue;
    const Element* length = firstChild(parsed, e, QStringLiteral("NALUnitLength"));
    if (!length) length = firstChild(parsed, e, QStringLiteral("start_code"));
    if (!length) continue;
    Element unit = e;
    unit.offset = length->offset + length->size;
    unit.size = e.offset + e.size - unit.offset;
    out.push_back(unit);
  }
  return out;
}

// The NAL units of a transport or program stream, each written in pieces under the packets that
// carry it (the pieces share the unit's number; the first holds the start code), as leaves in the
// coordinates of the trace: bits of the unit's payload after its start code, without the
// emulation prevention bytes, which may straddle two pieces. A field cut at a packet's edge is
// one leaf again.
std::vector<std::vector<Leaf>> piecedUnitLeaves(const Parsed& parsed, const QByteArray& file) {
  std::set<qint64> parents;
  for (const Element& e : parsed.elements) parents.insert(e.parent);
  std::vector<std::vector<const Element*>> units;
  for (const Element& e : parsed.elements) {
    if (e.name != QLatin1String("NAL unit")) continue;
    if (firstChild(parsed, e, QStringLiteral("start_code")))
      units.push_back({&e});
    else if (!units.empty() && units.back().back()->seq == e.seq)
      units.back().push_back(&e);
  }
  std::vector<std::vector<Leaf>> out;
  for (const auto& pieces : units) {
    QByteArray bytes;
    std::vector<qint64> before;  // bits of the unit in the pieces before each one
    for (const Element* piece : pieces) {
      before.push_back(bytes.size() * 8);
      bytes += file.mid(int(piece->byteOffset()), int(piece->byteSize()));
    }
    const qint64 start_code = firstChild(parsed, *pieces[0], QStringLiteral("start_code"))->size;
    const std::vector<qint64> skipped = emulationPrevention(bytes, start_code / 8, bytes.size());
    auto traceBit = [&](qint64 unit_bit) {
      qint64 skipped_before = 0;
      for (qint64 byte : skipped) skipped_before += byte * 8 < unit_bit ? 1 : 0;
      return unit_bit - start_code - 8 * skipped_before;
    };
    std::vector<Leaf> leaves;
    for (size_t i = 0; i < pieces.size(); ++i) {
      const Element& piece = *pieces[i];
      for (const Element& e : parsed.elements) {
        if (e.id <= piece.id || parents.count(e.id) || e.name == QLatin1String("start_code") || e.offset < piece.offset ||
            e.offset + e.size > piece.offset + piece.size)
          continue;
        const Leaf leaf{&e, traceBit(before[i] + e.offset - piece.offset),
                        traceBit(before[i] + e.offset + e.size - piece.offset)};
        if (!leaves.empty() && leaves.back().element->name == e.name && leaves.back().end == leaf.begin &&
            leaves.back().element->hrf.contains(QLatin1String("continues in the next")))
          leaves.back().end = leaf.end;
        else
          leaves.push_back(leaf);
      }
    }
    out.push_back(leaves);
  }
  return out;
}

QString describe(const Leaf& leaf) {
  return QStringLiteral("%1 at %2+%3 = %4").arg(leaf.element->name).arg(leaf.begin).arg(leaf.end - leaf.begin).arg(leaf.element->raw);
}

// Every traced field lies in one leaf; a leaf that starts and ends where the field does has its
// name, index and value; a leaf holding several traced fields is one of the compact ones; every
// leaf holds the start of a traced field, so nothing is decoded that ffmpeg did not read.
void compareUnit(const std::vector<Leaf>& mine, const std::vector<TracedField>& traced, int& exact) {
  std::set<const Element*> touched;
  for (const TracedField& field : traced) {
    const auto it = std::find_if(mine.begin(), mine.end(), [&](const Leaf& l) {
      return l.begin <= field.position && field.position < l.end;
    });
    QVERIFY2(it != mine.end(), qPrintable(QStringLiteral("no element holds %1 at %2").arg(field.name).arg(field.position)));
    touched.insert(it->element);
    const QString name = kTraceNames.count(field.name) ? kTraceNames.at(field.name) : field.name;
    if (it->begin == field.position && it->end == field.position + field.length) {
      QVERIFY2(it->element->name == name, qPrintable(describe(*it) + QStringLiteral(", traced as ") + field.name));
      QVERIFY2(it->element->raw == QString::number(field.value) || kCompactFields.count(name) ||
                   kDerivedTraceValues.count(field.name),
               qPrintable(describe(*it) + QStringLiteral(", traced value %1").arg(field.value)));
      if (it->element->seq >= 0 && field.index >= 0)
        QVERIFY2(it->element->seq == field.index, qPrintable(describe(*it) + QStringLiteral(", traced index %1").arg(field.index)));
      ++exact;
    } else {
      QVERIFY2(kCompactFields.count(it->element->name) && field.position + field.length <= it->end,
               qPrintable(describe(*it) + QStringLiteral(", traced as %1 at %2+%3").arg(field.name).arg(field.position).arg(field.length)));
    }
  }
  for (const Leaf& leaf : mine)
    QVERIFY2(touched.count(leaf.element) || kUntracedLeaves.count(leaf.element->name),
             qPrintable(describe(leaf) + QStringLiteral(" holds no traced field")));
}

// The summary of an SPS or sequence header: profile, level, chroma, depth, sizes, rate.
struct Summary {
  QString profile, chroma;
  int depth = 0;
  qint64 width = 0, height = 0, coded_width = 0, coded_height = 0;
  bool interlaced = false;
  QString rate;
};

Summary parseSummary(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral(
      "^(?:SPS \\d+|Sequence header): (.+)@[^,]+, (\\S+) (\\d+)-bit, (?:max )?(\\d+)x(\\d+)"
      "(?: \\(coded (\\d+)x(\\d+)\\))?( interlaced)?(?:, ([\\d.]+) fps)?"));
  const QRegularExpressionMatch m = pattern.match(text);
  Summary s;
  if (!m.hasMatch()) return s;
  s.profile = m.captured(1);
  s.chroma = m.captured(2);
  s.depth = m.captured(3).toInt();
  s.width = m.captured(4).toLongLong();
  s.height = m.captured(5).toLongLong();
  s.coded_width = m.captured(6).isEmpty() ? s.width : m.captured(6).toLongLong();
  s.coded_height = m.captured(7).isEmpty() ? s.height : m.captured(7).toLongLong();
  s.interlaced = !m.captured(8).isEmpty();
  s.rate = m.captured(9);
  return s;
}

// The traced value of the first field of that name, or -1.
qint64 traced(const std::vector<std::vector<TracedField>>& units, const QString& name) {
  for (const auto& unit : units)
    for (const TracedField& field : unit)
      if (field.name == name) return field.value;
  return -1;
}

// The coded frame size as the traced fields give it (H.264 7.4.2.1.1, H.265 7.4.3.2.1, AV1 5.5.1).
std::pair<qint64, qint64> tracedCodedSize(const std::vector<std::vector<TracedField>>& units) {
  if (traced(units, QStringLiteral("pic_width_in_mbs_minus1")) >= 0)
    return {16 * (traced(units, QStringLiteral("pic_width_in_mbs_minus1")) + 1),
            16 * (traced(units, QStringLiteral("pic_height_in_map_units_minus1")) + 1) *
                (2 - traced(units, QStringLiteral("frame_mbs_only_flag")))};
  if (traced(units, QStringLiteral("pic_width_in_luma_samples")) >= 0)
    return {traced(units, QStringLiteral("pic_width_in_luma_samples")),
            traced(units, QStringLiteral("pic_height_in_luma_samples"))};
  return {traced(units, QStringLiteral("max_frame_width_minus_1")) + 1,
          traced(units, QStringLiteral("max_frame_height_minus_1")) + 1};
}

// The H.273 code point of ffprobe's colour names.
int colourCode(const QString& name) {
  static const std::map<QString, int> kCodes = {{"bt709", 1}, {"bt2020", 9}, {"bt2020nc", 9}, {"smpte2084", 16},
                                                {"smpte170m", 6}, {"bt470bg", 5}, {"iec61966-2-1", 13}};
  return kCodes.count(name) ? kCodes.at(name) : -1;
}

const Element* firstField(const Parsed& parsed, const Element& unit, const QString& name) {
  for (const Element& e : parsed.elements)
    if (e.name == name && e.offset >= unit.offset && e.offset < unit.offset + unit.size) return &e;
  return nullptr;
}

struct WitnessFile {
  const char* file;
  const char* record;
};
const WitnessFile kWitnessFiles[] = {
    {"progressive.mp4", "avcC"}, {"h264-high.mp4", "avcC"},        {"h264-interlaced.mp4", "avcC"},
    {"h264-444.mp4", "avcC"},    {"hevc-main10.mp4", "hvcC"},      {"av1.mp4", "av1C"},
};

}  // namespace

class CodecWitnessTest : public QObject {
  Q_OBJECT

 private slots:
  void traceAgrees_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("record");
    for (const WitnessFile& w : kWitnessFiles)
      QTest::newRow(w.file) << QString::fromLatin1(w.file) << QString::fromLatin1(w.record);
  }

  // Field by field, bit by bit, the parser reads what ffmpeg reads.
  void traceAgrees() {
    QFETCH(QString, file);
    QFETCH(QString, record);
    const QString path = corvanta::test::dataFile(QStringLiteral("isobmff/") + file);
    const Parsed parsed = isotest::parseFile(path);
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    const QByteArray bytes = readAll(path);
    const std::vector<const Element*> units = recordUnits(parsed, record);
    const auto traced_units = tracedUnits(path + QStringLiteral(".trace.txt"));
    QVERIFY(!traced_units.empty());
    QCOMPARE(units.size(), traced_units.size());
    int exact = 0;
    for (size_t i = 0; i < units.size(); ++i) {
      const Element& unit = *units[i];
      QVERIFY2(!unit.raw.contains(QLatin1String("broken")), qPrintable(unit.raw));
      const auto skipped = record == QLatin1String("av1C")
                               ? std::vector<qint64>()
                               : emulationPrevention(bytes, unit.byteOffset(), unit.byteOffset() + unit.byteSize());
      compareUnit(leaves(parsed, unit, skipped), traced_units[i], exact);
      if (QTest::currentTestFailed()) return;
    }
    QVERIFY(exact > 20);
  }

  void framesAgree_data() {
    QTest::addColumn<QString>("file");
    for (const WitnessFile& w : kWitnessFiles)
      QTest::newRow(w.file) << QStringLiteral("isobmff/") + QString::fromLatin1(w.file);
    for (const char* file : {"matroska/mkvmerge-h264-aac.mkv", "matroska/ffmpeg-h264-aac.mkv",
                             "matroska/mkvmerge-hevc.mkv", "matroska/mkvmerge-blockgroups.mkv", "matroska/ffmpeg-av1.mkv",
                             "matroska/ffmpeg-vp9-opus.webm", "isobmff/av1-hdr.mp4", "matroska/av1-hdr.mkv",
                             "isobmff/h264-hrd.mp4", "matroska/h264-hrd-interlaced.mkv", "isobmff/hevc-hdr10.mp4",
                             "matroska/hevc-hdr10.mkv", "matroska/av1-segments.mkv", "matroska/av1-film-grain.mkv",
                             "flv/h264-aac.flv", "flv/gstreamer.flv", "flv/keyframe-index.flv",
                             "rawvideo/h264-bframes.264", "rawvideo/h264-emulation.264", "rawvideo/hevc-bframes.265",
                             "isobmff/stss-non-idr.mp4", "rawvideo/av1.obu",
                             "rawvideo/av1.ivf", "rawvideo/vp9.ivf", "mpegts/h264-bframes.ts", "mpegts/hevc-bframes.ts",
                             "mpegps/h264.mpg"})
      QTest::newRow(file) << QString::fromLatin1(file);
  }

  // The NAL units inside every frame, slice headers and SEI messages included, field by field.
  void framesAgree() {
    QFETCH(QString, file);
    const QString path = corvanta::test::dataFile(file);
    const Parsed parsed = isotest::parseFile(path);
    QCOMPARE(parsed.result, 0);
    const QByteArray bytes = readAll(path);
    const auto traced_units = tracedUnits(path + QStringLiteral(".frames.trace.txt"));
    QVERIFY(!traced_units.empty());
    if (file.endsWith(QLatin1String(".ts")) || file.endsWith(QLatin1String(".mpg"))) {
      const auto pieced = piecedUnitLeaves(parsed, bytes);
      QCOMPARE(pieced.size(), traced_units.size());
      int exact = 0;
      for (size_t i = 0; i < pieced.size(); ++i) {
        compareUnit(pieced[i], traced_units[i], exact);
        if (QTest::currentTestFailed()) {
          qWarning("in NAL unit %d of the stream", int(i));
          return;
        }
      }
      QVERIFY(exact > 20);
      return;
    }
    const std::vector<Element> units = frameUnits(parsed);
    QCOMPARE(units.size(), traced_units.size());
    int exact = 0;
    for (size_t i = 0; i < units.size(); ++i) {
      const Element& unit = units[i];
      QVERIFY2(!unit.raw.contains(QLatin1String("broken")) && !unit.raw.contains(QLatin1String("not seen")),
               qPrintable(unit.raw));
      // Only NAL units escape their payload: 00 00 03 in an OBU or a VP9 frame is data.
      const bool escaped = unit.name == QLatin1String("NAL unit");
      compareUnit(leaves(parsed, unit, !escaped ? std::vector<qint64>()
                                           : emulationPrevention(bytes, unit.byteOffset(),
                                                                 unit.byteOffset() + unit.byteSize())),
                  traced_units[i], exact);
      if (QTest::currentTestFailed()) {
        qWarning("in NAL unit %d at byte %lld: %s", int(i), unit.byteOffset(), qPrintable(unit.raw));
        return;
      }
    }
    QVERIFY(exact > 20);
  }

  void pictureTypesAgree_data() {
    framesAgree_data();
    for (const char* file : {"matroska/ffmpeg-mpeg2.mkv", "matroska/gstreamer-vp8-vorbis.webm",
                             "matroska/ffmpeg-vp8-alpha.webm", "rawvideo/vp8.ivf"})
      QTest::newRow(file) << QString::fromLatin1(file);
  }

  // Every picture ffprobe decodes has the type the parser gives the frame that holds it: the
  // first frame summary at or after the packet's position (a sample, a block frame, a tag).
  void pictureTypesAgree() {
    QFETCH(QString, file);
    const QString path = corvanta::test::dataFile(file);
    const Parsed parsed = isotest::parseFile(path);
    std::vector<std::pair<qint64, QString>> typed;  // byte offset, picture type, in file order
    static const std::set<QString> kTypes = {"IDR", "I", "P", "B", "CRA", "BLA", "KEY", "INTER", "INTRA_ONLY",
                                             "SWITCH", "key", "inter", "intra-only"};
    // ffprobe's names for the AV1 and VP9 frame types.
    static const std::map<QString, QString> kAv1Types = {{"KEY", "I"}, {"INTRA_ONLY", "I"}, {"INTER", "P"}, {"SWITCH", "P"},
                                                         {"key", "I"}, {"intra-only", "I"}, {"inter", "P"}};
    for (const Element& e : parsed.elements)
      for (const QString& token : e.raw.split(QStringLiteral(", ")))
        if (kTypes.count(token)) {
          typed.emplace_back(e.byteOffset(), token);
          break;
        }
    std::stable_sort(typed.begin(), typed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    int compared = 0;
    const bool byte_stream = file.endsWith(QLatin1String(".264")) || file.endsWith(QLatin1String(".265"));
    for (const QByteArray& line : readAll(path + QStringLiteral(".pictures.csv")).split('\n')) {
      const QList<QByteArray> fields = line.split(',');
      if (fields.size() != 3) continue;
      // In a byte stream ffprobe's position is that of start_code_prefix_one_3bytes, after the
      // zero_byte with which the access unit begins.
      const qint64 position = fields[1].toLongLong() - (byte_stream ? 1 : 0);
      const auto frame = std::lower_bound(typed.begin(), typed.end(), position,
                                          [](const auto& entry, qint64 p) { return entry.first < p; });
      QVERIFY2(frame != typed.end(), qPrintable(QStringLiteral("no frame at or after byte %1").arg(position)));
      const QString mine = kAv1Types.count(frame->second) ? kAv1Types.at(frame->second) : frame->second;
      const QString expected = QString::fromLatin1(fields[2]);
      const bool intra = mine == QLatin1String("IDR") || mine == QLatin1String("CRA") || mine == QLatin1String("BLA");
      QVERIFY2(mine == expected || (intra && expected == QLatin1String("I")),
               qPrintable(QStringLiteral("byte %1: %2, ffprobe %3").arg(frame->first).arg(mine, expected)));
      if (mine == QLatin1String("IDR")) QCOMPARE(fields[0], QByteArray("1"));
      ++compared;
    }
    QVERIFY(compared >= 5);
  }

  void streamReport_data() { traceAgrees_data(); }

  // The summary of the first SPS (or sequence header) says what ffprobe says about the stream.
  void streamReport() {
    QFETCH(QString, file);
    QFETCH(QString, record);
    const QString path = corvanta::test::dataFile(QStringLiteral("isobmff/") + file);
    const Parsed parsed = isotest::parseFile(path);
    const QJsonObject stream = QJsonDocument::fromJson(readAll(path + QStringLiteral(".streams.json")))
                                   .object()[QStringLiteral("streams")].toArray().at(0).toObject();
    QVERIFY(!stream.isEmpty());
    const auto units = recordUnits(parsed, record);
    const auto sps = std::find_if(units.begin(), units.end(), [](const Element* e) {
      return e->raw.startsWith(QLatin1String("SPS ")) || e->raw.startsWith(QLatin1String("Sequence header"));
    });
    QVERIFY(sps != units.end());
    const Summary summary = parseSummary((*sps)->raw);
    QVERIFY2(summary.width > 0, qPrintable((*sps)->raw));

    QCOMPARE(summary.profile, stream[QStringLiteral("profile")].toString());
    const QString level_field = record == QLatin1String("avcC")   ? QStringLiteral("level_idc")
                                : record == QLatin1String("hvcC") ? QStringLiteral("general_level_idc")
                                                                   : QStringLiteral("seq_level_idx");
    QCOMPARE(firstField(parsed, **sps, level_field)->raw.toInt(), stream[QStringLiteral("level")].toInt());
    QCOMPARE(summary.width, qint64(stream[QStringLiteral("width")].toInt()));
    QCOMPARE(summary.height, qint64(stream[QStringLiteral("height")].toInt()));
    const auto coded = tracedCodedSize(tracedUnits(path + QStringLiteral(".trace.txt")));
    QCOMPARE(summary.coded_width, coded.first);
    QCOMPARE(summary.coded_height, coded.second);

    static const QRegularExpression pix_fmt(QStringLiteral("^(?:yuv|gbr)(420|422|444)?p(\\d+)?"));
    const QString format = stream[QStringLiteral("pix_fmt")].toString();
    const QRegularExpressionMatch m = pix_fmt.match(format);
    QVERIFY2(m.hasMatch(), qPrintable(format));
    const QString sampling = m.captured(1);
    QCOMPARE(summary.chroma, sampling.left(1) + QLatin1Char(':') + sampling.mid(1, 1) + QLatin1Char(':') + sampling.mid(2, 1));
    QCOMPARE(summary.depth, m.captured(2).isEmpty() ? 8 : m.captured(2).toInt());

    const QStringList rate = stream[QStringLiteral("r_frame_rate")].toString().split(QLatin1Char('/'));
    QCOMPARE(summary.rate.toDouble(), rate[0].toDouble() / rate[1].toDouble());
    if (stream.contains(QStringLiteral("field_order")))
      QCOMPARE(summary.interlaced, stream[QStringLiteral("field_order")].toString() != QLatin1String("progressive"));

    const QString primaries = stream[QStringLiteral("color_primaries")].toString();
    if (colourCode(primaries) > 0) {
      QCOMPARE(firstField(parsed, **sps, QStringLiteral("colour_primaries"))
                   ? firstField(parsed, **sps, QStringLiteral("colour_primaries"))->raw.toInt()
                   : firstField(parsed, **sps, QStringLiteral("color_primaries"))->raw.toInt(),
               colourCode(primaries));
    }
    const QString range = stream[QStringLiteral("color_range")].toString();
    if (range == QLatin1String("tv") || range == QLatin1String("pc")) {
      const Element* flag = firstField(parsed, **sps, QStringLiteral("video_full_range_flag"));
      if (!flag) flag = firstField(parsed, **sps, QStringLiteral("color_range"));
      QVERIFY(flag);
      QCOMPARE(flag->raw, QString::fromLatin1(range == QLatin1String("pc") ? "1" : "0"));
    }
  }

  // stss-non-idr.mp4 (tests/data/rawvideo/make-test-files.sh) has its sync sample table edited to
  // claim frame 4, a P frame, instead of frame 6, an IDR: both samples say that the claim and the
  // bitstream disagree, and no other sample does.
  void syncSampleClaimsChecked() {
    const Parsed parsed = isotest::parseFile(corvanta::test::dataFile(QStringLiteral("isobmff/stss-non-idr.mp4")));
    std::map<qint64, QString> marked;
    for (const Element& e : parsed.elements)
      if (e.name == QLatin1String("sample") && e.hrf.contains(QLatin1String("sync sample")))
        marked[e.seq] = e.hrf.mid(e.hrf.lastIndexOf(QLatin1String(", ")) + 2);
    const std::map<qint64, QString> expected = {{4, "a sync sample whose frame is not a random access picture"},
                                                {6, "a random access picture not marked as sync sample"}};
    QCOMPARE(marked, expected);
  }

  // rai-on-p-frame.ts has random_access_indicator set in the packet that starts a P frame's PES
  // packet, rai-missing-on-idr.ts lacks it in the packet that starts the second IDR picture's
  // (tests/data/rawvideo/make-test-files.sh): that packet says so; the packets that start
  // pictures the flag describes rightly do not.
  void randomAccessIndicatorChecked_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<qint64>("packet");
    QTest::addColumn<QString>("mark");
    QTest::newRow("set on a P frame") << "rai-on-p-frame.ts" << qint64(21)
                                      << "random_access_indicator set, but the picture is not a random access picture";
    QTest::newRow("missing on an IDR") << "rai-missing-on-idr.ts" << qint64(39)
                                       << "a random access picture without random_access_indicator";
  }
  void randomAccessIndicatorChecked() {
    QFETCH(QString, file);
    QFETCH(qint64, packet);
    QFETCH(QString, mark);
    const Parsed parsed = isotest::parseFile(corvanta::test::dataFile(QStringLiteral("mpegts/") + file));
    std::map<qint64, QString> marked;
    int idr_headers = 0;
    for (const Element& e : parsed.elements) {
      if (e.name == QLatin1String("packet") && e.hrf.contains(QLatin1String("random_access"))) marked[e.seq] = e.hrf;
      if (e.name == QLatin1String("PES_header") && e.raw.endsWith(QLatin1String(", IDR"))) ++idr_headers;
    }
    QCOMPARE(marked, (std::map<qint64, QString>{{packet, mark}}));
    QCOMPARE(idr_headers, 2);
  }

  // The HEIF image has no ffprobe witness: its SPS agrees with the image size (ispe) and the
  // record that libheif wrote beside it.
  void heifImageAgreesWithItsProperties() {
    const Parsed parsed = isotest::parseFile(corvanta::test::dataFile(QStringLiteral("isobmff/image.heic")));
    const auto units = recordUnits(parsed, QStringLiteral("hvcC"));
    const auto sps = std::find_if(units.begin(), units.end(), [](const Element* e) { return e->raw.startsWith(QLatin1String("SPS ")); });
    QVERIFY(sps != units.end());
    const Summary summary = parseSummary((*sps)->raw);
    QCOMPARE(summary.width, parsed.at(QStringLiteral("meta/iprp/ipco/ispe/image_width"))->raw.toLongLong());
    QCOMPARE(summary.height, parsed.at(QStringLiteral("meta/iprp/ipco/ispe/image_height"))->raw.toLongLong());
    QCOMPARE(summary.profile, parsed.at(QStringLiteral("meta/iprp/ipco/hvcC/general_profile_idc"))->hrf);
    QCOMPARE(summary.depth, 8 + parsed.at(QStringLiteral("meta/iprp/ipco/hvcC/bitDepthLumaMinus8"))->raw.toInt());
    QCOMPARE(summary.chroma, QStringLiteral("4:2:0"));
    QCOMPARE(parsed.at(QStringLiteral("meta/iprp/ipco/hvcC/chromaFormat"))->raw, QStringLiteral("1"));
  }
};

CORVANTA_TEST_CORE_MAIN(CodecWitnessTest)
#include "CodecWitnessTest.moc"
