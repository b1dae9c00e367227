// The tree widget as the main window uses it: rows and their texts, settings,
// resizing, and the analysis of real container files through the parser library.
#include <QHeaderView>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>

#include <memory>

#include "ElementDatabase.h"
#include "Parser.h"
#include "SqlTree.h"
#include "SqlTreeHeader.h"
#include "SqlTreeWidget.h"
#include "TestSupport.h"
#include "TreeFixture.h"
#include "ViewerDatabase.h"
#include "settings.h"

using corvanta::test::currentRowId;
using corvanta::test::flatNodes;
using corvanta::test::loadTree;
using corvanta::test::Node;
using corvanta::test::pageIds;

namespace {

const QString kGarbageName = QStringLiteral("d771bd4e-a2e6-46e3-ad1c-1aafa1b60c87");

std::unique_ptr<SqlTreeWidget> shownWidget(int width = 700, int height = 400) {
  auto widget = std::make_unique<SqlTreeWidget>();
  widget->resize(width, height);
  widget->show();
  if (!QTest::qWaitForWindowExposed(widget.get()))
    return nullptr;
  return widget;
}

}  // namespace

class SqlTreeWidgetTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init() {
    settings()->remove("main/tree_viewer/columns");
    settings()->remove("main/tree_viewer/font_size");
  }

  void rowTexts_data() {
    QTest::addColumn<qint64>("bit_offset");
    QTest::addColumn<qint64>("bit_size");
    QTest::addColumn<QString>("offset_text");
    QTest::addColumn<QString>("size_text");
    QTest::newRow("whole bytes") << qint64(64) << qint64(16) << "8" << "2";
    QTest::newRow("bits left over") << qint64(12) << qint64(13) << "1:4" << "1:5";
    QTest::newRow("zero") << qint64(0) << qint64(0) << "0" << "0";
    QTest::newRow("beyond 4 GiB") << (qint64(5) << 33) + 3 << qint64(7) << "5368709120:3" << "0:7";
  }
  void rowTexts() {
    QFETCH(qint64, bit_offset);
    QFETCH(qint64, bit_size);
    QFETCH(QString, offset_text);
    QFETCH(QString, size_text);
    auto widget = shownWidget();
    QVERIFY(widget);
    loadTree(widget.get(), {{0, "box", "value\ttext", bit_offset, bit_size, 3}});
    const QTreeWidgetItem* item = widget->tree()->topLevelItem(0);
    QVERIFY(item);
    QCOMPARE(item->text(0), QStringLiteral("box-3"));
    QCOMPARE(item->text(1), offset_text);
    QCOMPARE(item->text(2), size_text);
    QCOMPARE(item->text(3), QStringLiteral("value text"));
    QCOMPARE(item->textAlignment(1), int(Qt::AlignRight | Qt::AlignVCenter));
    QCOMPARE(item->textAlignment(2), int(Qt::AlignRight | Qt::AlignVCenter));
    QCOMPARE(item->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    // The main window reads the texts back through the view's model.
    QCOMPARE(widget->tree()->model()->index(0, 1).data().toString(), offset_text);
  }

  void garbageRow() {
    auto widget = shownWidget();
    QVERIFY(widget);
    loadTree(widget.get(), {{0, "box"}, {0, kGarbageName, "", 80, 24}});
    const QTreeWidgetItem* garbage = widget->tree()->topLevelItem(1);
    QCOMPARE(garbage->text(0), QStringLiteral("GARBAGE"));
    QCOMPARE(garbage->foreground(0).color(), QColor(128, 0, 0));
    QVERIFY(garbage->font(0).bold());
    QCOMPARE(garbage->font(0).resolveMask(), uint(QFont::WeightResolved));
    QCOMPARE(garbage->text(1), QStringLiteral("10"));
    QCOMPARE(garbage->text(2), QStringLiteral("3"));
    QCOMPARE(SqlTree::elementOf(widget->tree()->model()->index(1, 0)).name, kGarbageName);
    QCOMPARE(widget->tree()->topLevelItem(0)->foreground(0).style(), Qt::NoBrush);
  }

  void emptyDatabase() {
    auto widget = shownWidget();
    QVERIFY(widget);
    loadTree(widget.get(), {});
    QCOMPARE(widget->tree()->topLevelItemCount(), 0);
    QVERIFY(!widget->scrollBar()->isEnabled());
    QTest::keyClick(widget->tree(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(widget->tree(), Qt::Key_Right);
    QCOMPARE(widget->tree()->topLevelItemCount(), 0);
  }

  void clearTreeReleasesTheDatabase() {
    auto widget = shownWidget();
    QVERIFY(widget);
    loadTree(widget.get(), flatNodes(50));
    QVERIFY(widget->scrollBar()->isEnabled());
    widget->clearTree();
    QCOMPARE(widget->tree()->topLevelItemCount(), 0);
    QVERIFY(!widget->scrollBar()->isEnabled());
    QVERIFY(!QSqlDatabase::contains(QLatin1String(corvanta::ElementDatabase::kConnectionName)));
  }

  // A resize refills from the first row the user sees, even after goToId placed it.
  void resizeKeepsTheVisibleFirstRow() {
    auto widget = shownWidget();
    QVERIFY(widget);
    loadTree(widget.get(), flatNodes(500));
    widget->tree()->goToId(200);
    QCOMPARE(pageIds(widget->tree()).first(), qint64(200));
    widget->resize(widget->width(), widget->height() + 120);
    QCOMPARE(pageIds(widget->tree()).first(), qint64(200));
    QCOMPARE(widget->tree()->topLevelItemCount(), widget->pageRows() + 1);
    QCOMPARE(currentRowId(widget->tree()), qint64(200));
    QTest::keyClick(widget->tree(), Qt::Key_Down);  // the scroll bar agrees with the page
    QCOMPARE(currentRowId(widget->tree()), qint64(201));
    QTest::keyClick(widget->tree(), Qt::Key_PageDown);
    QCOMPARE(pageIds(widget->tree()).first(), qint64(200 + widget->pageRows()));
  }

  void settingsRoundTrip() {
    QStringList saved_columns;
    {
      auto widget = shownWidget(900, 400);
      QVERIFY(widget);
      auto* header = qobject_cast<SqlTreeHeader*>(widget->tree()->header());
      QVERIFY(header);
      QTRY_VERIFY(header->sectionSize(1) > 0);
      header->resizeSection(1, 91);
      header->moveSection(3, 1);
      header->restoreColumns({QStringLiteral("size;55;3;1")});
      widget->setTreeFontSize(12.5);
      QCOMPARE(widget->treeFontSize(), 12.5);
      widget->saveSettings();
      saved_columns = header->columnsState();
      QCOMPARE(saved_columns.at(2), QStringLiteral("size;55;3;1"));
    }
    QCOMPARE(settings()->value("main/tree_viewer/font_size").toDouble(), 12.5);

    auto widget = std::make_unique<SqlTreeWidget>();
    widget->loadSettings();
    auto* header = qobject_cast<SqlTreeHeader*>(widget->tree()->header());
    QCOMPARE(header->columnsState(), saved_columns);
    QCOMPARE(widget->treeFontSize(), 12.5);
  }

  void settingsDefaults() {
    settings()->setValue("main/tree_viewer/font_size", QStringLiteral("not a number"));
    auto widget = std::make_unique<SqlTreeWidget>();
    widget->loadSettings();
    QCOMPARE(widget->treeFontSize(), 10.0);
    for (int i = 0; i < 4; ++i)
      QCOMPARE(widget->tree()->header()->sectionSize(i), 0);  // sized at the first show
  }

  void openFileShowsTheContainer() {
    auto widget = shownWidget();
    QVERIFY(widget);
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    QCOMPARE(widget->openFile(corvanta::test::dataFile("isobmff/progressive.mp4"), QString()), 0);
    SqlTree* tree = widget->tree();
    QVERIFY(tree->topLevelItemCount() > 1);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("ftyp"));
    QCOMPARE(tree->topLevelItem(0)->text(1), QStringLiteral("0"));
    QCOMPARE(currentRowId(tree), qint64(1));
    QVERIFY(!clicked.isEmpty());

    // Walk to the deepest last element and back: every row stays inside its parent.
    const qint64 last_id = widget->viewerDatabase()->lastId();
    QVERIFY(last_id > 10);
    tree->goToId(last_id);
    QCOMPARE(currentRowId(tree), last_id);
    QVERIFY(tree->topLevelItemCount() <= widget->pageRows() + 1);
    const ViewerDatabase::Element last = SqlTree::elementOf(tree->currentIndex());
    QVERIFY(last.level > 0);
    // Left climbs to the parent; when the parent is above the page, the next key
    // brings it back first.
    for (int guard = 0; guard < 100 && SqlTree::elementOf(tree->currentIndex()).level != 0; ++guard)
      QTest::keyClick(tree, Qt::Key_Left);
    const ViewerDatabase::Element root = SqlTree::elementOf(tree->currentIndex());
    QCOMPARE(root.level, 0);
    QVERIFY(root.offset <= last.offset && last.offset + last.size <= root.offset + root.size);
  }

  void openFileTwiceAndFail() {
    auto widget = shownWidget();
    QVERIFY(widget);
    QCOMPARE(widget->openFile(corvanta::test::dataFile("isobmff/faststart.mp4"), QString()), 0);
    QCOMPARE(widget->openFile(corvanta::test::dataFile("isobmff/corrupt-junk.mp4"), QString()), 0);
    QVERIFY(widget->tree()->topLevelItemCount() > 0);
    QCOMPARE(widget->findChildren<Parser*>().size(), 1);

    QCOMPARE(widget->openFile(QStringLiteral("/nonexistent/file.mp4"), QString()), -1);
    QCOMPARE(widget->tree()->topLevelItemCount(), 0);
    QVERIFY(!widget->scrollBar()->isEnabled());
    QVERIFY(!QSqlDatabase::contains(QLatin1String(corvanta::ElementDatabase::kConnectionName)));
    QVERIFY(widget->findChildren<Parser*>().isEmpty());

    QCOMPARE(widget->openFile(corvanta::test::dataFile("isobmff/faststart.mp4"), QString()), 0);
    QVERIFY(widget->tree()->topLevelItemCount() > 0);
  }
};

CORVANTA_TEST_MAIN(SqlTreeWidgetTest)
#include "SqlTreeWidgetTest.moc"
