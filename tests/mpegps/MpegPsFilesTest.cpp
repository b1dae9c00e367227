// Files made by real muxers (see tests/data/mpegps/make-test-files.sh): the check passes and
// covers every bit; packs and packets are where start-code arithmetic (ps-walk.py) finds them;
// every packet ffprobe reads starts at a PES packet with its PTS and DTS; the MPEG-2 video header
// fields are those of ffmpeg's trace_headers, in stream order; broken copies keep the good units.
#include "ParsedFile.h"
#include "TestSupport.h"

#include <QMap>
#include <QSet>

using namespace corvanta::test;

namespace {

QString dataPath(const QString& file) { return dataFile("mpegps/" + file); }

QList<QByteArray> lines(const QString& path) {
  QList<QByteArray> out;
  for (const QByteArray& line : readAll(path).split('\n'))
    if (!line.isEmpty()) out.append(line);
  return out;
}

bool isPackHeader(const Element& e) { return e.name == QLatin1String("pack_header"); }
bool isPacket(const Element& e) {
  return e.name == QLatin1String("PES_packet") || e.name == QLatin1String("system_header");
}

// The units of the walk as ps-walk.py prints them.
QStringList parsedWalk(const Parsed& parsed) {
  QStringList out;
  for (const Element& e : parsed.elements) {
    if (isPackHeader(e)) {
      out << QStringLiteral("pack,%1,%2").arg(e.byteOffset()).arg(e.byteSize());
    } else if (isPacket(e)) {
      const Element* id = parsed.at(e.name == QLatin1String("PES_packet") ? "PES_header/stream_id" : "", e.id);
      const QString code = id ? id->raw : QStringLiteral("0xBB");
      out << QStringLiteral("packet,%1,%2,%3").arg(e.byteOffset()).arg(code).arg(e.byteSize());
    } else if (e.name == QLatin1String("MPEG_program_end_code")) {
      out << QStringLiteral("end,%1").arg(e.byteOffset());
    }
  }
  return out;
}

QStringList witnessWalk(const QString& file) {
  QStringList out;
  for (const QByteArray& line : lines(dataPath(file + ".walk.csv"))) out << QString::fromLatin1(line);
  return out;
}

// A PES packet's time stamps (-1: none), by the file offset of the packet.
struct Stamps {
  qint64 pts = -1, dts = -1;
};
QMap<qint64, Stamps> pesStamps(const Parsed& parsed) {
  QMap<qint64, Stamps> out;
  for (const Element& e : parsed.elements) {
    if (e.name != QLatin1String("PES_packet")) continue;
    Stamps stamps;
    if (const Element* pts = parsed.at("PES_header/PTS", e.id)) stamps.pts = pts->raw.toLongLong();
    if (const Element* dts = parsed.at("PES_header/DTS", e.id)) stamps.dts = dts->raw.toLongLong();
    out[e.byteOffset()] = stamps;
  }
  return out;
}

// ffmpeg unwraps 33-bit stamps into signed ones; the file holds them modulo 2^33.
qint64 wrapped(qint64 stamp) { return stamp & ((qint64(1) << 33) - 1); }

const QSet<QString> kVideoHeaders = {"sequence_header", "sequence_extension", "sequence_display_extension",
                                     "quant_matrix_extension", "copyright_extension", "picture_display_extension",
                                     "group_of_pictures_header", "picture_header", "picture_coding_extension"};

// The fields that trace_headers also lists, in pre-order: the fields right under the video
// headers (time_code and profile_and_level_indication as one number each, as it shows them),
// without the second pieces of fields split over two PES packets.
QStringList parsedTraceFields(const Parsed& parsed, const QSet<QString>& names) {
  QStringList out;
  QSet<qint64> headers;
  for (const Element& e : parsed.elements) {
    if (kVideoHeaders.contains(e.name)) headers.insert(e.id);
    if (!headers.contains(e.parent) || !names.contains(e.name)) continue;
    if (e.hrf.contains(QLatin1String("continued from"))) continue;
    out << e.name + QLatin1Char('=') + e.raw;
  }
  return out;
}

}  // namespace

class MpegPsFilesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void validFiles_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"ffmpeg-mpeg1.mpg", "ffmpeg-mpeg2.mpg", "ffmpeg.vob", "ffmpeg-dvd.vob", "gstreamer.mpg",
                             "raw.m2v", "raw.m1v"})
      QTest::newRow(name) << QString::fromLatin1(name);
  }
  void validFiles() {
    QFETCH(QString, file);
    const QString path = dataPath(file);
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.result, 0);
    QCOMPARE(parsed.format, QStringLiteral("mpegps"));
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, QFileInfo(path).size() * 8);
    QCOMPARE(parsed.garbageCount(), qint64(0));
    for (const Element& e : parsed.elements) {
      QVERIFY2(!e.hrf.contains(QLatin1String("truncated")) && !e.hrf.contains(QLatin1String("cut short")) &&
                   !e.raw.contains(QLatin1String("cut short")) && !e.hrf.contains(QLatin1String("should be")) &&
                   !e.hrf.contains(QLatin1String("unexpected")) && !e.hrf.contains(QLatin1String("wrong")),
               qPrintable(QStringLiteral("%1 at %2: %3 [%4]").arg(e.name).arg(e.byteOffset()).arg(e.raw, e.hrf)));
    }
  }

  void packsAndPacketsAgreeWithStartCodeArithmetic_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"ffmpeg-mpeg1.mpg", "ffmpeg-mpeg2.mpg", "ffmpeg.vob", "ffmpeg-dvd.vob", "gstreamer.mpg"})
      QTest::newRow(name) << QString::fromLatin1(name);
  }
  void packsAndPacketsAgreeWithStartCodeArithmetic() {
    QFETCH(QString, file);
    const QStringList expected = witnessWalk(file);
    QVERIFY(expected.size() > 5);
    QCOMPARE(parsedWalk(parseFile(dataPath(file))), expected);
  }

  // Each packet ffprobe gives a position starts a PES packet, whose PTS and DTS are ffprobe's.
  // ffmpeg makes up a PTS for a PES packet without one, and its own DTS where a PES packet's DTS
  // equals its PTS (GStreamer writes them so): those are not compared.
  void pesPacketsAgreeWithFfprobe_data() { packsAndPacketsAgreeWithStartCodeArithmetic_data(); }
  void pesPacketsAgreeWithFfprobe() {
    QFETCH(QString, file);
    const QMap<qint64, Stamps> stamps = pesStamps(parseFile(dataPath(file)));
    int checked = 0;
    for (const QByteArray& line : lines(dataPath(file + ".packets"))) {
      const QList<QByteArray> parts = line.split(',');  // stream_index,pts,dts,size,pos
      bool known = false;
      const qint64 pos = parts.value(4).toLongLong(&known);
      if (!known) continue;
      QVERIFY2(stamps.contains(pos), line.constData());
      const Stamps& pes = stamps[pos];
      bool has_pts = false, has_dts = false;
      const qint64 pts = parts.value(1).toLongLong(&has_pts);
      const qint64 dts = parts.value(2).toLongLong(&has_dts);
      if (has_pts && pes.pts >= 0) QCOMPARE(pes.pts, wrapped(pts));
      if (has_dts && pes.dts >= 0 && pes.dts != pes.pts) QCOMPARE(pes.dts, wrapped(dts));
      ++checked;
    }
    QVERIFY(checked >= 5);
  }

  void videoHeadersAgreeWithTraceHeaders_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"ffmpeg-mpeg2.mpg", "ffmpeg.vob", "gstreamer.mpg", "raw.m2v"})
      QTest::newRow(name) << QString::fromLatin1(name);
  }
  void videoHeadersAgreeWithTraceHeaders() {
    QFETCH(QString, file);
    QStringList expected;
    QSet<QString> names;
    for (const QByteArray& line : lines(dataPath(file + ".trace.txt"))) {
      expected << QString::fromLatin1(line);
      names.insert(QString::fromLatin1(line.left(line.indexOf('='))));
    }
    QVERIFY(expected.size() > 100);
    const QStringList actual = parsedTraceFields(parseFile(dataPath(file)), names);
    for (qsizetype i = 0; i < std::min(actual.size(), expected.size()); ++i)
      QVERIFY2(actual[i] == expected[i], qPrintable(QStringLiteral("field %1: %2, trace_headers %3").arg(i).arg(actual[i], expected[i])));
    QCOMPARE(actual.size(), expected.size());
  }

  // Broken copies: the check passes, what cannot be framed is GARBAGE, and a unit cut short says so.
  void brokenFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("garbage");
    QTest::addColumn<QString>("note");  // in the readable value of some element
    QTest::newRow("truncated") << "truncated.mpg" << 0 << "truncated";
    QTest::newRow("junk") << "junk.vob" << 1 << "";
    QTest::newRow("length past the next pack") << "bad-length.mpg" << 0 << "runs past the next start code";
    QTest::newRow("truncated video") << "truncated.m2v" << 0 << "";
  }
  void brokenFiles() {
    QFETCH(QString, file);
    QFETCH(int, garbage);
    QFETCH(QString, note);
    const QString path = dataPath(file);
    const Parsed parsed = parseFile(path);
    QCOMPARE(parsed.result, 0);
    QVERIFY2(parsed.report.ok(), qPrintable(parsed.report.summary()));
    QCOMPARE(parsed.report.covered_bits, QFileInfo(path).size() * 8);
    QCOMPARE(parsed.garbageCount(), qint64(garbage));
    if (!note.isEmpty()) {
      bool found = false;
      for (const Element& e : parsed.elements) found = found || e.hrf.contains(note);
      QVERIFY2(found, qPrintable(note));
    }
  }

  // 300 bytes of junk before the third pack: one GARBAGE stretch over them, then every unit of the
  // good file, 300 bytes further on.
  void junkResumesAtTheNextPack() {
    const Parsed parsed = parseFile(dataPath("junk.vob"));
    const auto junk = parsed.named(QString::fromLatin1(corvanta::kGarbageName.data()));
    QCOMPARE(junk.size(), size_t(1));
    QCOMPARE(junk.front()->byteOffset(), qint64(2 * 2048));
    QCOMPARE(junk.front()->byteSize(), qint64(300));
    QStringList expected;
    for (const QString& unit : witnessWalk("ffmpeg.vob")) {
      QStringList parts = unit.split(QLatin1Char(','));
      const qint64 offset = parts[1].toLongLong();
      if (offset >= 2 * 2048) parts[1] = QString::number(offset + 300);
      expected << parts.join(QLatin1Char(','));
    }
    QCOMPARE(parsedWalk(parsed), expected);
  }
};

CORVANTA_TEST_CORE_MAIN(MpegPsFilesTest)
#include "MpegPsFilesTest.moc"
