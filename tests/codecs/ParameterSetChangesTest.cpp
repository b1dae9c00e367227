// The count of changes to what later NAL units need, by which a decoder copy saved once stands
// for later points of a stream: repeated parameter sets change nothing, anything else does, and a
// parameter set read through one that changed counts again even when its own bytes repeat.
#include "ElementWriter.h"
#include "FieldReader.h"
#include "TestSupport.h"
#include "codecs/AnnexB.h"
#include "codecs/NalVideoStream.h"
#include "codecs/ParameterSetChanges.h"

#include <QFile>
#include <QtTest>

namespace {

// The count after each NAL unit of `units` (hex, the NAL unit header first), space-separated.
QString countsAfter(bool hevc, const QStringList& units) {
  corvanta::codecs::ParameterSetChanges changes(hevc);
  QStringList counts;
  for (const QString& unit : units) {
    const QByteArray bytes = QByteArray::fromHex(unit.toLatin1());
    changes.nalUnit(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    counts << QString::number(changes.count());
  }
  return counts.join(QLatin1Char(' '));
}

}  // namespace

class ParameterSetChangesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  // H.264 types from the first byte's low five bits (7 SPS, 8 PPS, 5 IDR slice, 6 SEI); H.265
  // from bits 1-6 (0x40 VPS, 0x42 SPS, 0x44 PPS, 0x26 IDR slice).
  void countsOnlyChanges_data() {
    QTest::addColumn<bool>("hevc");
    QTest::addColumn<QStringList>("units");
    QTest::addColumn<QString>("counts");
    const QString sps = QStringLiteral("6742C00A"), other_sps = QStringLiteral("6742C01E"), pps = QStringLiteral("68CE3880");
    QTest::newRow("headers repeated before each IDR")
        << false << QStringList{sps, pps, "6588", "0605", sps, pps, "6588", sps, pps} << "1 2 2 2 2 2 2 2 2";
    QTest::newRow("a new SPS, then the same PPS") << false << QStringList{sps, pps, other_sps, pps, other_sps, pps}
                                                  << "1 2 3 4 4 4";
    QTest::newRow("the same SPS after a new PPS") << false << QStringList{sps, pps, "68CE3C80", sps} << "1 2 3 3";
    QTest::newRow("two PPS ids in turn") << false << QStringList{pps, "68EE3880", pps, "68EE3880"} << "1 2 3 4";
    QTest::newRow("a cut parameter set") << false << QStringList{"67", "67", "67"} << "1 1 1";
    const QString vps = QStringLiteral("40010C01"), hsps = QStringLiteral("42010101"), hpps = QStringLiteral("4401C172");
    QTest::newRow("HEVC headers repeated") << true << QStringList{vps, hsps, hpps, "2601AF", vps, hsps, hpps}
                                           << "1 2 3 3 3 3 3";
    QTest::newRow("HEVC: a new VPS, then the same SPS and PPS")
        << true << QStringList{vps, hsps, hpps, "40010C02", hsps, hpps} << "1 2 3 4 5 6";
    QTest::newRow("H.264 types mean nothing in HEVC") << true << QStringList{sps, pps, sps} << "0 0 0";
  }
  void countsOnlyChanges() {
    QFETCH(bool, hevc);
    QFETCH(QStringList, units);
    QFETCH(QString, counts);
    QCOMPARE(countsAfter(hevc, units), counts);
  }

  // Through the decoder: x264 and x265 repeat their parameter sets before every key frame
  // (-g 5), and the version moves with the first ones only.
  void streamsRepeatingTheirHeadersKeepTheirVersion_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("hevc");
    QTest::newRow("H.264") << "rawvideo/h264-bframes.264" << false;
    QTest::newRow("HEVC") << "rawvideo/hevc-bframes.265" << true;
  }
  void streamsRepeatingTheirHeadersKeepTheirVersion() {
    QFETCH(QString, file);
    QFETCH(bool, hevc);
    QFile input(corvanta::test::dataFile(file));
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    corvanta::ElementWriter counter{corvanta::ElementWriter::CountOnly{}};
    corvanta::codecs::NalVideoStream stream(hevc, corvanta::codecs::NalVideoStream::Framing::StartCodes);
    std::vector<uint64_t> versions;
    corvanta::codecs::AnnexBNalUnit nal;
    for (int64_t from = 0; corvanta::codecs::nextAnnexBNalUnit(data, from, bytes.size(), nal); from = nal.next) {
      corvanta::FieldReader f(counter, data, nal.start, nal.next);
      corvanta::codecs::FramePicture picture;
      stream.byteStreamNalUnit(f, nal, int64_t(versions.size()), picture);
      versions.push_back(stream.stateVersion());
    }
    QVERIFY(versions.size() > 10);
    QVERIFY(versions[5] > 0);
    QCOMPARE(versions.back(), versions[5]);
  }
};

CORVANTA_TEST_CORE_MAIN(ParameterSetChangesTest)
#include "ParameterSetChangesTest.moc"
