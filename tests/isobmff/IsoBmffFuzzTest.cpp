// Random damage to small real files: byte flips, broken box sizes and counts, cuts. Every
// damaged file must be refused as an unknown format or give a database that passes the
// check and in which no unit lies outside its parent; a fixed seed keeps failures repeatable.
#include "IsoBmffTestSupport.h"
#include "TestSupport.h"

#include <QRandomGenerator>

using namespace isotest;

namespace {

// Offsets of every box header, found by walking containers the way a muxer lays them out.
QList<int> boxOffsets(const QByteArray& data, int begin, int end, int depth = 0) {
  static const QByteArrayList kContainers = {"moov", "trak", "mdia", "minf", "stbl", "moof", "traf", "mvex",
                                             "udta", "edts", "dinf", "iprp", "ipco"};
  QList<int> out;
  int pos = begin;
  while (pos + 8 <= end && depth < 8) {
    const quint32 size = qFromBigEndian<quint32>(data.constData() + pos);
    if (size < 8 || qint64(pos) + size > end) break;
    out << pos;
    if (kContainers.contains(data.mid(pos + 4, 4))) out += boxOffsets(data, pos + 8, pos + int(size), depth + 1);
    pos += int(size);
  }
  return out;
}

QByteArray mutate(QByteArray data, const QList<int>& boxes, QRandomGenerator& random) {
  const int kind = random.bounded(4);
  const int edits = 1 + random.bounded(4);
  for (int i = 0; i < edits && !data.isEmpty(); ++i) {
    switch (kind) {
      case 0:  // flip bytes anywhere
        data[random.bounded(data.size())] = char(random.bounded(256));
        break;
      case 1: {  // a box size becomes something else: tiny, huge, 0, 1, off by a little
        const int at = boxes[random.bounded(boxes.size())];
        static const quint32 kSizes[] = {0, 1, 7, 8, 0x7fffffff, 0xffffffff};
        const quint32 old = qFromBigEndian<quint32>(data.constData() + at);
        const quint32 size = random.bounded(2) ? kSizes[random.bounded(6)] : old + quint32(random.bounded(-16, 16));
        qToBigEndian(size, data.data() + at);
        break;
      }
      case 2: {  // a count or field right after a header becomes huge
        const int at = boxes[random.bounded(boxes.size())] + 8 + 4 * random.bounded(4);
        if (at + 4 <= data.size()) qToBigEndian(quint32(random.generate() | 0x80000000u), data.data() + at);
        break;
      }
      default:  // cut the file
        data.truncate(random.bounded(data.size()) + 1);
        break;
    }
  }
  return data;
}

// What every analysis of a damaged file promises, or an empty string when it holds: the
// file is either refused as not being of this format, or analysed into a database that
// keeps every invariant the viewer relies on, in which no unit runs outside its parent
// (or, at the top, outside the file) and the top level covers every byte.
QString brokenPromise(const QByteArray& damaged, const Parsed& parsed) {
  if (parsed.result != 0) {
    if (parsed.result != Parser::UnknownFormat)
      return QStringLiteral("refused with %1 (%2) instead of as an unknown format").arg(parsed.result).arg(parsed.error);
    return parsed.error.isEmpty() ? QStringLiteral("refused without a reason") : QString();
  }
  if (!parsed.report.ok())
    return parsed.report.summary();
  const qint64 file_bits = qint64(damaged.size()) * 8;
  if (parsed.report.covered_bits != file_bits)
    return QStringLiteral("the top level covers %1 of %2 bits").arg(parsed.report.covered_bits).arg(file_bits);
  // The same containment, walked here over the elements as read back.
  for (const Element& e : parsed.elements) {
    if (e.parent < 0 || e.parent >= e.id || e.id != qint64(&e - parsed.elements.data()) + 1)
      return QStringLiteral("element %1 has the parent %2").arg(e.id).arg(e.parent);
    const Element* parent = e.parent == 0 ? nullptr : &parsed.elements[size_t(e.parent - 1)];
    const qint64 begin = parent ? parent->offset : 0;
    const qint64 end = parent ? parent->offset + parent->size : file_bits;
    if (e.offset < begin || e.offset + e.size > end)
      return QStringLiteral("%1 (id %2) [%3, %4) lies outside [%5, %6)")
          .arg(e.name).arg(e.id).arg(e.offset).arg(e.offset + e.size).arg(begin).arg(end);
  }
  return QString();
}

}  // namespace

class IsoBmffFuzzTest : public QObject {
  Q_OBJECT

 private slots:
  void randomDamage_data() {
    QTest::addColumn<QString>("file");
    for (const char* file : {"faststart.mp4", "fragmented.mp4", "movie.mov", "image.heic", "audio.m4a"})
      QTest::newRow(file) << QString::fromLatin1(file);
  }

  void randomDamage() {
    QFETCH(QString, file);
    const QByteArray original = readAll(corvanta::test::dataFile(QStringLiteral("isobmff/") + file));
    const QList<int> boxes = boxOffsets(original, 0, original.size());
    QVERIFY(boxes.size() >= 3);
    QRandomGenerator random(0xC0FFEE ^ quint32(qHash(file)));
    // CORVANTA_FUZZ_ROUNDS runs a longer session by hand; the default keeps the suite quick.
    const int rounds = qEnvironmentVariableIsSet("CORVANTA_FUZZ_ROUNDS") ? qEnvironmentVariableIntValue("CORVANTA_FUZZ_ROUNDS") : 60;
    for (int round = 0; round < rounds; ++round) {
      const QByteArray damaged = mutate(original, boxes, random);
      const QString broken = brokenPromise(damaged, parseBytes(damaged));
      if (!broken.isEmpty()) {
        // Kept for replaying by hand with corvanta-dump.
        const QString kept = QDir::temp().filePath(QStringLiteral("isobmff-fuzz-%1-round-%2.mp4").arg(file).arg(round));
        QFile out(kept);
        if (out.open(QIODevice::WriteOnly))
          out.write(damaged);
        QFAIL(qPrintable(QStringLiteral("round %1 (input kept as %2): %3").arg(round).arg(kept, broken)));
      }
    }
  }
};

CORVANTA_TEST_CORE_MAIN(IsoBmffFuzzTest)
#include "IsoBmffFuzzTest.moc"
