// Random damage to small real files: byte flips, broken element sizes (huge, unknown, a little
// off), broken IDs, cuts. Every parse must end with a database that passes the check, covers the
// file and has no sibling overlapping the next; a fixed seed keeps failures repeatable.
#include "MatroskaTestSupport.h"
#include "TestSupport.h"

#include <QRandomGenerator>

using namespace mkvtest;

namespace {

// Offsets of the element headers a muxer laid out, found by a walk into the usual masters (an
// element of unknown size taken to run to the end of its parent).
QList<int> elementOffsets(const QByteArray& data, int begin, int end, int depth = 0) {
  static const QList<quint32> kMasters = {0x18538067, 0x114D9B74, 0x4DBB,   0x1549A966, 0x1654AE6B, 0xAE,
                                          0xE0,       0xE1,       0x1F43B675, 0xA0,     0x1C53BB6B, 0xBB,
                                          0xB7,       0x1254C367, 0x7373,     0x67C8,   0x1043A770, 0x45B9, 0xB6};
  QList<int> out;
  int pos = begin;
  const auto* p = reinterpret_cast<const uchar*>(data.constData());
  while (pos < end && depth < 8) {
    int id_width = 1;
    while (id_width <= 4 && !(p[pos] & (0x80 >> (id_width - 1)))) ++id_width;
    if (id_width > 4 || pos + id_width >= end) break;
    int size_width = 1;
    while (size_width <= 8 && !(p[pos + id_width] & (0x80 >> (size_width - 1)))) ++size_width;
    if (size_width > 8 || pos + id_width + size_width > end) break;
    quint32 id = 0;
    for (int i = 0; i < id_width; ++i) id = (id << 8) | p[pos + i];
    quint64 size = p[pos + id_width] & (0xFF >> size_width);
    for (int i = 1; i < size_width; ++i) size = (size << 8) | p[pos + id_width + i];
    const int data_at = pos + id_width + size_width;
    if (size == (quint64(1) << (7 * size_width)) - 1) size = quint64(end - data_at);  // unknown: to the end
    if (size > quint64(end - data_at)) break;
    out << pos;
    if (kMasters.contains(id)) out += elementOffsets(data, data_at, data_at + int(size), depth + 1);
    pos = data_at + int(size);
  }
  return out;
}

// The offset of the size code of the element at `at`.
int sizeAt(const QByteArray& data, int at) {
  int id_width = 1;
  while (id_width < 4 && !(uchar(data[at]) & (0x80 >> (id_width - 1)))) ++id_width;
  return at + id_width;
}

QByteArray mutate(QByteArray data, const QList<int>& elements, QRandomGenerator& random) {
  const int kind = random.bounded(5);
  const int edits = 1 + random.bounded(4);
  for (int i = 0; i < edits && !data.isEmpty(); ++i) {
    const int at = elements[random.bounded(elements.size())];
    switch (kind) {
      case 0:  // flip bytes anywhere
        data[random.bounded(data.size())] = char(random.bounded(256));
        break;
      case 1: {  // a size code becomes huge, unknown, zero or a little off in its last byte
        const int size_at = sizeAt(data, at);
        if (size_at >= data.size()) break;
        static const uchar kFirst[] = {0xFF, 0x01, 0x80, 0x08, 0x7F};
        if (random.bounded(2))
          data[size_at] = char(kFirst[random.bounded(5)]);
        else
          data[size_at] = char(uchar(data[size_at]) + random.bounded(-3, 4));
        break;
      }
      case 2:  // an ID byte becomes another, or zero
        data[at] = char(random.bounded(2) ? 0 : random.bounded(256));
        break;
      case 3: {  // a run of junk inside the file
        const int pos = random.bounded(data.size());
        data.insert(pos, QByteArray(1 + random.bounded(32), char(random.bounded(256))));
        break;
      }
      default:  // cut the file
        data.truncate(random.bounded(data.size()) + 1);
        break;
    }
  }
  return data;
}

}  // namespace

class MatroskaFuzzTest : public QObject {
  Q_OBJECT

 private slots:
  void randomDamage_data() {
    QTest::addColumn<QString>("file");
    for (const char* file : {"mkvmerge-h264-aac.mkv", "ffmpeg-vp9-opus.webm", "gstreamer-live.mkv",
                             "mkvmerge-chapters-tags-attachment.mkv", "gstreamer-vp8-vorbis.webm", "mkvmerge-ac3.mka"})
      QTest::newRow(file) << QString::fromLatin1(file);
  }

  void randomDamage() {
    QFETCH(QString, file);
    const QByteArray original = readAll(corvanta::test::dataFile(QStringLiteral("matroska/") + file));
    const QList<int> elements = elementOffsets(original, 0, original.size());
    QVERIFY(elements.size() >= 20);
    QRandomGenerator random(0xC0FFEE ^ quint32(qHash(file)));
    // CORVANTA_FUZZ_ROUNDS runs a longer session by hand; the default keeps the suite quick.
    const int rounds = qEnvironmentVariableIsSet("CORVANTA_FUZZ_ROUNDS") ? qEnvironmentVariableIntValue("CORVANTA_FUZZ_ROUNDS") : 60;
    for (int round = 0; round < rounds; ++round) {
      const QByteArray damaged = mutate(original, elements, random);
      const Parsed parsed = isotest::parseBytes(damaged, QStringLiteral("damaged.mkv"));
      if (parsed.result != 0) {  // only a file whose start no longer looks like EBML may be refused
        QVERIFY2(!parsed.error.isEmpty(), qPrintable(QStringLiteral("round %1").arg(round)));
        continue;
      }
      QVERIFY2(parsed.report.ok(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(parsed.report.summary())));
      QCOMPARE(parsed.report.covered_bits, qint64(damaged.size()) * 8);
      const QString overlapping = overlap(parsed);
      QVERIFY2(overlapping.isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(overlapping)));
    }
  }
};

CORVANTA_TEST_CORE_MAIN(MatroskaFuzzTest)
#include "MatroskaFuzzTest.moc"
