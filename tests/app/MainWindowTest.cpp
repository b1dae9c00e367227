// The main window without a file: title, menus, geometry, settings, the tree click
// that marks bytes in the hex view, the MediaInfo window and closing.
#include "BinViewArea.h"
#include "BinViewWidget.h"
#include "MainWindow.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "TestSupport.h"
#include "settings.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QTextEdit>
#include <QTreeWidgetItem>

namespace {

QList<QAction*> menuEntries(MainWindow& window, const QString& menu_title) {
  for (QAction* menu_action : window.menuBar()->actions()) {
    if (menu_action->text() == menu_title && menu_action->menu())
      return menu_action->menu()->actions();
  }
  return {};
}

QAction* entry(MainWindow& window, const QString& menu_title, const QString& text) {
  for (QAction* action : menuEntries(window, menu_title)) {
    if (action->text() == text)
      return action;
  }
  return nullptr;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init() { settings()->clear(); }

  void startsWithoutFile() {
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Corvanta - Community Edition"));
    QVERIFY(!window.closeAction()->isEnabled());
    QVERIFY(!window.viewMediaInfoAction()->isEnabled());
    QVERIFY(window.mediaInfoView() == nullptr);
  }

  void menusHaveTheirEntriesAndShortcuts() {
    MainWindow window;
    QStringList file_texts;
    for (QAction* action : menuEntries(window, QStringLiteral("File")))
      file_texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    QCOMPARE(file_texts, (QStringList{"Open digital container ...", "Close", "View MediaInfo ...", "|",
                                      "Properties ...", "|", "Quit"}));
    QStringList help_texts;
    for (QAction* action : menuEntries(window, QStringLiteral("Help")))
      help_texts << action->text();
    QCOMPARE(help_texts, (QStringList{"About ...", "Get more functionality ..."}));

    QCOMPARE(entry(window, "File", "Open digital container ...")->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(entry(window, "File", "Properties ...")->shortcut(), QKeySequence("Ctrl+P"));
    QCOMPARE(entry(window, "File", "Quit")->shortcut(), QKeySequence("Ctrl+Q"));
    QVERIFY(entry(window, "File", "Close")->shortcut().isEmpty());
    QVERIFY(window.menuBar()->cornerWidget(Qt::TopRightCorner) != nullptr);
  }

  void fileFiltersComeFromThePlugins() {
    MainWindow window;
    QVERIFY(!window.fileFilters().isEmpty());
    const QString mp4_filter = window.fileFilters().filter(QStringLiteral("MP4 containers")).value(0);
    QVERIFY2(mp4_filter.contains(QStringLiteral("*.mp4")), qPrintable(mp4_filter));
    QVERIFY(mp4_filter.contains(QStringLiteral("*.mov")));
    // Patterns are sorted by character codes and each is listed once.
    QStringList sorted = window.fileExtensions();
    sorted.sort();
    QCOMPARE(window.fileExtensions(), sorted);
    QCOMPARE(window.fileExtensions().removeDuplicates(), 0);
  }

  void opensAtEightyPercentCentred() {
    MainWindow window;
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(window.size(), QSize(qRound(available.width() * 0.8), qRound(available.height() * 0.8)));
    QVERIFY(qAbs(window.frameGeometry().center().x() - available.center().x()) <= 1);
    QVERIFY(qAbs(window.frameGeometry().center().y() - available.center().y()) <= 1);
  }

  void closingStoresGeometryForTheNextRun() {
    {
      MainWindow window;
      window.show();
      window.resize(700, 500);
      window.move(40, 30);
      window.close();
    }
    QCOMPARE(settings()->value("main/size").toSize(), QSize(700, 500));
    QVERIFY(settings()->contains("main/pos"));
    QVERIFY(settings()->contains("main/hex_viewer/font_size"));
    QVERIFY(settings()->contains("main/tree_viewer/font_size"));
    QVERIFY(settings()->contains("main/tree_viewer/columns"));

    settings()->setValue("main/pos", QPoint(-5000, -5000));  // off every screen: applied as stored
    MainWindow next;
    QCOMPARE(next.size(), QSize(700, 500));
    QCOMPARE(next.pos(), QPoint(-5000, -5000));
  }

  void treeClickMarksTheElementBytes_data() {
    QTest::addColumn<QString>("offset_text");
    QTest::addColumn<QString>("size_text");
    QTest::addColumn<qint64>("expected_offset");
    QTest::addColumn<qint64>("expected_size");
    QTest::newRow("whole bytes") << "100" << "5" << qint64(100) << qint64(5);
    QTest::newRow("bits round the size up") << "100:3" << "5:4" << qint64(100) << qint64(6);
    QTest::newRow("a colon alone counts") << "7" << "5:0" << qint64(7) << qint64(6);
    QTest::newRow("not a number reads 0") << "x" << "2" << qint64(0) << qint64(2);
    QTest::newRow("empty offset changes nothing") << "" << "5" << qint64(11) << qint64(22);
    QTest::newRow("empty size changes nothing") << "100" << "" << qint64(11) << qint64(22);
  }
  void treeClickMarksTheElementBytes() {
    QFETCH(QString, offset_text);
    QFETCH(QString, size_text);
    QFETCH(qint64, expected_offset);
    QFETCH(qint64, expected_size);

    MainWindow window;
    BinViewArea* area = window.binViewWidget()->binViewArea();
    area->setSelection(11, 22, false);
    SqlTree* tree = window.treeWidget()->tree();
    auto* item = new QTreeWidgetItem(QStringList{"row", offset_text, size_text, "value"});
    tree->addTopLevelItem(item);
    const QModelIndex index = tree->model()->index(0, 0);

    Q_EMIT window.treeWidget()->clicked(index, false);
    QCOMPARE(area->selectionOffset(), expected_offset);
    QCOMPARE(area->selectionSize(), expected_size);
  }

  void clicksFromElsewhereAreIgnored() {
    MainWindow window;
    BinViewArea* area = window.binViewWidget()->binViewArea();
    area->setSelection(11, 22, false);
    auto* item = new QTreeWidgetItem(QStringList{"row", "100", "5", ""});
    window.treeWidget()->tree()->addTopLevelItem(item);
    // Invoked directly, the slot has no sender: not a tree click.
    QMetaObject::invokeMethod(&window, "treeClicked", Q_ARG(QModelIndex, window.treeWidget()->tree()->model()->index(0, 0)),
                              Q_ARG(bool, true));
    QCOMPARE(area->selectionOffset(), qint64(11));
    Q_EMIT window.treeWidget()->clicked(QModelIndex(), true);
    QCOMPARE(area->selectionOffset(), qint64(11));
  }

  void mediaInfoWindowFollowsTheOutput() {
    MainWindow window;
    QVERIFY(QMetaObject::invokeMethod(&window, "viewMediaInfoOutput"));
    QTextEdit* view = window.mediaInfoView();
    QVERIFY(view);
    QVERIFY(view->isVisible());
    QVERIFY(view->isReadOnly());
    QCOMPARE(view->windowTitle(), QStringLiteral("Corvanta - MediaInfo"));

    Q_EMIT window.mediaInfoChanged(QStringLiteral("General\nFormat : MPEG-4"));
    QCOMPARE(view->toPlainText(), QStringLiteral("General\nFormat : MPEG-4"));

    view->close();
    QVERIFY(QMetaObject::invokeMethod(&window, "viewMediaInfoOutput"));
    QCOMPARE(window.mediaInfoView(), view);  // the same window comes back
    QVERIFY(view->isVisible());
  }

  void closeReturnsToTheNoFileState() {
    MainWindow window;
    window.setWindowTitle("something else");
    window.closeAction()->setEnabled(true);
    window.viewMediaInfoAction()->setEnabled(true);
    QVERIFY(QMetaObject::invokeMethod(&window, "viewMediaInfoOutput"));
    Q_EMIT window.mediaInfoChanged(QStringLiteral("report"));

    window.closeAction()->trigger();
    QCOMPARE(window.windowTitle(), MainWindow::baseTitle());
    QVERIFY(!window.closeAction()->isEnabled());
    QVERIFY(!window.viewMediaInfoAction()->isEnabled());
    QVERIFY(!window.mediaInfoView()->isVisible());
    QVERIFY(window.mediaInfoView()->toPlainText().isEmpty());

    // Closing with nothing open gives the same state.
    QVERIFY(QMetaObject::invokeMethod(&window, "closeFile"));
    QCOMPARE(window.windowTitle(), MainWindow::baseTitle());
  }

  void quittingDestroysTheMediaInfoWindow() {
    MainWindow window;
    window.show();
    QVERIFY(QMetaObject::invokeMethod(&window, "viewMediaInfoOutput"));
    QPointer<QTextEdit> view = window.mediaInfoView();
    QVERIFY(view);
    window.close();
    QVERIFY(view.isNull());
    QVERIFY(window.mediaInfoView() == nullptr);
    QVERIFY(settings()->contains("main/size"));
  }
};

CORVANTA_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
