// Times the Streams window on a database of a million frames over four streams (video
// with I, P and B frames, two audio streams, a PCR), written with the agreed timing
// tables into memory as the viewer gets them:
//  - the window's opening: reading the tables, the figures, the faults, the first chart,
//    shown and painted;
//  - one redraw of a chart after a zoom and after a pan, with every stream chosen;
//  - the bytes per frame of the in-memory frame table.
//
//   StreamsBenchmark [frames [runs]]
// frames: how many frames in all (default 1000000); runs: redraws per figure (default 50).
#include <QApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QTabWidget>
#include <QtTest>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "ElementDatabase.h"
#include "FrameChart.h"
#include "StreamStatistics.h"
#include "StreamsWindow.h"
#include "TimingFaults.h"

namespace {

void check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

void exec(sqlite3* db, const char* sql) {
  check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql);
}

// The streams interleave as a muxer writes them: per 40 ms, one video frame, about two
// frames of each audio stream (1024 samples at 48 kHz), and one PCR in every second slot.
void writeFrames(sqlite3* db, qint64 total) {
  // The parser's databases have pages of 64 KiB; reading them back depends on it.
  exec(db, "PRAGMA page_size = 65536");
  exec(db,
       "CREATE TABLE streams (stream INTEGER PRIMARY KEY, kind TEXT NOT NULL, codec TEXT, container_id INTEGER, "
       "container_id_name TEXT, time_base_num INTEGER, time_base_den INTEGER)");
  exec(db,
       "CREATE TABLE frames (element_id INTEGER NOT NULL, stream INTEGER NOT NULL, byte_offset INTEGER NOT NULL, "
       "size INTEGER NOT NULL, dts INTEGER, pts INTEGER, duration INTEGER, key INTEGER, picture_type TEXT)");
  exec(db,
       "CREATE TABLE faults (element_id INTEGER NOT NULL, stream INTEGER, check_name TEXT NOT NULL, "
       "priority INTEGER NOT NULL, detail TEXT)");
  exec(db,
       "INSERT INTO streams VALUES (1, 'video', 'H.264', 256, 'PID', 1, 90000), (2, 'audio', 'AAC', 257, 'PID', 1, "
       "90000), (3, 'audio', 'AC-3', 258, 'PID', 1, 90000), (4, 'pcr', NULL, 256, 'PID', 1, 27000000)");
  exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  check(sqlite3_prepare_v2(db, "INSERT INTO frames VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr), db,
        "prepare");
  qint64 written = 0;
  qint64 element = 1;
  qint64 offset = 0;
  auto add = [&](int stream, qint64 size, qint64 dts, qint64 pts, qint64 duration, int key, const char* type) {
    sqlite3_bind_int64(insert, 1, element);
    sqlite3_bind_int(insert, 2, stream);
    sqlite3_bind_int64(insert, 3, offset);
    sqlite3_bind_int64(insert, 4, size);
    sqlite3_bind_int64(insert, 5, dts);
    if (pts >= 0)
      sqlite3_bind_int64(insert, 6, pts);
    else
      sqlite3_bind_null(insert, 6);
    if (duration >= 0)
      sqlite3_bind_int64(insert, 7, duration);
    else
      sqlite3_bind_null(insert, 7);
    if (key >= 0)
      sqlite3_bind_int(insert, 8, key);
    else
      sqlite3_bind_null(insert, 8);
    if (type)
      sqlite3_bind_text(insert, 9, type, -1, SQLITE_STATIC);
    else
      sqlite3_bind_null(insert, 9);
    check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
    // Each frame is a few elements of its own in the element table.
    element += 7;
    offset += size;
    ++written;
  };
  qint64 audio_ticks[2] = {0, 0};
  for (qint64 slot = 0; written < total; ++slot) {
    const qint64 dts = slot * 3600;
    const int in_gop = int(slot % 48);
    const char* type = in_gop == 0 ? "I" : (in_gop % 3 == 0 ? "P" : "B");
    const qint64 size = in_gop == 0 ? 60000 : (in_gop % 3 == 0 ? 15000 : 4000) + (slot * 7919) % 3000;
    add(1, size, dts, dts + 7200, 3600, in_gop == 0 ? 1 : 0, type);
    for (int a = 0; a < 2; ++a)
      while (audio_ticks[a] <= dts && written < total) {
        add(2 + a, 400 + a * 368, audio_ticks[a], audio_ticks[a], 1920, 1, nullptr);
        audio_ticks[a] += 1920;
      }
    if (slot % 2 == 0 && written < total)
      add(4, 188, dts * 300, -1, -1, -1, nullptr);
  }
  sqlite3_finalize(insert);
  exec(db, "COMMIT");
}

struct Figure {
  double median;
  double worst;
};

Figure summary(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.back()};
}

// Milliseconds of one redraw after each change of the chart's x range over `runs` changes.
Figure redraw(FrameChart* chart, int runs, bool zoom) {
  const QCPRange all = chart->xAxis->range();
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    QCPRange range;
    if (zoom) {
      // From everything down to a thousandth of it and back, around the middle.
      const double size = all.size() / (1.0 + double(run % 10) * 111.0);
      range = QCPRange(all.center() - size / 2, all.center() + size / 2);
    } else {
      // A quarter of the whole, moved along it a little each time.
      const double size = all.size() / 4;
      const double lower = all.lower + (all.size() - size) * double(run) / double(runs);
      range = QCPRange(lower, lower + size);
    }
    QElapsedTimer timer;
    timer.start();
    chart->xAxis->setRange(range);
    chart->replot(QCustomPlot::rpImmediateRefresh);
    times.push_back(double(timer.nsecsElapsed()) / 1e6);
  }
  chart->xAxis->setRange(all);
  return summary(times);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  const qint64 frames = arguments.size() > 1 ? arguments.at(1).toLongLong() : 1000000;
  const int runs = arguments.size() > 2 ? arguments.at(2).toInt() : 50;

  QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "bench");
  database.setDatabaseName(":memory:");
  if (!database.open())
    return 1;
  QElapsedTimer timer;
  timer.start();
  writeFrames(corvanta::ElementDatabase::handle(database), frames);
  std::printf("database of %lld frames written in %.0f ms\n", frames, double(timer.elapsed()));

  // The parts of the opening, each on its own.
  {
    TimingTables tables;
    timer.restart();
    tables.load(database);
    const double read_ms = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    for (const TimingTables::Stream& stream : tables.streams())
      StreamStatistics(tables, stream);
    const double figures_ms = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    const size_t faults = TimingFaults(StreamsWindow::kDefaultKeyIntervalLimit).find(tables).size();
    const double faults_ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("  read tables %.0f ms, stream figures %.0f ms, timing faults %.0f ms (%zu found)\n", read_ms,
                figures_ms, faults_ms, faults);
  }

  StreamsWindow window;
  window.resize(1400, 900);
  timer.restart();
  const std::clock_t cpu_start = std::clock();
  window.load(database);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window))
    return 1;
  QApplication::processEvents();
  const double open_ms = double(timer.nsecsElapsed()) / 1e6;
  // The processor time too: on a machine shared with other work, the wall clock says more
  // about the others than about the window.
  const double open_cpu_ms = double(std::clock() - cpu_start) * 1000.0 / CLOCKS_PER_SEC;
  const TimingTables& tables = window.frameTable();
  std::printf("window open (read, figures, faults, first chart, shown): %.0f ms (processor time %.0f ms)\n",
              open_ms, open_cpu_ms);
  std::printf("frame table: %.1f bytes per frame (%zu frames, %.1f MB)\n",
              double(tables.frameBytes()) / double(tables.frames().size()), tables.frames().size(),
              double(tables.frameBytes()) / 1e6);

  std::printf("redraws: median and worst of %d; zoom from the whole down to a thousandth, pan of a quarter\n",
              runs);
  window.chooseStreams({1, 2, 3, 4});
  for (FrameSeries::Chart chart : {FrameSeries::Chart::FrameSize, FrameSeries::Chart::Bitrate,
                                   FrameSeries::Chart::Timestamps, FrameSeries::Chart::PcrAccuracy}) {
    window.chartTabs()->setCurrentIndex(int(chart));
    FrameChart* shown = window.currentChart();
    qint64 points = 0;
    for (int i = 0; i < shown->graphCount(); ++i)
      points += shown->graph(i)->dataCount();
    QApplication::processEvents();
    const Figure zoom = redraw(shown, runs, true);
    const Figure pan = redraw(shown, runs, false);
    std::printf("%-14s %8lld points: redraw after zoom %.1f ms (worst %.1f), after pan %.1f ms (worst %.1f)\n",
                qPrintable(window.chartTabs()->tabText(int(chart))), points, zoom.median, zoom.worst, pan.median,
                pan.worst);
  }
  return 0;
}
