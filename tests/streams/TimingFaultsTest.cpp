// The timing tables as the viewer reads them, the figures of a stream, the chart points
// of the PCR, and the timing checks on hand-built frame tables: each fault is made in
// one place of an otherwise clean table and must be found there, and only there.
#include "FrameSeries.h"
#include "ElementDatabase.h"
#include "Parser.h"
#include "StreamStatistics.h"
#include "TestSupport.h"
#include "TimingFaults.h"
#include "TimingTables.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <functional>
#include <memory>

namespace {

using Frame = TimingTables::Frame;

constexpr int kVideo = 1;
constexpr int kAudio = 2;
constexpr qint64 kVideoStep = 3600;  // 25 frames a second at 90 kHz
constexpr qint64 kAudioStep = 1024;  // AAC frames at 48 kHz
constexpr int kVideoFrames = 100;
constexpr int kAudioFrames = 180;
constexpr int kKeyEvery = 12;
constexpr int kLimit = 30;

qint64 videoElement(int i) { return 1000 + i; }
qint64 audioElement(int i) { return 5000 + i; }

// A clean stream pair: video of constant 1000-byte frames, PTS two frames after DTS, a
// key frame every 12 frames; audio starting when the video is first shown.
struct Plan {
  std::vector<Frame> video;
  std::vector<Frame> audio;

  Plan() {
    for (int i = 0; i < kVideoFrames; ++i) {
      Frame frame;
      frame.element_id = videoElement(i);
      frame.dts = i * kVideoStep;
      frame.pts = frame.dts + 2 * kVideoStep;
      frame.size = 1000;
      frame.duration = kVideoStep;
      frame.key = i % kKeyEvery == 0 ? 1 : 0;
      frame.picture_type = i % kKeyEvery == 0 ? 'I' : (i % 3 == 0 ? 'P' : 'B');
      video.push_back(frame);
    }
    // 2 * 3600 / 90000 s = 0.08 s = 3840 ticks at 48 kHz
    for (int i = 0; i < kAudioFrames; ++i) {
      Frame frame;
      frame.element_id = audioElement(i);
      frame.dts = frame.pts = 3840 + i * kAudioStep;
      frame.size = 300;
      frame.key = 1;
      audio.push_back(frame);
    }
  }

  TimingTables tables() const {
    TimingTables made;
    made.addStream(kVideo, "video", 1, 90000);
    made.addStream(kAudio, "audio", 1, 48000);
    for (const Frame& frame : video)
      made.addFrame(kVideo, frame);
    for (const Frame& frame : audio)
      made.addFrame(kAudio, frame);
    return made;
  }
};

using Change = std::function<void(Plan&)>;

}  // namespace

Q_DECLARE_METATYPE(Change)

class TimingFaultsTest : public QObject {
  Q_OBJECT

 private:
  QSqlDatabase database;

  void exec(const QString& sql) {
    QSqlQuery query(database);
    QVERIFY2(query.exec(sql), qPrintable(sql));
  }

  void createAgreedTables() {
    exec("CREATE TABLE streams (stream INTEGER PRIMARY KEY, kind TEXT NOT NULL, codec TEXT, container_id INTEGER, "
         "container_id_name TEXT, time_base_num INTEGER, time_base_den INTEGER)");
    exec("CREATE TABLE frames (element_id INTEGER NOT NULL, stream INTEGER NOT NULL, byte_offset INTEGER NOT NULL, "
         "size INTEGER NOT NULL, dts INTEGER, pts INTEGER, duration INTEGER, key INTEGER, picture_type TEXT)");
    exec("CREATE TABLE faults (element_id INTEGER NOT NULL, stream INTEGER, check_name TEXT NOT NULL, "
         "priority INTEGER NOT NULL, detail TEXT)");
  }

 private Q_SLOTS:
  void init() {
    database = QSqlDatabase::addDatabase("QSQLITE", "timing");
    database.setDatabaseName(":memory:");
    QVERIFY(database.open());
  }
  void cleanup() {
    database.close();
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase("timing");
  }

  void readsTheAgreedTablesGroupedByStream() {
    createAgreedTables();
    exec("INSERT INTO streams VALUES (1, 'video', 'H.264', 256, 'PID', 1, 90000), "
         "(2, 'pcr', NULL, 256, 'PID', 1, 27000000), (3, 'audio', 'AAC', 257, 'PID', 1, 90000)");
    // File order interleaves the streams; stream 4 is not declared.
    exec("INSERT INTO frames VALUES (10, 1, 376, 5000, 0, 7200, NULL, 1, 'I'), "
         "(11, 2, 188, 188, 600, NULL, NULL, NULL, NULL), (12, 3, 564, 300, NULL, 3000, 1920, 1, NULL), "
         "(13, 1, 752, 800, 3600, 18000, 3600, 0, 'B'), (14, 2, 940, 188, 1080600, NULL, NULL, NULL, NULL), "
         "(15, 4, 1128, 7, NULL, NULL, NULL, NULL, NULL), (16, 1, 1316, 900, 7200, 10800, NULL, NULL, NULL)");
    exec("INSERT INTO faults VALUES (11, 2, '2.3 PCR_repetition_error', 2, 'PCR interval 142 ms (limit 100 ms)')");

    TimingTables tables;
    QCOMPARE(tables.load(database), TimingTables::State::Loaded);
    QCOMPARE(int(tables.streams().size()), 4);
    QCOMPARE(tables.streams()[3].number, 4);
    QCOMPARE(tables.streams()[3].kind, QString("data"));
    const TimingTables::Stream* video = tables.stream(1);
    QVERIFY(video);
    QCOMPARE(video->codec, QString("H.264"));
    QCOMPARE(video->container_id, qint64(256));
    QCOMPARE(video->container_id_name, QString("PID"));
    QCOMPARE(video->secondsPerTick(), 1.0 / 90000);
    QCOMPARE(int(video->count), 3);
    QCOMPARE(tables.begin(*video)[0].element_id, qint64(10));
    QCOMPARE(tables.begin(*video)[1].element_id, qint64(13));
    QCOMPARE(tables.begin(*video)[2].element_id, qint64(16));
    QCOMPARE(tables.begin(*video)[1].picture_type, 'B');
    QCOMPARE(tables.begin(*video)[1].duration, 3600);
    QCOMPARE(int(tables.begin(*video)[2].key), -1);
    QCOMPARE(tables.begin(*video)[2].picture_type, '\0');
    QVERIFY(video->byte_offsets.empty());

    const TimingTables::Stream* pcr = tables.stream(2);
    QCOMPARE(int(pcr->count), 2);
    QCOMPARE(pcr->byte_offsets, (std::vector<qint64>{188, 940}));
    QCOMPARE(tables.begin(*pcr)[1].dts, qint64(1080600));
    QVERIFY(!tables.begin(*pcr)[1].hasPts());

    const TimingTables::Frame& audio = *tables.begin(*tables.stream(3));
    QVERIFY(!audio.hasDts());
    QCOMPARE(audio.decodeOrPresentation(), qint64(3000));
    QCOMPARE(audio.size, quint32(300));

    QCOMPARE(int(tables.faults().size()), 1);
    QCOMPARE(tables.faults()[0].check_name, QString("2.3 PCR_repetition_error"));
    QCOMPARE(tables.faults()[0].priority, 2);
    QCOMPARE(tables.faults()[0].element_id, qint64(11));
    QCOMPARE(int(tables.frameBytes() / tables.frames().size()), 40 + 8 * 2 / 7);
  }

  void databasesWithoutFrames_data() {
    QTest::addColumn<bool>("tables");
    QTest::addColumn<TimingTables::State>("expected");
    QTest::newRow("written by an older tool") << false << TimingTables::State::NoTables;
    QTest::newRow("tables without rows") << true << TimingTables::State::Empty;
  }
  void databasesWithoutFrames() {
    QFETCH(bool, tables);
    QFETCH(TimingTables::State, expected);
    exec("CREATE TABLE elements (id INTEGER PRIMARY KEY, name TEXT)");
    if (tables)
      createAgreedTables();
    TimingTables read;
    QCOMPARE(read.load(database), expected);
    QVERIFY(read.frames().empty());
    QVERIFY(read.error().isEmpty());
  }

  void statisticsOfAStream() {
    Plan plan;
    plan.video[50].size = 100000;
    const TimingTables tables = plan.tables();
    const StreamStatistics video(tables, *tables.stream(kVideo));
    QCOMPARE(video.frames, kVideoFrames);
    QCOMPARE(video.duration, 4.0);
    QCOMPARE(video.frame_rate, 25.0);
    QCOMPARE(video.average_bitrate, (99 * 1000 + 100000) * 8 / 4.0);
    // The second up to frame 50 holds 24 ordinary frames and the large one.
    QCOMPARE(video.peak_bitrate, (24 * 1000 + 100000) * 8.0);
    QCOMPARE(video.key_interval_min, kKeyEvery);
    QCOMPARE(video.key_interval_max, kKeyEvery);
    QCOMPARE(video.key_interval_mean, double(kKeyEvery));
    const StreamStatistics audio(tables, *tables.stream(kAudio));
    QCOMPARE(audio.frame_rate, 48000.0 / 1024);
    QCOMPARE(audio.key_interval_max, 1);
  }

  void timingFaults_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("check");  // empty: no fault at all
    QTest::addColumn<qint64>("element");
    QTest::addColumn<QString>("detail");

    QTest::newRow("clean") << Change([](Plan&) {}) << QString() << qint64(0) << QString();
    QTest::newRow("DTS backwards") << Change([](Plan& plan) { plan.video[5].dts = 3 * kVideoStep; })
                                   << QString(TimingFaults::kDtsBackwards) << videoElement(5)
                                   << "DTS 0.120 s after 0.160 s";
    QTest::newRow("DTS repeated") << Change([](Plan& plan) { plan.video[5].dts = 4 * kVideoStep; })
                                  << QString(TimingFaults::kDtsRepeated) << videoElement(5) << "DTS 0.160 s again";
    QTest::newRow("gap of three frames") << Change([](Plan& plan) {
      for (int i = 40; i < kVideoFrames; ++i) {
        plan.video[size_t(i)].dts += 3 * kVideoStep;
        plan.video[size_t(i)].pts += 3 * kVideoStep;
      }
    }) << QString(TimingFaults::kTimestampGap) << videoElement(40)
       << "DTS 0.160 s after the previous frame, usually 0.040 s";
    QTest::newRow("audio gap") << Change([](Plan& plan) {
      for (int i = 100; i < kAudioFrames; ++i)
        plan.audio[size_t(i)].dts = plan.audio[size_t(i)].pts += 3 * kAudioStep;
    }) << QString(TimingFaults::kTimestampGap) << audioElement(100)
       << "DTS 0.085 s after the previous frame, usually 0.021 s";
    QTest::newRow("PTS before DTS") << Change([](Plan& plan) { plan.video[7].pts = plan.video[7].dts - kVideoStep; })
                                    << QString(TimingFaults::kPtsBeforeDts) << videoElement(7)
                                    << "PTS 0.240 s before DTS 0.280 s";
    QTest::newRow("audio starts late") << Change([](Plan& plan) {
      for (Frame& frame : plan.audio)
        frame.dts = frame.pts += 24000;
    }) << QString(TimingFaults::kStartOffset) << audioElement(0) << "audio stream 2 starts 0.500 s after video stream 1";
    QTest::newRow("audio starts early") << Change([](Plan& plan) {
      for (Frame& frame : plan.audio)
        frame.dts = frame.pts -= 1920;
    }) << QString(TimingFaults::kStartOffset) << videoElement(0) << "audio stream 2 starts 0.040 s before video stream 1";
    // Keys at 0, 12, then none until 48: frame 42 is where the next key was due at the latest.
    QTest::newRow("key frames too far apart") << Change([](Plan& plan) {
      for (int i : {24, 36}) {
        plan.video[size_t(i)].key = 0;
        plan.video[size_t(i)].picture_type = 'P';
      }
    }) << QString(TimingFaults::kKeyFrameInterval) << videoElement(42) << "key-frame interval over 30 frames";
    QTest::newRow("no key frame at the end") << Change([](Plan& plan) {
      for (int i = 60; i < kVideoFrames; ++i)
        plan.video[size_t(i)].key = 0;
    }) << QString(TimingFaults::kKeyFrameInterval) << videoElement(48 + 30) << "key-frame interval over 30 frames";
  }
  void timingFaults() {
    QFETCH(Change, change);
    QFETCH(QString, check);
    QFETCH(qint64, element);
    QFETCH(QString, detail);
    Plan plan;
    change(plan);
    const TimingTables tables = plan.tables();
    const std::vector<TimingTables::Fault> faults = TimingFaults(kLimit).find(tables);
    QStringList found;
    for (const TimingTables::Fault& fault : faults)
      found << QString("%1 @%2: %3").arg(fault.check_name).arg(fault.element_id).arg(fault.detail);
    const QStringList expected =
        check.isEmpty() ? QStringList() : QStringList{QString("%1 @%2: %3").arg(check).arg(element).arg(detail)};
    QCOMPARE(found, expected);
    if (!faults.empty())
      QCOMPARE(faults.front().priority, TimingFaults::kPriority);
  }

  // The checks on what the parser writes for streams edited to hold a fault: each fault is
  // found in its file, on the video stream, and a clean stream gives no timing fault but the
  // audio start offset.
  void faultsOfParsedStreams_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("checks");
    QTest::newRow("clean") << "mpegts/timing-clean.ts" << QStringList{TimingFaults::kStartOffset};
    QTest::newRow("DTS back") << "mpegts/timing-backward-dts.ts"
                              << QStringList{TimingFaults::kDtsBackwards, TimingFaults::kStartOffset};
    QTest::newRow("gap") << "mpegts/timing-gap.ts"
                         << QStringList{TimingFaults::kTimestampGap, TimingFaults::kStartOffset};
  }
  void faultsOfParsedStreams() {
    QFETCH(QString, file);
    QFETCH(QStringList, checks);
    QStringList found;
    {
      Parser parser;
      QCOMPARE(parser.parseFile(corvanta::test::dataFile(file), ":memory:", QString()), 0);
      std::unique_ptr<QSqlDatabase> connection(parser.getConnection());
      TimingTables tables;
      QCOMPARE(tables.load(*connection), TimingTables::State::Loaded);
      for (const TimingTables::Fault& fault : TimingFaults(kLimit).find(tables))
        if (!found.contains(fault.check_name)) found << fault.check_name;
      connection->close();
    }
    QSqlDatabase::removeDatabase(QString::fromLatin1(corvanta::ElementDatabase::kConnectionName));
    found.sort();
    checks.sort();
    QCOMPARE(found, checks);
  }

  void keyIntervalLimitIsTheUsers() {
    Plan plan;
    const TimingTables tables = plan.tables();
    QCOMPARE(int(TimingFaults(kKeyEvery).find(tables).size()), 0);
    // Each of the 8 whole intervals of 12 frames is over a limit of 11; the short one at
    // the end is not.
    QCOMPARE(int(TimingFaults(kKeyEvery - 1).find(tables).size()), (kVideoFrames - 1) / kKeyEvery);
  }

  void aStreamWrongEverywhereGivesAListOfReadableSize() {
    TimingTables tables;
    tables.addStream(1, "video", 1, 90000);
    constexpr int kFrames = 3000;
    for (int i = 0; i < kFrames; ++i) {
      Frame frame;
      frame.element_id = 10 + i;
      frame.dts = 0;
      tables.addFrame(1, frame);
    }
    const std::vector<TimingTables::Fault> faults = TimingFaults(kLimit).find(tables);
    QCOMPARE(int(faults.size()), TimingFaults::kListedPerCheck + 1);
    QCOMPARE(faults[size_t(TimingFaults::kListedPerCheck) - 1].element_id, qint64(10 + TimingFaults::kListedPerCheck));
    QCOMPARE(faults.back().check_name, QString(TimingFaults::kDtsRepeated));
    QCOMPARE(faults.back().element_id, qint64(10 + kFrames - 1));
    QCOMPARE(faults.back().detail, QString("%1 more like this not listed, the last here")
                                       .arg(kFrames - 1 - TimingFaults::kListedPerCheck));
  }

  void pcrCharts() {
    TimingTables tables;
    tables.addStream(1, "pcr", 1, 27000000);
    // 40 ms apart at a constant mux rate of one 188-byte packet per 0.1 ms, except one
    // PCR 150 ms after the one before (the mux rate still holds there) and one PCR that
    // comes 1000 ticks (37 us) late.
    qint64 pcr = 0;
    for (int i = 0; i < 50; ++i) {
      const qint64 step = i == 20 ? 4050000 : 1080000;
      pcr += i == 0 ? 0 : step;
      Frame frame;
      frame.element_id = 100 + i;
      frame.dts = pcr + (i == 30 ? 1000 : 0);
      frame.size = 188;
      const qint64 packets = pcr / 2700;
      tables.addFrame(1, frame, packets * 188);
    }
    const FrameSeries series(tables);
    const std::vector<FrameSeries::Series> intervals =
        series.build(FrameSeries::Chart::PcrInterval, FrameSeries::XAxis::Order, *tables.stream(1));
    QCOMPARE(int(intervals.size()), 1);
    QCOMPARE(int(intervals[0].values.size()), 49);
    QCOMPARE(intervals[0].values[0], 40.0);
    QCOMPARE(intervals[0].values[19], 150.0);
    QCOMPARE(tables.frames()[intervals[0].frames[19]].element_id, qint64(120));
    const std::vector<FrameSeries::Series> accuracy =
        series.build(FrameSeries::Chart::PcrAccuracy, FrameSeries::XAxis::Time, *tables.stream(1));
    QCOMPARE(int(accuracy.size()), 1);
    const std::vector<double>& off = accuracy[0].values;
    const auto worst = std::max_element(off.begin(), off.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    QCOMPARE(int(worst - off.begin()), 30);
    QVERIFY2(std::fabs(*worst - 1000 / 27e6 * 1e9) < 2000, qPrintable(QString::number(*worst)));
    for (size_t i = 0; i < off.size(); ++i)
      if (i != 30)
        QVERIFY2(std::fabs(off[i]) < 2000, qPrintable(QString::number(off[i])));
    // A PCR stream has no frame sizes to chart, and a video stream no PCR.
    QVERIFY(series.build(FrameSeries::Chart::FrameSize, FrameSeries::XAxis::Time, *tables.stream(1)).empty());
  }

  void frameSizesByPictureTypeOrKeyFlag() {
    Plan plan;
    for (Frame& frame : plan.audio)
      frame.key = 0;
    plan.audio[0].key = 1;
    const TimingTables tables = plan.tables();
    const FrameSeries series(tables);
    QStringList names;
    for (const FrameSeries::Series& one :
         series.build(FrameSeries::Chart::FrameSize, FrameSeries::XAxis::Time, *tables.stream(kVideo)))
      names << QString("%1 %2").arg(one.name).arg(one.keys.size());
    for (const FrameSeries::Series& one :
         series.build(FrameSeries::Chart::FrameSize, FrameSeries::XAxis::Order, *tables.stream(kAudio)))
      names << QString("%1 %2").arg(one.name).arg(one.keys.size());
    // 100 frames: I at every 12th (9), P at other multiples of 3 (25), B the rest (66).
    QCOMPARE(names, (QStringList{"1: I 9", "1: P 25", "1: B 66", "2: key 1", "2: not key 179"}));
  }
};

CORVANTA_TEST_CORE_MAIN(TimingFaultsTest)
#include "TimingFaultsTest.moc"
