// Raw video streams: the start codes and access units of H.264 and H.265 byte streams in
// hand-built fixtures, and the files of tests/data/rawvideo/make-test-files.sh, whose access
// units, temporal units and IVF frames match ffprobe's pictures one to one.
#include "FormatModule.h"
#include "ParsedFile.h"
#include "TestInputs.h"
#include "TestSupport.h"
#include "codecs/AnnexB.h"

#include <QDirIterator>

#include <set>

using namespace corvanta::test;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

const uint8_t* bytesOf(const QByteArray& data) { return reinterpret_cast<const uint8_t*>(data.constData()); }

// ffprobe's decoded pictures: one "key_frame,pkt_pos,pict_type" line each.
int pictureCount(const QString& path) {
  int count = 0;
  for (const QByteArray& line : readAll(path + QStringLiteral(".pictures.csv")).split('\n'))
    count += line.split(',').size() == 3 ? 1 : 0;
  return count;
}

// The bytes 0x03 after two zero bytes inside the NAL units of a byte stream.
std::vector<qint64> emulationPreventionBytes(const QByteArray& file) {
  std::vector<qint64> out;
  const uint8_t* data = bytesOf(file);
  corvanta::codecs::AnnexBNalUnit nal;
  int64_t from = 0;
  while (corvanta::codecs::nextAnnexBNalUnit(data, from, file.size(), nal)) {
    int zeros = 0;
    for (int64_t i = nal.begin; i < nal.end; ++i) {
      if (zeros >= 2 && data[i] == 3) {
        out.push_back(i);
        zeros = 0;
      } else {
        zeros = data[i] == 0 ? zeros + 1 : 0;
      }
    }
    from = nal.next;
  }
  return out;
}

struct RawFile {
  const char* file;
  const char* module;
  const char* unit;  // the frame-like unit: one per picture ffprobe decodes
};
const RawFile kRawFiles[] = {
    {"h264-bframes.264", "rawvideo.h264", "access unit"}, {"h264-emulation.264", "rawvideo.h264", "access unit"},
    {"hevc-bframes.265", "rawvideo.hevc", "access unit"},
    {"av1.obu", "rawvideo.av1", "temporal unit"},          {"av1.ivf", "rawvideo.ivf", "frame"},
    {"vp9.ivf", "rawvideo.ivf", "frame"},                  {"vp8.ivf", "rawvideo.ivf", "frame"},
};

}  // namespace

class RawVideoTest : public QObject {
  Q_OBJECT

 private slots:
  void startCodes_data() {
    QTest::addColumn<QByteArray>("stream");
    // start, start_code_bytes, begin, end, next for each NAL unit
    QTest::addColumn<QList<qint64>>("expected");
    QTest::newRow("three-byte codes") << hex("000001 0910 000001 0AFF") << QList<qint64>{0, 3, 3, 5, 5, 5, 3, 8, 10, 10};
    QTest::newRow("zero_byte and trailing zeros")
        << hex("00000001 0910 0000 00000001 0B") << QList<qint64>{0, 4, 4, 6, 8, 8, 4, 12, 13, 13};
    // 00 00 03 is escaped data, not a start code; 00 00 00 ends the unit before its zeros.
    QTest::newRow("escaped zeros inside") << hex("000001 65 000003 01 88 000000 000001 41")
                                          << QList<qint64>{0, 3, 3, 9, 11, 11, 4, 15, 16, 16};
    QTest::newRow("empty unit") << hex("000001 000001 09") << QList<qint64>{0, 3, 3, 3, 3, 3, 3, 6, 7, 7};
    QTest::newRow("no start code") << hex("0000 02 0001 00") << QList<qint64>{};
  }

  // Every NAL unit of a byte stream with its start code, and the zeros that trail it.
  void startCodes() {
    QFETCH(QByteArray, stream);
    QFETCH(QList<qint64>, expected);
    QList<qint64> found;
    corvanta::codecs::AnnexBNalUnit nal;
    int64_t from = 0;
    while (corvanta::codecs::nextAnnexBNalUnit(bytesOf(stream), from, stream.size(), nal)) {
      found << nal.start << nal.start_code_bytes << nal.begin << nal.end << nal.next;
      QVERIFY(nal.next > from);
      from = nal.next;
    }
    QCOMPARE(found, expected);
  }

  void accessUnits_data() {
    QTest::addColumn<bool>("hevc");
    QTest::addColumn<QList<QByteArray>>("units");     // the first bytes of each NAL unit
    QTest::addColumn<QList<bool>>("begins");          // whether it begins an access unit
    // H.264: AUD 09, SPS 67, PPS 68, SEI 06, IDR slice 65 with first_mb_in_slice 0 (first bit
    // 1), a second slice of the picture (first_mb_in_slice 1: bits 010), non-IDR slice 41.
    QTest::newRow("H.264 parameter sets, two slices, then a picture")
        << false << QList<QByteArray>{hex("0910"), hex("6764"), hex("68EE"), hex("06 05"), hex("65 88"), hex("65 40"),
                                      hex("41 9A")}
        << QList<bool>{false, false, false, false, false, false, true};
    QTest::newRow("H.264 SEI after a picture begins the next")
        << false << QList<QByteArray>{hex("65 88"), hex("06 05"), hex("41 9A"), hex("0C FF"), hex("0910"), hex("01 9E")}
        << QList<bool>{false, true, false, false, true, false};
    // H.265: VPS 40 01, SPS 42 01, PPS 44 01, IDR_W_RADL 26 01 with first_slice_segment_in_pic_flag
    // set (AF) or clear (2F), suffix SEI 50 01, TRAIL_R 02 01, a layer 1 SPS 42 09.
    QTest::newRow("H.265 slice segments, suffix SEI, next picture")
        << true << QList<QByteArray>{hex("4001 0C"), hex("4201 01"), hex("4401 C1"), hex("2601 AF"), hex("2601 2F"),
                                     hex("5001 05"), hex("0201 D0")}
        << QList<bool>{false, false, false, false, false, false, true};
    QTest::newRow("H.265 AUD begins, other layers do not")
        << true << QList<QByteArray>{hex("0201 D0"), hex("4209 01"), hex("4601 50"), hex("0201 D0")}
        << QList<bool>{false, false, true, false};
  }

  // NAL units are grouped into access units as both standards say: parameter sets, SEI and
  // delimiters after a picture, or the first slice of the next picture, begin the next one.
  void accessUnits() {
    QFETCH(bool, hevc);
    QFETCH(QList<QByteArray>, units);
    QFETCH(QList<bool>, begins);
    corvanta::codecs::AccessUnitSplitter splitter(hevc);
    QList<bool> found;
    for (const QByteArray& unit : units) found << splitter.beginsAccessUnit(bytesOf(unit), unit.size());
    QCOMPARE(found, begins);
  }

  void filesParseClean_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("unit");
    for (const RawFile& f : kRawFiles)
      QTest::newRow(f.file) << QString::fromLatin1(f.file) << QString::fromLatin1(f.module) << QString::fromLatin1(f.unit);
  }

  // The registry gives each file to its module, which covers it whole with one unit per
  // picture that ffprobe decodes, none of them broken.
  void filesParseClean() {
    QFETCH(QString, file);
    QFETCH(QString, module);
    QFETCH(QString, unit);
    const QString path = dataFile(QStringLiteral("rawvideo/") + file);
    const Parsed parsed = parseFile(path);
    const QString problem = cleanParseProblem(parsed, path, module);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const std::vector<const Element*> frames = parsed.named(unit);
    QCOMPARE(int(frames.size()), pictureCount(path));
    for (const Element& e : parsed.elements)
      QVERIFY2(!e.raw.contains(QLatin1String("broken")) && !e.hrf.contains(QLatin1String("truncated")),
               qPrintable(e.name + QStringLiteral(": ") + e.raw + QStringLiteral(" ") + e.hrf));
  }

  void emulationPreventionBytesStand_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("between_fields");  // the file has one between two fields
    QTest::newRow("H.264 with a crafted SEI") << QStringLiteral("h264-emulation.264") << true;
    QTest::newRow("H.265 parameter sets") << QStringLiteral("hevc-bframes.265") << false;
  }

  // Each emulation prevention byte of the file stands where it is: an element of its own, or
  // inside the one field whose bits span it, which says so.
  void emulationPreventionBytesStand() {
    QFETCH(QString, file);
    QFETCH(bool, between_fields);
    const QString path = dataFile(QStringLiteral("rawvideo/") + file);
    const std::vector<qint64> epb = emulationPreventionBytes(readAll(path));
    QVERIFY(epb.size() >= 4);
    const Parsed parsed = parseFile(path);
    std::set<qint64> parents;
    for (const Element& e : parsed.elements) parents.insert(e.parent);
    int alone = 0, spanned = 0;
    for (qint64 byte : epb) {
      const Element* holder = nullptr;
      for (const Element& e : parsed.elements)
        if (!parents.count(e.id) && e.offset <= byte * 8 && byte * 8 + 8 <= e.offset + e.size) holder = &e;
      QVERIFY2(holder, qPrintable(QString::number(byte)));
      if (holder->name == QLatin1String("emulation_prevention_three_byte")) {
        QCOMPARE(holder->size, qint64(8));
        QCOMPARE(holder->raw, QStringLiteral("3"));
        ++alone;
      } else {
        QVERIFY2(holder->hrf.contains(QLatin1String("emulation_prevention_three_byte")),
                 qPrintable(holder->name + QStringLiteral(" at byte ") + QString::number(byte)));
        ++spanned;
      }
    }
    QVERIFY(spanned > 0);
    QCOMPARE(alone > 0, between_fields);
  }

  // The probes see only codec headers: the other modules' files stay with their modules, and
  // a stream that merely starts with a start code is not taken for H.264.
  void containersKeepTheirFiles() {
    QDirIterator it(dataDir(), QDir::Files, QDirIterator::Subdirectories);
    int checked = 0;
    while (it.hasNext()) {
      const QString path = it.next();
      if (!isTestInput(path) || path.contains(QLatin1String("/rawvideo/"))) continue;
      QFile file(path);
      QVERIFY(file.open(QIODevice::ReadOnly));
      const QByteArray head = file.read(4096);
      const corvanta::FormatModule* chosen =
          corvanta::chooseModule(bytesOf(head), head.size(), file.size(), path);
      QVERIFY2(!chosen || !chosen->id.startsWith(QLatin1String("rawvideo.")), qPrintable(path));
      ++checked;
    }
    QVERIFY(checked > 50);
    const QByteArray mpeg4_part2 = hex("000001B0 01 000001B5 09 00000100 00000120 0086");
    const corvanta::FormatModule* chosen =
        corvanta::chooseModule(bytesOf(mpeg4_part2), mpeg4_part2.size(), mpeg4_part2.size(), QStringLiteral("x.264"));
    QVERIFY(!chosen || !chosen->id.startsWith(QLatin1String("rawvideo.")));
  }
};

CORVANTA_TEST_CORE_MAIN(RawVideoTest)
#include "RawVideoTest.moc"
