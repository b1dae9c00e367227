// The lazy path against the eager one for the formats other than transport streams: audio
// frames, FLV tags, Ogg pages, MP4 samples and Matroska clusters, each as lazy units analysed with
// the threshold forced to zero, must answer every statement the viewer runs as the eagerly written
// database does, and pass the invariant check. Streams joined from copies of a committed file hold
// units past several checkpoints, and are read with so few units kept decoded that each is
// decoded again from its checkpoint.
#include "LazyAnswers.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace corvanta::test;

class LazyFormatsEquivalenceTest : public QObject {
  Q_OBJECT

 private:
  // `extra`: further options for both paths; `stored_percent`: the most of the rows the lazy path
  // may store (headers are most of a small file).
  void compare(const QString& file, qint64 stride = 1, const QString& extra = {}, qint64 stored_percent = 10) {
    const QString difference = lazyAndEagerDiffer(file, stride, extra, stored_percent);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
  }

 private Q_SLOTS:
  // Audio elementary streams and FLAC: every frame a lazy unit, found again by the analysis's
  // scan from the nearest kept frame start, across junk and cut frames.
  void audioFramesAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"mpegaudio/junk-before.mp3", "adts/truncated.aac", "mpegaudio/corrupt.mp3",
                             "adts/corrupt.aac", "ac3/stereo.eac3", "dts/substreams.dts", "amr/two-channels.amr",
                             "ac4/crc.ac4", "flac/corrupt-junk.flac", "flac/truncated.flac"})
      QTest::newRow(name) << corvanta::test::dataFile(QString::fromLatin1(name));
  }
  void audioFramesAnswerAlike() {
    QFETCH(QString, file);
    QVERIFY(writtenLazily(file));
    compare(file, kCommittedStride);
  }
  // Frames enough for several kept starts: copies of one file, whose tags or metadata between the
  // copies are junk to the frame scan.
  void longAudioStreamAnswersAlike_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("copies");
    QTest::newRow("mp3") << QStringLiteral("mpegaudio/junk-before.mp3") << 20;
    QTest::newRow("flac") << QStringLiteral("flac/verbatim-noise.flac") << 6;
  }
  void longAudioStreamAnswersAlike() {
    QFETCH(QString, name);
    QFETCH(int, copies);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile part(corvanta::test::dataFile(name));
    QVERIFY(part.open(QIODevice::ReadOnly));
    const QByteArray copy = part.readAll();
    const QString path = dir.filePath(QFileInfo(name).fileName());
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    for (int i = 0; i < copies; ++i) out.write(copy);
    out.close();
    compare(path, 13, kFewCachedUnits);
  }

  // FLV: every tag a lazy unit, written again from the checkpoint before it with the codec state
  // (parameter sets, NAL length size) the tags before it left.
  void flvTagsAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"flv/h264-aac.flv", "flv/hevc-enhanced.flv", "flv/corrupt-junk.flv", "flv/truncated.flv"})
      QTest::newRow(name) << corvanta::test::dataFile(QString::fromLatin1(name));
  }
  void flvTagsAnswerAlike() {
    QFETCH(QString, file);
    QVERIFY(writtenLazily(file));
    compare(file, kCommittedStride);
  }
  // Tags enough for several checkpoints: the tags of one file repeated after its header.
  void longFlvAnswersAlike() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile part(corvanta::test::dataFile(QStringLiteral("flv/h264-aac.flv")));
    QVERIFY(part.open(QIODevice::ReadOnly));
    const QByteArray whole = part.readAll();
    const QString path = dir.filePath(QStringLiteral("joined.flv"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(whole);
    constexpr int kHeaderAndFirstPreviousTagSize = 13;
    for (int i = 0; i < 12; ++i) out.write(whole.mid(kHeaderAndFirstPreviousTagSize));
    out.close();
    compare(path, 17, kFewCachedUnits);
  }

  // Ogg: every page a lazy unit, written again from the checkpoint before it with each logical
  // stream's state and the packet it is in the middle of gathered again.
  void oggPagesAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"ogg/chained.ogg", "ogg/gstreamer-theora.ogv", "ogg/lost-page.ogg", "ogg/truncated.ogg"})
      QTest::newRow(name) << corvanta::test::dataFile(QString::fromLatin1(name));
  }
  void oggPagesAnswerAlike() {
    QFETCH(QString, file);
    QVERIFY(writtenLazily(file));
    compare(file, kCommittedStride);
  }
  // Pages enough for checkpoints, chained streams: 19 pages of three files, then a file whose
  // setup packet runs over its pages 2 to 4, six times, so that page 64 (the second
  // checkpoint) stands in the middle of that packet.
  void longOggAnswersAlike() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("joined.ogg"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QStringList parts = {QStringLiteral("corrupt-crc.ogg"), QStringLiteral("ffmpeg-opus.opus"), QStringLiteral("opusenc.opus")};
    for (int i = 0; i < 6; ++i) parts.append(QStringLiteral("repaged.ogg"));
    for (const QString& name : parts) {
      QFile part(corvanta::test::dataFile(QStringLiteral("ogg/") + name));
      QVERIFY(part.open(QIODevice::ReadOnly));
      out.write(part.readAll());
    }
    out.close();
    compare(path, 11, kFewCachedUnits);
  }

  // MP4 samples with their frames decoded: picture order carried across B-frames, fragments,
  // HEVC and AV1, and two video tracks interleaved over more samples than lie between two
  // checkpoints, so that a sample is decoded again from the frame decoders of both tracks.
  // The two-track file holds some 7,000 elements: a sample of its ids, as for a long stream.
  void mp4FilesAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<qint64>("stride");
    for (const char* name : {"h264-high.mp4", "fragmented.mp4", "hevc-hdr10.mp4", "av1-hdr.mp4"})
      QTest::newRow(name) << corvanta::test::dataFile(QStringLiteral("isobmff/") + QLatin1String(name)) << qint64(1);
    QTest::newRow("two-tracks.mp4") << corvanta::test::dataFile(QStringLiteral("isobmff/two-tracks.mp4")) << qint64(7);
  }
  void mp4FilesAnswerAlike() {
    QFETCH(QString, file);
    QFETCH(qint64, stride);
    compare(file, stride * kCommittedStride, {}, 75);
  }

  // Without lazy=on the samples become lazy units when the module expects at least
  // lazy_elements elements before it writes them; a transport stream goes by its size only.
  void lazyForExpectedElements_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("lazy");
    const QString mp4 = QStringLiteral("isobmff/two-tracks.mp4");
    QTest::newRow("default threshold") << mp4 << QString() << false;
    QTest::newRow("under the count") << mp4 << QStringLiteral("lazy_elements=1000") << true;
    QTest::newRow("frames off") << mp4 << QStringLiteral("lazy_elements=1000 frames=off") << false;
    QTest::newRow("forced eager") << mp4 << QStringLiteral("lazy=off lazy_elements=0") << false;
    QTest::newRow("transport stream") << QStringLiteral("mpegts/dvb.ts") << QStringLiteral("lazy_elements=0") << false;
  }
  void lazyForExpectedElements() {
    QFETCH(QString, file);
    QFETCH(QString, options);
    QFETCH(bool, lazy);
    QCOMPARE(writtenLazily(corvanta::test::dataFile(file), QStringLiteral("lazy=auto ") + options), lazy);
  }

  // Matroska Clusters as lazy units: laced blocks (Xiph, EBML, fixed), a cluster of unknown size,
  // H.264 and AV1 frames (AV1 over two Segments), VP9 clusters that start with inter frames whose
  // headers need the reference slots the cluster before left, a file cut short inside a cluster
  // and one with junk between clusters. Small files
  // store their headers and tracks (Xiph headers decoded) as most of their rows.
  void matroskaFilesAnswerAlike_data() {
    QTest::addColumn<QString>("file");
    for (const char* name : {"mkvmerge-h264-aac.mkv", "mkvmerge-vorbis.mka", "mkvmerge-ac3.mka", "gstreamer-live.mkv",
                             "av1-segments.mkv", "mkvmerge-short-clusters.webm", "truncated-in-cluster.mkv",
                             "corrupt-junk.mkv"})
      QTest::newRow(name) << corvanta::test::dataFile(QStringLiteral("matroska/") + QLatin1String(name));
  }
  void matroskaFilesAnswerAlike() {
    QFETCH(QString, file);
    QVERIFY(writtenLazily(file));
    compare(file, kCommittedStride, {}, 99);
  }
};

QTEST_GUILESS_MAIN(LazyFormatsEquivalenceTest)
#include "LazyFormatsEquivalenceTest.moc"
