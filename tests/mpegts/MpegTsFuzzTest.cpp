// Random damage to small real transport streams: flipped bytes, destroyed sync bytes, hostile
// lengths in the places the module trusts least (adaptation_field_length, pointer_field,
// section_length, PES_header_data_length), cut and spliced files. Every parse must end with a
// database that passes the check and covers every byte; a fixed seed keeps failures repeatable.
#include "MpegTsTestSupport.h"
#include "TestSupport.h"

#include <QRandomGenerator>

using namespace tstest;

namespace {

int strideOf(const QByteArray& data) {
  for (int stride : {188, 192, 204}) {
    const int sync = stride == 192 ? 4 : 0;
    if (data.size() > 2 * stride && data[sync] == 0x47 && data[sync + stride] == 0x47 && data[sync + 2 * stride] == 0x47)
      return stride;
  }
  return 188;
}

QByteArray mutate(QByteArray data, QRandomGenerator& random) {
  const int stride = strideOf(data);
  const int sync = stride == 192 ? 4 : 0;
  const int packets = data.size() / stride;
  const int kind = random.bounded(6);
  const int edits = 1 + random.bounded(6);
  for (int i = 0; i < edits && data.size() > stride; ++i) {
    const int header = random.bounded(packets) * stride + sync;  // a packet's sync byte
    switch (kind) {
      case 0:  // flip bytes anywhere
        data[random.bounded(data.size())] = char(random.bounded(256));
        break;
      case 1:  // destroy a sync byte
        data[header] = char(random.bounded(256));
        break;
      case 2:  // a hostile byte right after the header: adaptation_field_length or pointer_field
        if (header + 4 < data.size()) data[header + 4] = char(random.bounded(2) ? 0xFF : random.bounded(256));
        break;
      case 3:  // a hostile byte a little later: section_length, PES_header_data_length, flags
        if (header + 12 < data.size()) data[header + 5 + random.bounded(8)] = char(random.bounded(256));
        break;
      case 4:  // header bits: PUSI, PID, adaptation_field_control, counter
        if (header + 4 < data.size()) data[header + 1 + random.bounded(3)] = char(random.bounded(256));
        break;
      default: {  // cut out or repeat a stretch
        const int from = random.bounded(data.size());
        const int length = random.bounded(1, 700);
        if (random.bounded(2))
          data.remove(from, length);
        else
          data.insert(from, data.mid(random.bounded(data.size()), length));
        break;
      }
    }
  }
  return data;
}

}  // namespace

class MpegTsFuzzTest : public QObject {
  Q_OBJECT

 private slots:
  void randomDamage_data() {
    QTest::addColumn<QString>("file");
    for (const char* file : {"ffmpeg-programs.ts", "ffmpeg.m2ts", "gstreamer.ts", "dvb.ts", "dvb-204.ts", "atsc.ts"})
      QTest::newRow(file) << QString::fromLatin1(file);
  }

  void randomDamage() {
    QFETCH(QString, file);
    const QByteArray original = readAll(corvanta::test::dataFile(QStringLiteral("mpegts/") + file));
    QVERIFY(original.size() > 1000);
    QRandomGenerator random(0x7E57 ^ quint32(qHash(file)));
    // CORVANTA_FUZZ_ROUNDS runs a longer session by hand; the default keeps the suite quick.
    const int rounds = qEnvironmentVariableIsSet("CORVANTA_FUZZ_ROUNDS") ? qEnvironmentVariableIntValue("CORVANTA_FUZZ_ROUNDS") : 40;
    for (int round = 0; round < rounds; ++round) {
      const QByteArray damaged = mutate(original, random);
      const Parsed parsed = parseBytes(damaged, QStringLiteral("damaged.ts"));
      if (parsed.result != 0) {  // only a file whose start no longer shows a stride may be refused
        QVERIFY2(!parsed.error.isEmpty(), qPrintable(QStringLiteral("round %1").arg(round)));
        continue;
      }
      QVERIFY2(parsed.report.ok(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(parsed.report.summary())));
      QCOMPARE(parsed.report.covered_bits, qint64(damaged.size()) * 8);
    }
  }
};

CORVANTA_TEST_CORE_MAIN(MpegTsFuzzTest)
#include "MpegTsFuzzTest.moc"
