// The Streams window alone, offscreen, on a small database of the agreed timing tables:
// what it says without them, the stream figures, the charts as pictures, a click on a
// bar, zooming and panning, the fault list, the key-frame limit setting and the exports.
#include "FrameChart.h"
#include "StreamsWindow.h"
#include "TestSupport.h"
#include "TimingFaults.h"
#include "TimingTablesFixture.h"
#include "settings.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWheelEvent>

using namespace timing_fixture;

namespace {

// Pixels of `image` within a small distance of `colour`.
int countColour(const QImage& image, const QColor& colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (qAbs(pixel.red() - colour.red()) + qAbs(pixel.green() - colour.green()) +
              qAbs(pixel.blue() - colour.blue()) <
          30)
        ++count;
    }
  return count;
}

const QColor kIntraRed(214, 39, 40);
const QColor kPredictedBlue(31, 119, 180);
const QColor kBidirectionalGreen(44, 160, 44);
const QColor kKeyPurple(148, 103, 189);

QStringList seriesNames(FrameChart* chart) {
  QStringList names;
  for (int i = 0; i < chart->graphCount(); ++i)
    names << chart->graph(i)->name();
  return names;
}

}  // namespace

class StreamsWindowTest : public QObject {
  Q_OBJECT

 private:
  QSqlDatabase database;
  QTemporaryDir scratch;

  void showWindow(StreamsWindow& window) {
    window.resize(1200, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
  }

  QString rowText(QTableWidget* table, int row) {
    QStringList cells;
    for (int column = 0; column < table->columnCount(); ++column)
      cells << (table->item(row, column) ? table->item(row, column)->text() : QString());
    return cells.join(" | ");
  }

 private Q_SLOTS:
  void init() {
    settings()->clear();
    database = QSqlDatabase::addDatabase("QSQLITE", "streams");
    database.setDatabaseName(":memory:");
    QVERIFY(database.open());
    QSqlQuery(database).exec("CREATE TABLE elements (id INTEGER PRIMARY KEY, name TEXT)");
  }
  void cleanup() {
    database.close();
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase("streams");
  }

  void aMessageInsteadOfMissingTables_data() {
    QTest::addColumn<bool>("tables");
    QTest::addColumn<QString>("message");
    QTest::newRow("older database") << false << "older version";
    QTest::newRow("no frames") << true << "no frames";
  }
  void aMessageInsteadOfMissingTables() {
    QFETCH(bool, tables);
    QFETCH(QString, message);
    if (tables)
      QVERIFY(createTables(database));
    StreamsWindow window;
    window.load(database);
    QVERIFY(window.showsMessage());
    QVERIFY2(window.messageLabel()->text().contains(message), qPrintable(window.messageLabel()->text()));
    // The message shows on screen, not only in the label.
    showWindow(window);
    QVERIFY(window.messageLabel()->isVisible());
    QVERIFY(!window.streamTable()->isVisible());
  }

  void streamFigures() {
    QVERIFY(writeSmallFile(database));
    StreamsWindow window;
    window.load(database);
    QVERIFY(!window.showsMessage());
    QTableWidget* table = window.streamTable();
    QCOMPARE(table->rowCount(), 3);
    // 60 frames of 25 a second: 4 I frames of 4000 bytes, one of 12000 and 55 others of
    // 1000 over 2.4 s make 276.7 kbit/s; the DTS one frame back still leaves the span whole.
    // The busiest second holds three I frames, the big one among them, and 22 others.
    QCOMPARE(rowText(table, 0), QString("1 | video | H.264 | track ID 1 | 60 | 2.400 s | 276.7 kbit/s | "
                                        "336.0 kbit/s | 25.000 | 12 / 12.0 / 12 | 1/90000"));
    QCOMPARE(rowText(table, 2).section(" | ", 0, 4), QString("3 | pcr |  | PID 256 (0x100) | 40"));
    // The first video stream is chosen at first.
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(table->selectionModel()->selectedRows().first().row(), 0);
  }

  void frameSizeBarsColouredByPictureType() {
    QVERIFY(writeSmallFile(database));
    StreamsWindow window;
    window.load(database);
    showWindow(window);
    FrameChart* chart = window.currentChart();
    QCOMPARE(chart, window.chart(FrameSeries::Chart::FrameSize));
    QCOMPARE(seriesNames(chart), (QStringList{"1: I", "1: P", "1: B"}));
    const QImage picture = chart->grab().toImage();
    QVERIFY(countColour(picture, kIntraRed) > 50);
    QVERIFY(countColour(picture, kPredictedBlue) > 50);
    QVERIFY(countColour(picture, kBidirectionalGreen) > 50);
    // Audio frames have no picture type: their bars take the key flag's colour.
    window.chooseStreams({2});
    QCOMPARE(seriesNames(chart), (QStringList{"2: key"}));
    const QImage audio = chart->grab().toImage();
    QVERIFY(countColour(audio, kKeyPurple) > 50);
    QCOMPARE(countColour(audio, kIntraRed), 0);
    QCOMPARE(countColour(audio, kBidirectionalGreen), 0);
  }

  void eachChartOfTheChosenStreams_data() {
    QTest::addColumn<int>("chart");
    QTest::addColumn<QList<int>>("streams");
    QTest::addColumn<QStringList>("series");
    QTest::addColumn<QString>("empty");
    QTest::newRow("frame sizes of two streams") << int(FrameSeries::Chart::FrameSize) << QList<int>{1, 2}
                                               << QStringList{"1: I", "1: P", "1: B", "2: key"} << QString();
    QTest::newRow("bitrate") << int(FrameSeries::Chart::Bitrate) << QList<int>{1, 2}
                             << QStringList{"1: bitrate", "2: bitrate"} << QString();
    QTest::newRow("timestamps") << int(FrameSeries::Chart::Timestamps) << QList<int>{1}
                                << QStringList{"1: PTS", "1: DTS", "1: PTS - DTS"} << QString();
    QTest::newRow("PCR interval") << int(FrameSeries::Chart::PcrInterval) << QList<int>{3}
                                  << QStringList{"3: PCR interval"} << QString();
    QTest::newRow("PCR accuracy") << int(FrameSeries::Chart::PcrAccuracy) << QList<int>{1, 3}
                                  << QStringList{"3: PCR accuracy"} << QString();
    QTest::newRow("PCR of a video stream") << int(FrameSeries::Chart::PcrInterval) << QList<int>{1} << QStringList()
                                           << "Choose a \"pcr\" stream";
    QTest::newRow("nothing chosen") << int(FrameSeries::Chart::Bitrate) << QList<int>() << QStringList()
                                    << "Choose one or more streams";
  }
  void eachChartOfTheChosenStreams() {
    QFETCH(int, chart);
    QFETCH(QList<int>, streams);
    QFETCH(QStringList, series);
    QFETCH(QString, empty);
    QVERIFY(writeSmallFile(database));
    StreamsWindow window;
    window.load(database);
    showWindow(window);
    window.chooseStreams(std::vector<int>(streams.begin(), streams.end()));
    window.chartTabs()->setCurrentIndex(chart);
    FrameChart* shown = window.currentChart();
    QCOMPARE(seriesNames(shown), series);
    if (empty.isEmpty())
      QVERIFY(shown->emptyText().isEmpty());
    else
      QVERIFY2(shown->emptyText().startsWith(empty), qPrintable(shown->emptyText()));
  }

  void pcrIntervalPeaksWhereItWasMade() {
    QVERIFY(writeSmallFile(database));
    StreamsWindow window;
    window.load(database);
    window.chooseStreams({3});
    window.chartTabs()->setCurrentIndex(int(FrameSeries::Chart::PcrInterval));
    QCPGraph* graph = window.currentChart()->graph(0);
    double highest = 0;
    int at = -1;
    for (int i = 0; i < graph->dataCount(); ++i)
      if (graph->data()->at(i)->value > highest) {
        highest = graph->data()->at(i)->value;
        at = i;
      }
    QCOMPARE(highest, 150.0);
    QCOMPARE(window.currentChart()->elementOf(0, at), kPcrElement + 10);
  }

  void clickOnABarNamesItsFrame() {
    QVERIFY(writeSmallFile(database));
    StreamsWindow window;
    window.load(database);
    showWindow(window);
    window.xAxisBox()->setCurrentIndex(1);  // frame order
    FrameChart* chart = window.currentChart();
    QSignalSpy chosen(&window, &StreamsWindow::elementChosen);
    // The big frame is the third I frame; its bar's top stands out of all the others.
    const QPoint top = chart->pixelOf(0, kBigFrame / 12);
    QCOMPARE(chart->elementOf(0, kBigFrame / 12), kVideoElement + kBigFrame);
    QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, top);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.first().first().toLongLong(), kVideoElement + kBigFrame);
    // Far from any bar, nothing is chosen.
    QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, QPoint(top.x() + 3, chart->axisRect()->top() + 5));
    QCOMPARE(chosen.size(), 1);
  }

  void wheelZoomsDragPansDoubleClickResets() {
    QVERIFY(writeSmallFile(database));
    StreamsWindow window;
    window.load(database);
    showWindow(window);
    FrameChart* chart = window.currentChart();
    const QCPRange all = chart->xAxis->range();
    const QPointF middle = chart->axisRect()->rect().center();
    QWheelEvent wheel(middle, chart->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    const QCPRange zoomed = chart->xAxis->range();
    QVERIFY2(zoomed.size() < all.size() * 0.9, qPrintable(QString("%1 of %2").arg(zoomed.size()).arg(all.size())));
    // The y axis stays: only time is zoomed.
    const QCPRange y = chart->yAxis->range();

    QTest::mousePress(chart, Qt::LeftButton, Qt::NoModifier, middle.toPoint());
    QTest::mouseMove(chart, middle.toPoint() + QPoint(100, 0));
    QTest::mouseRelease(chart, Qt::LeftButton, Qt::NoModifier, middle.toPoint() + QPoint(100, 0));
    const QCPRange panned = chart->xAxis->range();
    QVERIFY(panned.lower < zoomed.lower);
    QVERIFY(qFuzzyCompare(panned.size(), zoomed.size()));
    QCOMPARE(chart->yAxis->range(), y);

    QTest::mouseDClick(chart, Qt::LeftButton, Qt::NoModifier, middle.toPoint());
    QCOMPARE(chart->xAxis->range(), all);
  }

  void faultsListedAndOneClickFromTheirElement() {
    QVERIFY(writeSmallFile(database));
    StreamsWindow window;
    window.load(database);
    showWindow(window);
    QTreeWidget* faults = window.faultList();
    QStringList rows;
    for (int i = 0; i < faults->topLevelItemCount(); ++i)
      rows << QString("%1 @%2").arg(faults->topLevelItem(i)->text(0), faults->topLevelItem(i)->text(2));
    // The container's own fault comes first; the DTS one frame back is found where it was made.
    QCOMPARE(rows, (QStringList{QString("1.4 Continuity_count_error @%1").arg(kContinuityElement),
                                QString("DTS backwards @%1").arg(kVideoElement + kBackwardsFrame)}));
    QSignalSpy chosen(&window, &StreamsWindow::elementChosen);
    QTreeWidgetItem* item = faults->topLevelItem(1);
    // The row is wider than the list: the click goes to its start.
    QTest::mouseClick(faults->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(10, faults->visualItemRect(item).center().y()));
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.first().first().toLongLong(), kVideoElement + kBackwardsFrame);
  }

  void keyIntervalLimitKeptInTheSettings() {
    QVERIFY(writeSmallFile(database));
    {
      StreamsWindow window;
      QCOMPARE(window.keyIntervalLimitBox()->value(), StreamsWindow::kDefaultKeyIntervalLimit);
      window.load(database);
      window.keyIntervalLimitBox()->setValue(11);
      // Key frames 12 apart: each of the 4 whole intervals is over 11, and so is the last
      // one, which reaches frame 59 without a key frame.
      int key_faults = 0;
      for (int i = 0; i < window.faultList()->topLevelItemCount(); ++i)
        key_faults += window.faultList()->topLevelItem(i)->text(0) == TimingFaults::kKeyFrameInterval;
      QCOMPARE(key_faults, 5);
    }
    QCOMPARE(settings()->value(StreamsWindow::kKeyIntervalLimitKey).toInt(), 11);
    StreamsWindow again;
    QCOMPARE(again.keyIntervalLimitBox()->value(), 11);
  }

  void exportsTheChartAndItsData() {
    QVERIFY(writeSmallFile(database));
    StreamsWindow window;
    window.load(database);
    showWindow(window);
    window.chartTabs()->setCurrentIndex(int(FrameSeries::Chart::Timestamps));
    const QString png = scratch.filePath("timestamps.png");
    const QString csv = scratch.filePath("timestamps.csv");
    QVERIFY(window.currentChart()->exportPng(png));
    const QImage image(png);
    QCOMPARE(image.size(), window.currentChart()->size());
    QVERIFY(window.currentChart()->exportCsv(csv));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    // PTS, DTS and their difference for each of the 60 frames.
    QCOMPARE(lines.size(), 1 + 3 * kVideoFrames);
    QCOMPARE(lines.first(), QString("series,element_id,frame in decode order,value"));
    QCOMPARE(lines.at(1), QString("1: PTS,%1,0,0.08").arg(kVideoElement));
    QCOMPARE(lines.last(), QString("1: PTS - DTS,%1,59,80").arg(kVideoElement + kVideoFrames - 1));
  }
};

CORVANTA_TEST_MAIN(StreamsWindowTest)
#include "StreamsWindowTest.moc"
