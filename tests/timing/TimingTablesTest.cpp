// The streams, frames and faults tables: ffprobe's streams and packets as the witness of one
// file of each container family, the TS checks of ETSI TR 101 290 on files edited to hold one
// fault each, and the compact rows of TimingWriter on their own.

#include "PackedFrames.h"
#include "ParsedFile.h"
#include "TestSupport.h"
#include "TimingWriter.h"

#include <QSqlQuery>
#include <QtTest>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>

using namespace corvanta;
using corvanta::test::readAll;

namespace {

struct StreamRow {
  qint64 stream = 0;
  QString kind, codec;
  QVariant container_id;
  qint64 num = 0, den = 0;
};

struct FrameRow {
  qint64 element = 0, stream = 0, offset = 0, size = 0, element_offset = 0;
  QVariant dts, pts, duration, key;
  QString picture;
};

struct FaultRow {
  qint64 element = 0;
  QString check;
  int priority = 0;
  QString detail;
};

struct Tables {
  int result = -1;
  std::vector<StreamRow> streams;
  std::vector<FrameRow> frames;
  std::vector<FaultRow> faults;
};

Tables parseTables(const QString& path) {
  Tables t;
  Parser parser;
  t.result = parser.parseFile(path, QStringLiteral(":memory:"), QString());
  QSqlDatabase* connection = parser.getConnection();
  if (!connection) return t;
  {
    QSqlDatabase db = QSqlDatabase::database(test::kConnection, false);
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT stream, kind, codec, container_id, time_base_num, time_base_den FROM streams"
                          " ORDER BY rowid"));
    while (q.next())
      t.streams.push_back({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3),
                           q.value(4).toLongLong(), q.value(5).toLongLong()});
    q.exec(QStringLiteral("SELECT f.element_id, f.stream, f.byte_offset, f.size, f.dts, f.pts, f.duration, f.key,"
                          " f.picture_type, e.offset FROM frames f JOIN elements e ON e.id = f.element_id"
                          " ORDER BY f.rowid"));
    while (q.next()) {
      FrameRow f;
      f.element = q.value(0).toLongLong();
      f.stream = q.value(1).toLongLong();
      f.offset = q.value(2).toLongLong();
      f.size = q.value(3).toLongLong();
      f.dts = q.value(4);
      f.pts = q.value(5);
      f.duration = q.value(6);
      f.key = q.value(7);
      f.picture = q.value(8).toString();
      f.element_offset = q.value(9).toLongLong() / 8;
      t.frames.push_back(f);
    }
    q.exec(QStringLiteral("SELECT element_id, check_name, priority, detail FROM faults ORDER BY rowid"));
    while (q.next())
      t.faults.push_back({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toInt(), q.value(3).toString()});
  }
  delete connection;
  QSqlDatabase::removeDatabase(test::kConnection);
  return t;
}

// ffprobe's lists as tests/data/make-timing-witness.sh writes them.
struct WitnessStream {
  int index = 0;
  QString type;
  QString id;  // "0x100", or "N/A"
  qint64 num = 0, den = 0;
};

struct WitnessPacket {
  int stream = 0;
  QString pts, dts, duration;
  qint64 size = 0;
  QString pos, flags;
};

std::vector<QList<QByteArray>> csvLines(const QString& path) {
  std::vector<QList<QByteArray>> out;
  const QList<QByteArray> lines = readAll(path).split('\n');
  for (int i = 1; i < lines.size(); ++i)
    if (!lines[i].isEmpty()) out.push_back(lines[i].split(','));
  return out;
}

std::vector<WitnessStream> witnessStreams(const QString& path) {
  std::vector<WitnessStream> out;
  for (const auto& parts : csvLines(path + QStringLiteral(".ffprobe-streams.csv"))) {
    if (parts.size() < 5) continue;
    const QList<QByteArray> base = parts[4].split('/');
    out.push_back({parts[0].toInt(), QString::fromLatin1(parts[2]), QString::fromLatin1(parts[3]),
                   base.value(0).toLongLong(), base.value(1).toLongLong()});
  }
  return out;
}

std::vector<WitnessPacket> witnessPackets(const QString& path, int stream) {
  std::vector<WitnessPacket> out;
  for (const auto& parts : csvLines(path + QStringLiteral(".ffprobe-packets.csv"))) {
    if (parts.size() < 7 || parts[0].toInt() != stream) continue;
    out.push_back({stream, QString::fromLatin1(parts[1]), QString::fromLatin1(parts[2]), QString::fromLatin1(parts[3]),
                   parts[4].toLongLong(), QString::fromLatin1(parts[5]), QString::fromLatin1(parts[6])});
  }
  return out;
}

// What of a family's frames ffprobe's packets say the same of.
enum Compare : unsigned {
  Sizes = 1,            // one packet per frame, same sizes
  ElementPos = 2,       // pos is where the frame's element starts (TS packet, FLV tag)
  BytePos = 4,          // pos is the frame's first byte
  Dts = 8,              // decode times, up to one shift per stream (an edit list, a start offset)
  Pts = 16,             // presentation times, the same way
  Durations = 32,
  Keys = 64,
  Totals = 128,         // ffprobe's parser splits or joins the carrier's packets: total bytes only
  PtsAmongPackets = 256,  // every time a frame carries is the time of one of ffprobe's packets
};

double seconds(qint64 ticks, qint64 num, qint64 den) { return double(ticks) * double(num) / double(den); }

const StreamRow* matchStream(const Tables& t, const WitnessStream& w, const std::vector<WitnessStream>& all) {
  const QString kind = w.type == QLatin1String("subtitle") ? QStringLiteral("subtitle") : w.type;
  if (w.id != QLatin1String("N/A")) {
    bool ok = false;
    const qint64 id = w.id.toLongLong(&ok, 16);
    for (const StreamRow& s : t.streams)
      if (ok && s.kind == kind && s.container_id.toLongLong() == id) return &s;
    // ffprobe names a program stream's streams by their start code (0x1E0), the table by the
    // stream_id (0xE0).
    for (const StreamRow& s : t.streams)
      if (ok && id >= 0x1BD && id <= 0x1FF && s.kind == kind && s.container_id.toLongLong() == (id & 0xFF)) return &s;
    return nullptr;
  }
  // Without an id: the n-th stream of the same kind.
  int nth = 0;
  for (const WitnessStream& other : all) {
    if (other.index == w.index) break;
    if (other.type == w.type) ++nth;
  }
  for (const StreamRow& s : t.streams)
    if (s.kind == kind && nth-- == 0) return &s;
  return nullptr;
}

void compareStream(const QString& label, const StreamRow& s, const WitnessStream& ws, std::vector<FrameRow> frames,
                   const std::vector<WitnessPacket>& packets, unsigned what) {
  if (what & Totals) {
    qint64 ours = 0, theirs = 0;
    for (const FrameRow& f : frames) ours += f.size;
    for (const WitnessPacket& p : packets) theirs += p.size;
    QVERIFY2(ours == theirs, qPrintable(QStringLiteral("%1: %2 bytes, ffprobe %3").arg(label).arg(ours).arg(theirs)));
  }
  if (what & PtsAmongPackets) {
    std::set<qint64> times;
    for (const WitnessPacket& p : packets) times.insert(p.pts.toLongLong());
    for (const FrameRow& f : frames)
      if (!f.pts.isNull())
        QVERIFY2(times.count(f.pts.toLongLong()),
                 qPrintable(QStringLiteral("%1: pts %2 is no packet's").arg(label).arg(f.pts.toLongLong())));
  }
  if (!(what & Sizes)) return;
  // ffprobe lists no empty packets; an empty AVI chunk (a dropped frame) still takes its time.
  frames.erase(std::remove_if(frames.begin(), frames.end(), [](const FrameRow& f) { return f.size == 0; }),
               frames.end());
  // A frame ffprobe does not count as a packet (an MP3's Info frame) may lead: align on the
  // first packet's position.
  if ((what & BytePos) && !packets.empty() && !frames.empty()) {
    const qint64 first = packets.front().pos.toLongLong();
    size_t skip = 0;
    while (skip < frames.size() && frames[skip].offset != first) ++skip;
    QVERIFY2(skip <= 1, qPrintable(label + QStringLiteral(": the first packet is not a frame")));
    frames.erase(frames.begin(), frames.begin() + qint64(skip));
  }
  QVERIFY2(frames.size() == packets.size(), qPrintable(QStringLiteral("%1: %2 frames, ffprobe %3 packets")
                                                          .arg(label).arg(frames.size()).arg(packets.size())));
  double dts_shift = 0, pts_shift = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const FrameRow& f = frames[i];
    const WitnessPacket& p = packets[i];
    const QString at = QStringLiteral("%1 frame %2").arg(label).arg(i);
    QVERIFY2(f.size == p.size, qPrintable(at + QStringLiteral(": size %1, ffprobe %2").arg(f.size).arg(p.size)));
    if ((what & ElementPos) && p.pos != QLatin1String("N/A"))
      QVERIFY2(f.element_offset == p.pos.toLongLong(), qPrintable(at + QStringLiteral(": element at %1, pos %2")
                                                                           .arg(f.element_offset).arg(p.pos)));
    if ((what & BytePos) && p.pos != QLatin1String("N/A"))
      QVERIFY2(f.offset == p.pos.toLongLong(), qPrintable(at + QStringLiteral(": at %1, pos %2").arg(f.offset).arg(p.pos)));
    const auto sameTime = [&](const QVariant& ours, const QString& theirs, double& shift, const char* name) {
      if (theirs == QLatin1String("N/A")) return true;
      if (ours.isNull()) return false;
      const double a = seconds(ours.toLongLong(), s.num, s.den);
      const double b = seconds(theirs.toLongLong(), ws.num, ws.den);
      if (i == 0) shift = b - a;
      const bool same = std::fabs(a + shift - b) < 1e-6;
      if (!same) qWarning("%s: %s %.6f s, ffprobe %.6f s (shift %.6f s)", qPrintable(at), name, a, b, shift);
      return same;
    };
    if (what & Dts) QVERIFY(sameTime(f.dts, p.dts, dts_shift, "dts"));
    if (what & Pts) QVERIFY(sameTime(f.pts, p.pts, pts_shift, "pts"));
    if ((what & Durations) && p.duration != QLatin1String("N/A") && p.duration.toLongLong() > 0) {
      double unused = 0;
      QVERIFY2(!f.duration.isNull(), qPrintable(at + QStringLiteral(": no duration")));
      const double a = seconds(f.duration.toLongLong(), s.num, s.den);
      const double b = seconds(p.duration.toLongLong(), ws.num, ws.den);
      QVERIFY2(std::fabs(a - b) < 1e-6, qPrintable(at + QStringLiteral(": duration %1 s, ffprobe %2 s").arg(a).arg(b)));
      (void)unused;
    }
    if (what & Keys)
      QVERIFY2(f.key.toInt() == (p.flags.startsWith(QLatin1Char('K')) ? 1 : 0),
               qPrintable(at + QStringLiteral(": key %1, ffprobe flags %2").arg(f.key.toString(), p.flags)));
  }
}

std::vector<FrameRow> framesOf(const Tables& t, qint64 stream) {
  std::vector<FrameRow> out;
  for (const FrameRow& f : t.frames)
    if (f.stream == stream) out.push_back(f);
  return out;
}

}  // namespace

class TimingTablesTest : public QObject {
  Q_OBJECT

 private slots:
  // For every stream ffprobe lists (of the kinds compared): a stream of that kind, container id
  // and time base, and frames that agree with its packets in what the family makes comparable.
  void framesAgreeWithFfprobe_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");  // the streams compared: "video", "audio" or "" for all
    QTest::addColumn<unsigned>("what");
    const unsigned all = Sizes | Dts | Pts | Durations | Keys;
    QTest::newRow("MP4, edit list shifts the audio") << "isobmff/progressive.mp4" << "" << (all | BytePos);
    // The first sample of the file's track runs lasts 1680 ticks (its trun says so, and the second
    // sample's decode time agrees); ffprobe reports the default 1024: durations not compared.
    QTest::newRow("MP4 fragments") << "isobmff/fragmented.mp4" << "" << ((all & ~Durations) | BytePos);
    // Matroska stores presentation times only; ffprobe's pos is the block's data, not the frame.
    QTest::newRow("Matroska video") << "matroska/ffmpeg-h264-aac.mkv" << "video"
                                    << unsigned(Sizes | Pts | Durations | Keys);
    QTest::newRow("Matroska audio") << "matroska/ffmpeg-h264-aac.mkv" << "audio" << unsigned(Sizes | Pts | Keys);
    // One PES packet per video frame; the audio PES packets hold several frames each.
    QTest::newRow("TS video") << "mpegts/timing-clean.ts" << "video" << unsigned(Sizes | ElementPos | Dts | Pts);
    QTest::newRow("TS audio") << "mpegts/timing-clean.ts" << "audio" << unsigned(Totals | PtsAmongPackets);
    // ffprobe's parsers cut a program stream into frames, not PES packets.
    QTest::newRow("PS") << "mpegps/ffmpeg-mpeg2.mpg" << "" << unsigned(Totals | PtsAmongPackets);
    QTest::newRow("AVI") << "riff/mpeg4-mp3.avi" << "" << unsigned(Sizes | BytePos | Dts | Durations | Keys);
    // Opus: the granule and the TOC byte time every packet; ffprobe's pos is the page's.
    QTest::newRow("Ogg Opus") << "ogg/ffmpeg-opus.opus" << "" << unsigned(Sizes | Pts | Dts | Durations | Keys);
    // Theora: one frame per packet from the granule, key from the frame header. Vorbis packet
    // times need the setup header's block sizes: sizes only (ffprobe also starts it 256 earlier).
    QTest::newRow("Ogg Theora") << "ogg/gstreamer-theora.ogv" << "video" << unsigned(Sizes | Pts | Keys);
    QTest::newRow("Ogg Vorbis") << "ogg/gstreamer-theora.ogv" << "audio" << unsigned(Sizes | Keys);
    QTest::newRow("FLV") << "flv/h264-aac.flv" << "" << unsigned(Sizes | ElementPos | Dts | Pts | Keys);
    QTest::newRow("ADTS") << "adts/stereo-lc.aac" << "" << unsigned(Sizes | BytePos | Dts | Pts | Durations);
    QTest::newRow("MP3, its Info frame no packet") << "mpegaudio/ffmpeg-cbr.mp3" << ""
                                                   << unsigned(Sizes | BytePos | Dts | Pts | Durations);
  }

  void framesAgreeWithFfprobe() {
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(unsigned, what);
    const QString path = test::dataFile(file);
    const Tables t = parseTables(path);
    QCOMPARE(t.result, 0);
    const std::vector<WitnessStream> streams = witnessStreams(path);
    QVERIFY(!streams.empty());
    int compared = 0;
    for (const WitnessStream& ws : streams) {
      if (ws.type != QLatin1String("video") && ws.type != QLatin1String("audio")) continue;
      if (!kind.isEmpty() && ws.type != kind) continue;
      const StreamRow* s = matchStream(t, ws, streams);
      QVERIFY2(s, qPrintable(QStringLiteral("no %1 stream for ffprobe's stream %2").arg(ws.type).arg(ws.index)));
      QVERIFY2(s->num > 0 && s->den > 0, "the stream has no time base");
      compareStream(QStringLiteral("stream %1").arg(ws.index), *s, ws, framesOf(t, s->stream),
                    witnessPackets(path, ws.index), what);
      if (QTest::currentTestFailed()) return;
      ++compared;
    }
    QVERIFY(compared > 0);
  }

  // Each file edited from timing-clean.ts shows its fault, and only it; the clean file none.
  void tsChecksFindTheirFault_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("checks");  // the check names found, each once or more
    QTest::newRow("clean") << "mpegts/timing-clean.ts" << QStringList();
    QTest::newRow("lost packet") << "mpegts/fault-continuity.ts" << QStringList{"1.4 Continuity_count_error"};
    QTest::newRow("corrupt sync byte") << "mpegts/fault-sync-byte.ts" << QStringList{"1.2 Sync_byte_error"};
    QTest::newRow("PAT missing 0.7 s") << "mpegts/fault-pat-gap.ts" << QStringList{"1.3 PAT_error"};
    QTest::newRow("transport error") << "mpegts/fault-transport.ts" << QStringList{"2.1 Transport_error"};
    QTest::newRow("PMT CRC") << "mpegts/fault-crc.ts" << QStringList{"2.2 CRC_error"};
    QTest::newRow("no PCR for 160 ms")
        << "mpegts/fault-pcr-gap.ts"
        << QStringList{"2.3 PCR_discontinuity_indicator_error", "2.3 PCR_repetition_error"};
    QTest::newRow("PCR 2 us late") << "mpegts/fault-pcr-accuracy.ts" << QStringList{"2.4 PCR_accuracy_error"};
    QTest::newRow("time stamps 1 s later") << "mpegts/timing-gap.ts" << QStringList{"2.5 PTS_error"};
    QTest::newRow("one PES 100 ms back") << "mpegts/timing-backward-dts.ts" << QStringList();
    // Older files of the suite are written at a variable rate: no PCR accuracy to check there.
    QTest::newRow("variable rate, PCR every 100 ms")
        << "mpegts/gstreamer.ts" << QStringList{"2.3 PCR_repetition_error"};
    QTest::newRow("bytes without sync") << "mpegts/junk.ts"
                                         << QStringList{"1.1 TS_sync_loss", "2.3 PCR_repetition_error"};
  }

  void tsChecksFindTheirFault() {
    QFETCH(QString, file);
    QFETCH(QStringList, checks);
    const Tables t = parseTables(test::dataFile(file));
    QCOMPARE(t.result, 0);
    QStringList found;
    for (const FaultRow& fault : t.faults) {
      if (!found.contains(fault.check)) found.append(fault.check);
      QCOMPARE(fault.priority, fault.check.at(0).digitValue());
      QVERIFY(!fault.detail.isEmpty());
      QVERIFY(fault.element > 0);
    }
    found.sort();
    QCOMPARE(found, checks);
  }

  // The fault stands on the packet where it shows, and says what it saw.
  void faultNamesItsPacket() {
    const Tables t = parseTables(test::dataFile(QStringLiteral("mpegts/fault-continuity.ts")));
    QCOMPARE(t.faults.size(), size_t(1));
    QCOMPARE(t.faults[0].detail, QStringLiteral("cc 6, expected 5"));
    const test::Parsed parsed = test::parseFile(test::dataFile(QStringLiteral("mpegts/fault-continuity.ts")));
    const test::Element& packet = parsed.elements[size_t(t.faults[0].element - 1)];
    QCOMPARE(packet.name, QStringLiteral("packet"));
    QVERIFY2(packet.raw.contains(QLatin1String("cc 6 (expected 5)")), qPrintable(packet.raw));
  }

  // The edited time stamps stand in the frames as the script made them.
  void editedTimeStampsShow() {
    const Tables clean = parseTables(test::dataFile(QStringLiteral("mpegts/timing-clean.ts")));
    const Tables back = parseTables(test::dataFile(QStringLiteral("mpegts/timing-backward-dts.ts")));
    const Tables gap = parseTables(test::dataFile(QStringLiteral("mpegts/timing-gap.ts")));
    QCOMPARE(back.frames.size(), clean.frames.size());
    QCOMPARE(gap.frames.size(), clean.frames.size());
    int moved_back = 0, moved_later = 0;
    for (size_t i = 0; i < clean.frames.size(); ++i) {
      if (clean.frames[i].dts.isNull() || clean.streams[size_t(clean.frames[i].stream - 1)].kind == QLatin1String("pcr"))
        continue;
      const qint64 dts = clean.frames[i].dts.toLongLong();
      moved_back += back.frames[i].dts.toLongLong() == dts - 9000;
      moved_later += gap.frames[i].dts.toLongLong() == dts + 90000;
    }
    QCOMPARE(moved_back, 1);
    QVERIFY(moved_later > 10);
  }

  // Streams of every kind the families declare, with the container's own ids.
  void streamsCarryTheContainerIds_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("streams");  // "kind codec id num/den"
    QTest::newRow("TS") << "mpegts/timing-clean.ts"
                        << QStringList{"pcr  256 1/27000000", "video MPEG-2 video 256 1/90000",
                                       "audio MPEG-1 audio 257 1/90000"};
    QTest::newRow("MP4") << "isobmff/progressive.mp4" << QStringList{"audio AAC 2 1/16000", "video H.264 1 1/10240"};
    QTest::newRow("Matroska") << "matroska/ffmpeg-h264-aac.mkv"
                              << QStringList{"audio AAC 2 1/1000", "video H.264 1 1/1000"};
    QTest::newRow("FLV") << "flv/h264-aac.flv"
                         << QStringList{"data  18 1/1000", "video H.264 9 1/1000", "audio AAC 8 1/1000"};
    QTest::newRow("Ogg") << "ogg/ffmpeg-opus.opus" << QStringList{"audio Opus 3867230561 1/48000"};
    QTest::newRow("ADTS") << "adts/stereo-lc.aac" << QStringList{"audio AAC  1/48000"};
  }

  void streamsCarryTheContainerIds() {
    QFETCH(QString, file);
    QFETCH(QStringList, streams);
    const Tables t = parseTables(test::dataFile(file));
    QStringList found;
    for (const StreamRow& s : t.streams)
      found << QStringLiteral("%1 %2 %3 %4/%5").arg(s.kind, s.codec, s.container_id.toString()).arg(s.num).arg(s.den);
    QCOMPARE(found, streams);
  }

  // Picture types come from the frame decoders where they run.
  void pictureTypesFromTheFrameDecoders() {
    const Tables t = parseTables(test::dataFile(QStringLiteral("isobmff/progressive.mp4")));
    std::map<QString, int> types;
    for (const FrameRow& f : t.frames)
      if (t.streams[size_t(f.stream - 1)].kind == QLatin1String("video")) ++types[f.picture];
    QVERIFY(types[QStringLiteral("I")] >= 1);
    QVERIFY(types[QStringLiteral("P")] + types[QStringLiteral("B")] >= 1);
    QCOMPARE(types.count(QString()), size_t(0));
  }

  // A TS video frame row has the picture type that ffprobe gives the PES packet starting in the
  // same transport packet (tests/data/make-frame-traces.sh wrote pictures.csv: key, position, type).
  void tsPictureTypesAgreeWithFfprobe_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("H.264") << "mpegts/h264-bframes.ts";
    QTest::newRow("HEVC") << "mpegts/hevc-bframes.ts";
  }
  void tsPictureTypesAgreeWithFfprobe() {
    QFETCH(QString, file);
    const Tables t = parseTables(test::dataFile(file));
    std::map<qint64, const FrameRow*> video;
    for (const FrameRow& f : t.frames)
      if (t.streams[size_t(f.stream - 1)].kind == QLatin1String("video")) video[f.element_offset] = &f;
    int compared = 0;
    for (const QByteArray& line : readAll(test::dataFile(file + QStringLiteral(".pictures.csv"))).split('\n')) {
      const QList<QByteArray> fields = line.split(',');
      if (fields.size() != 3) continue;
      const auto frame = video.find(fields[1].toLongLong());
      QVERIFY2(frame != video.end(), qPrintable(QStringLiteral("no frame row at byte %1").arg(QString::fromLatin1(fields[1]))));
      QCOMPARE(frame->second->picture, QString::fromLatin1(fields[2]));
      if (fields[0] == "1") QCOMPARE(frame->second->key.toInt(), 1);
      ++compared;
    }
    QCOMPARE(compared, int(video.size()));
    QVERIFY(compared >= 5);
  }

  // TimingWriter's rows on their own: compact, NULL where unknown, nothing from a disabled writer.
  void frameRowsAreCompact() { QVERIFY(TimingWriter::kFrameRowBytes <= 40); }

  // Packed frames come back exactly, across streams, from extreme values and back, with every
  // unknown combination, and over the boundary of their chunks.
  void packedFramesComeBackExactly() {
    constexpr int64_t kLow = std::numeric_limits<int64_t>::min(), kHigh = std::numeric_limits<int64_t>::max();
    const int64_t extremes[] = {0, 1, -1, kLow, kHigh, kLow + 1, kHigh - 1, int64_t(1) << 33, 90000};
    std::mt19937_64 random(7);
    std::vector<PackedFrames::Row> rows;
    for (int i = 0; i < 200000; ++i) {
      PackedFrames::Row r;
      const bool wild = i % 97 == 0;
      r.flags = uint8_t(random() & 0x7F);
      r.element_id = wild ? extremes[random() % 9] : int64_t(i) * 3 + int64_t(random() % 5);
      r.stream = wild ? 65535 : int(1 + random() % 4);
      r.byte_offset = wild ? extremes[random() % 9] : int64_t(i) * 188;
      r.size = wild ? (int64_t(1) << 32) - 1 : int64_t(random() % 5000);
      r.dts = wild ? extremes[random() % 9] : int64_t(i) * 3600;
      r.pts = wild ? extremes[random() % 9] : r.dts + int64_t(random() % 7200) - 3600;
      r.duration = wild ? std::numeric_limits<int32_t>::min() : 3600;
      // What the flags call unknown is not stored.
      if (!(r.flags & PackedFrames::kHasDts)) r.dts = 0;
      if (!(r.flags & PackedFrames::kHasPts)) r.pts = 0;
      if (!(r.flags & PackedFrames::kHasDuration)) r.duration = 0;
      rows.push_back(r);
    }
    PackedFrames packed;
    for (const auto& r : rows) packed.append(r);
    QCOMPARE(packed.count(), int64_t(rows.size()));
    QVERIFY(packed.memoryBytes() < int64_t(rows.size()) * 24);
    PackedFrames::Reader reader(packed);
    for (int pass = 0; pass < 2; ++pass) {
      PackedFrames::Row got;
      for (size_t i = 0; i < rows.size(); ++i) {
        QVERIFY2(reader.next(got), qPrintable(QString::number(i)));
        const auto& want = rows[i];
        QVERIFY2(got.flags == want.flags && got.element_id == want.element_id && got.stream == want.stream &&
                     got.byte_offset == want.byte_offset && got.size == want.size && got.dts == want.dts &&
                     got.pts == want.pts && got.duration == want.duration,
                 qPrintable(QStringLiteral("row %1").arg(i)));
      }
      QVERIFY(!reader.next(got));
      reader.rewind();
    }
  }

  void disabledWriterDropsEverything() {
    TimingWriter timing(false);
    QCOMPARE(timing.declareStream({}), 0);
    TimingWriter::Frame frame;
    frame.element_id = 1;
    QCOMPARE(timing.addFrame(1, frame), qint64(-1));
    timing.addFault(1, 0, "1.1 TS_sync_loss", 1, "x");
    QCOMPARE(timing.faultCount(), size_t(0));
  }

  void pictureLetters_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("letter");
    for (const char* intra : {"I", "IDR", "CRA", "BLA", "KEY", "INTRA_ONLY", "SI"}) QTest::newRow(intra) << intra << "I";
    for (const char* predicted : {"P", "SP", "INTER"}) QTest::newRow(predicted) << predicted << "P";
    QTest::newRow("B") << "B" << "B";
    QTest::newRow("unknown") << "S_FRAME" << "";
    QTest::newRow("none") << "" << "";
  }

  void pictureLetters() {
    QFETCH(QString, type);
    QFETCH(QString, letter);
    const char c = TimingWriter::pictureLetter(type.toStdString());
    QCOMPARE(c ? QString(QLatin1Char(c)) : QString(), letter);
  }

  // Every value round-trips through the packed row; what does not fit is unknown, not wrong.
  void rowsRoundTrip() {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
    QString error;
    QVERIFY(sqlite3_exec(db,
                         "CREATE TABLE streams (stream INTEGER PRIMARY KEY, kind TEXT NOT NULL, codec TEXT,"
                         " container_id INTEGER, container_id_name TEXT, time_base_num INTEGER, time_base_den INTEGER);"
                         "CREATE TABLE frames (element_id INTEGER NOT NULL, stream INTEGER NOT NULL, byte_offset"
                         " INTEGER NOT NULL, size INTEGER NOT NULL, dts INTEGER, pts INTEGER, duration INTEGER,"
                         " key INTEGER, picture_type TEXT);"
                         "CREATE TABLE faults (element_id INTEGER NOT NULL, stream INTEGER, check_name TEXT NOT NULL,"
                         " priority INTEGER NOT NULL, detail TEXT)",
                         nullptr, nullptr, nullptr) == SQLITE_OK);
    TimingWriter timing;
    TimingWriter::Stream s;
    s.kind = TimingWriter::Kind::Video;
    s.codec = "H.264";
    s.container_id = 0x1FFF;
    s.container_id_name = "PID";
    s.time_base_num = 1;
    s.time_base_den = 90000;
    QCOMPARE(timing.declareStream(s), 1);
    QCOMPARE(timing.declareStream({}), 2);
    TimingWriter::Frame a;
    a.element_id = (qint64(1) << 40) + 7;  // beyond 32 bits
    a.byte_offset = (qint64(1) << 44) + 3;
    a.size = 1000;
    a.dts = -(qint64(1) << 40);
    a.pts = (qint64(1) << 33) * 300;
    a.duration = 3600;
    a.key = 1;
    a.picture_type = 'B';
    const qint64 handle = timing.addFrame(1, a);
    TimingWriter::Frame b;
    b.element_id = 9;
    b.size = qint64(1) << 40;     // clamped to 32 bits unsigned
    b.duration = qint64(1) << 40;  // does not fit: unknown
    timing.addFrame(2, b);
    timing.setFrameSize(handle, 1234);
    timing.setFrameKey(handle, 0);
    timing.addFault(9, 2, "2.2 CRC_error", 2, "CRC_32 wrong");
    QVERIFY(timing.write(db, &error));

    auto text = [&](const char* sql) {
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
      QStringList rows;
      while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList columns;
        for (int i = 0; i < sqlite3_column_count(st); ++i)
          columns << (sqlite3_column_type(st, i) == SQLITE_NULL
                          ? QStringLiteral("NULL")
                          : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
        rows << columns.join(QLatin1Char('|'));
      }
      sqlite3_finalize(st);
      return rows;
    };
    QCOMPARE(text("SELECT * FROM streams"),
             (QStringList{"1|video|H.264|8191|PID|1|90000", "2|data|NULL|NULL|NULL|NULL|NULL"}));
    QCOMPARE(text("SELECT * FROM frames"),
             (QStringList{"1099511627783|1|17592186044419|1234|-1099511627776|2576980377600|3600|0|B",
                          "9|2|0|4294967295|NULL|NULL|NULL|NULL|NULL"}));
    QCOMPARE(text("SELECT * FROM faults"), QStringList{"9|2|2.2 CRC_error|2|CRC_32 wrong"});
    sqlite3_close(db);
  }
};

CORVANTA_TEST_CORE_MAIN(TimingTablesTest)
#include "TimingTablesTest.moc"
