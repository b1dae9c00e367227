// The Streams window as the main window owns it: the View menu, reading the open file's
// timing tables, a click on a chart bar or a fault opening the tree to the frame's
// element and highlighting its bytes. The frames come from the golden dump of a
// committed MP4 file, written into the open database as the parser will write them.
#include "BinViewArea.h"
#include "BinViewWidget.h"
#include "FrameChart.h"
#include "MainWindow.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "StreamsWindow.h"
#include "TestSupport.h"
#include "TimingTablesFixture.h"
#include "ViewerDatabase.h"
#include "settings.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSqlQuery>
#include <QTreeWidget>

namespace {

const char kFile[] = "isobmff/progressive.mp4";
// sample-2 of track 1 (a P frame) at byte 4904, 171 bytes: line 69 of the golden dump.
constexpr qint64 kSampleElement = 69;
constexpr qint64 kSampleOffset = 4904;
constexpr qint64 kSampleSize = 171;

}  // namespace

class StreamsMainWindowTest : public QObject {
  Q_OBJECT

 private:
  void openFile(MainWindow& window) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openChosenFile(corvanta::test::dataFile(kFile));
    QVERIFY(window.closeAction()->isEnabled());
  }

  QSqlDatabase& connection(MainWindow& window) {
    return *window.treeWidget()->viewerDatabase()->sqlConnection();
  }

  void verifyAtSample(MainWindow& window) {
    QCOMPARE(window.treeWidget()->tree()->currentId(), kSampleElement);
    QVERIFY(window.treeWidget()->tree()->currentItem());
    QCOMPARE(window.treeWidget()->tree()->currentItem()->text(0), QString("sample-2"));
    BinViewArea* hex = window.binViewWidget()->binViewArea();
    QCOMPARE(hex->selectionOffset(), kSampleOffset);
    QCOMPARE(hex->selectionSize(), kSampleSize);
  }

 private Q_SLOTS:
  void init() { settings()->clear(); }

  void viewMenuSitsBetweenGoAndHelpAndFollowsTheFile() {
    MainWindow window;
    QStringList menus;
    for (QAction* action : window.menuBar()->actions())
      menus.append(action->text());
    QCOMPARE(menus, (QStringList{"File", "Go", "View", "Help"}));
    QCOMPARE(window.viewMenu()->actions(), QList<QAction*>{window.viewStreamsAction()});
    QCOMPARE(window.viewStreamsAction()->text(), QString("Streams ..."));
    QCOMPARE(window.viewStreamsAction()->shortcut().toString(), QString("Ctrl+T"));
    QVERIFY(!window.viewMenu()->isEnabled());
    QVERIFY(!window.viewStreamsAction()->isEnabled());
    openFile(window);
    QVERIFY(window.viewMenu()->isEnabled());
    QVERIFY(window.viewStreamsAction()->isEnabled());
    window.closeAction()->trigger();
    QVERIFY(!window.viewStreamsAction()->isEnabled());
  }

  void aDatabaseWithoutTimingTablesGetsAMessage() {
    MainWindow window;
    openFile(window);
    QVERIFY(timing_fixture::dropTables(connection(window)));
    window.viewStreamsAction()->trigger();
    StreamsWindow* streams = window.streamsWindow();
    QVERIFY(streams);
    QVERIFY(streams->isVisible());
    QVERIFY(streams->showsMessage());
    QVERIFY(streams->messageLabel()->text().contains("older version"));
  }

  void clickOnABarGoesToTheFrame() {
    MainWindow window;
    openFile(window);
    QCOMPARE(timing_fixture::writeFromGolden(connection(window),
                                             corvanta::test::dataFile(QString(kFile) + ".golden")),
             27);
    window.viewStreamsAction()->trigger();
    StreamsWindow* streams = window.streamsWindow();
    QVERIFY(!streams->showsMessage());
    QVERIFY(QTest::qWaitForWindowExposed(streams));
    streams->xAxisBox()->setCurrentIndex(1);  // frame order
    FrameChart* chart = streams->currentChart();
    // Track 1 is the video: its second sample is its first P frame.
    QCOMPARE(chart->graph(1)->name(), QString("1: P"));
    QCOMPARE(chart->elementOf(1, 0), kSampleElement);
    QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, chart->pixelOf(1, 0));
    verifyAtSample(window);
  }

  void faultGoesToItsElement() {
    MainWindow window;
    openFile(window);
    QVERIFY(timing_fixture::writeFromGolden(connection(window), corvanta::test::dataFile(QString(kFile) + ".golden")));
    QSqlQuery(connection(window)).exec(QString("INSERT INTO faults VALUES (%1, 1, 'made here', 3, 'test')").arg(kSampleElement));
    window.viewStreamsAction()->trigger();
    QTreeWidget* faults = window.streamsWindow()->faultList();
    QTreeWidgetItem* made = nullptr;
    for (int i = 0; i < faults->topLevelItemCount(); ++i)
      if (faults->topLevelItem(i)->text(0) == "made here")
        made = faults->topLevelItem(i);
    QVERIFY(made);
    QVERIFY(QTest::qWaitForWindowExposed(window.streamsWindow()));
    faults->scrollToItem(made);
    QTest::mouseClick(faults->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, faults->visualItemRect(made).center().y()));
    verifyAtSample(window);
  }

  void readOncePerFileAndOwnedByTheMainWindow() {
    QPointer<StreamsWindow> streams;
    {
      MainWindow window;
      openFile(window);
      QVERIFY(timing_fixture::writeFromGolden(connection(window),
                                              corvanta::test::dataFile(QString(kFile) + ".golden")));
      window.viewStreamsAction()->trigger();
      streams = window.streamsWindow();
      QCOMPARE(int(streams->frameTable().frames().size()), 27);
      // Rows added later are not read again while the file stays open ...
      QVERIFY(timing_fixture::dropTables(connection(window)));
      window.viewStreamsAction()->trigger();
      QCOMPARE(int(streams->frameTable().frames().size()), 27);
      // ... and a file opened again is read again.
      window.openChosenFile(corvanta::test::dataFile(kFile));
      QVERIFY(!streams->isVisible());
      QVERIFY(timing_fixture::dropTables(connection(window)));
      window.viewStreamsAction()->trigger();
      QVERIFY(streams->showsMessage());
      QCOMPARE(window.streamsWindow(), streams.data());
    }
    QVERIFY(streams.isNull());
  }
};

CORVANTA_TEST_MAIN(StreamsMainWindowTest)
#include "StreamsMainWindowTest.moc"
