// A real SqlTreeWidget driven by keys, wheel and mouse, with its column header. Its
// viewport is ten rows high, so P = 9 and every page shows 10 rows.
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>

#include <memory>

#include "Parser.h"
#include "SqlTreeHeader.h"
#include "TestSupport.h"
#include "TreeFixture.h"
#include "settings.h"

using namespace corvanta::test;
using Ids = QList<qint64>;
using Open = std::set<qint64>;
Q_DECLARE_METATYPE(Open)

namespace {

constexpr int kPageRows = 9;

// 1 A            6 B          8..40 root-8 .. root-40
//   2 A1           7 B1
//     3 A1a
//     4 A1b
//   5 A2
QList<Node> nestedNodes() {
  QList<Node> nodes{{0, "A"}, {1, "A1"}, {2, "A1a"}, {2, "A1b"}, {1, "A2"}, {0, "B"}, {1, "B1"}};
  for (int id = 8; id <= 40; ++id)
    nodes.append({0, QStringLiteral("root-%1").arg(id)});
  return nodes;
}

SqlTreeHeader* headerOf(const SqlTreeWidget& widget) {
  return qobject_cast<SqlTreeHeader*>(widget.tree()->header());
}

}  // namespace

class SqlTreeWidgetTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<SqlTreeWidget> widget;
  SqlTree* tree = nullptr;
  QScrollBar* bar = nullptr;

  void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(tree, Qt::Key(key), modifiers);
    QVERIFY(tree->topLevelItemCount() <= widget->pageRows() + 1);
  }
  void wheel(int delta_y, int delta_x = 0) {
    const QPointF pos(50, 50);
    QWheelEvent event(pos, tree->viewport()->mapToGlobal(pos), QPoint(), QPoint(delta_x, delta_y), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(tree->viewport(), &event);
  }
  // What the platform delivers for a double click: the second press arrives as a double click.
  void doubleClick(QPoint pos) {
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pos);
    QMouseEvent event(QEvent::MouseButtonDblClick, pos, tree->viewport()->mapToGlobal(pos), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &event);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, pos);
  }
  QPoint pointInRow(int page_row, int x) const {
    return QPoint(x, tree->visualRect(tree->model()->index(page_row, 0)).center().y());
  }
  static std::set<qint64> openIds() {
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(corvanta::ElementDatabase::kConnectionName), false);
    return openSet(db);
  }
  static qint64 reportedId(const QSignalSpy& clicked) {
    return SqlTree::elementOf(clicked.last().at(0).value<QModelIndex>()).id;
  }
  QMenu* openHeaderMenu() {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), tree->header()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(tree->header()->viewport(), &event);
    return tree->header()->findChild<QMenu*>();
  }

 private Q_SLOTS:
  void init() {
    settings()->remove("main/tree_viewer");
    widget = std::make_unique<SqlTreeWidget>();
    tree = widget->tree();
    bar = widget->scrollBar();
    widget->resize(600, 300);
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
    QTRY_VERIFY(tree->header()->sectionSize(3) > 0);
    setViewportHeight(widget.get(), (kPageRows + 1) * tree->rowHeight());
    QCOMPARE(widget->pageRows(), kPageRows);
  }
  void cleanup() { widget.reset(); }

  // Font size and height changes refill from the first row the user sees.
  void fontSizeAndResizeKeepTheFirstRow() {
    loadTree(widget.get(), flatNodes(500));
    tree->goToId(200);
    const int row_height = tree->rowHeight();
    widget->setTreeFontSize(widget->treeFontSize() * 2);
    QVERIFY(tree->rowHeight() > row_height);
    QVERIFY(widget->pageRows() < kPageRows);
    QCOMPARE(tree->topLevelItemCount(), widget->pageRows() + 1);
    QCOMPARE(bar->maximum(), 500 - widget->pageRows() - 1);
    QCOMPARE(pageIds(tree).first(), qint64(200));
    setViewportHeight(widget.get(), 5 * tree->rowHeight() - 1);  // only whole rows count
    QCOMPARE(widget->pageRows(), 3);

    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    widget->resize(widget->width() + 100, widget->height());
    QCOMPARE(widget->pageRows(), 3);
    QVERIFY(clicked.isEmpty());  // a width change needs no refill
    widget->resize(widget->width(), widget->height() + 120);
    QVERIFY(widget->pageRows() > 3);
    QCOMPARE(tree->topLevelItemCount(), widget->pageRows() + 1);
    QCOMPARE(pageIds(tree).first(), qint64(200));
    QCOMPARE(currentRowId(tree), qint64(200));
    press(Qt::Key_PageDown);  // the scroll bar agrees with the page
    QCOMPARE(pageIds(tree).first(), qint64(200 + widget->pageRows()));
  }

  // Any change of height lays the page out again, even when as many rows fit as before.
  void everyHeightChangeRefills() {
    loadTree(widget.get(), flatNodes(100));
    tree->goToId(5);
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    widget->resize(widget->width(), widget->height() + 1);
    QCOMPARE(tree->viewport()->height(), (kPageRows + 1) * tree->rowHeight() + 1);
    QCOMPARE(widget->pageRows(), kPageRows);
    QCOMPARE(clicked.count(), 1);  // the refill reports the current row again
    QCOMPARE(reportedId(clicked), qint64(5));
    QCOMPARE(pageIds(tree).first(), qint64(5));
    widget->resize(widget->width() - 50, widget->height());
    QCOMPARE(clicked.count(), 1);
  }

  // Showing a database from its start: three roots in a page of ten rows.
  void resetViewShowsTheFirstElement() {
    loadTree(widget.get(), flatNodes(100));
    tree->goToId(50);
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    loadTree(widget.get(), flatNodes(3));
    QCOMPARE(pageIds(tree), (Ids{1, 2, 3}));
    QCOMPARE(currentRowId(tree), qint64(1));
    QCOMPARE(tree->currentId(), qint64(1));
    const QModelIndexList selected = tree->selectionModel()->selectedRows(0);
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), 0);
    QVERIFY(!clicked.isEmpty());
    QCOMPARE(reportedId(clicked), qint64(1));
    QVERIFY(!bar->isEnabled());
    QCOMPARE(bar->value(), 0);
  }

  // The worked example: a viewport 200 pixels high and a font 16 pixels high give rows of
  // 20 pixels, P = 9, a page of 10 rows and a scroll bar page step of 9.
  void pageRowsWorkedExample() {
    loadTree(widget.get(), flatNodes(100));
    // Font heights jump by more than a pixel between sizes: look for a font that is
    // exactly 16 pixels high, in the tree's own family first.
    QStringList families = QFontDatabase::families();
    families.prepend(tree->font().family());
    QFont font;
    for (const QString& family : families) {
      font = QFont(family);
      for (int pixels = 6; pixels <= 30 && QFontMetrics(font).height() != 16; ++pixels)
        font.setPixelSize(pixels);
      if (QFontMetrics(font).height() == 16)
        break;
    }
    if (QFontMetrics(font).height() != 16)
      QSKIP("no installed font is 16 pixels high at any size");
    tree->setFont(font);
    widget->updateRowCount();
    setViewportHeight(widget.get(), 200);
    QCOMPARE(tree->rowHeight(), 20);
    QCOMPARE(widget->pageRows(), 9);
    QCOMPARE(tree->topLevelItemCount(), 10);
    QCOMPARE(bar->pageStep(), 9);
    QCOMPARE(bar->maximum(), 100 - 10);
  }

  // Each row scrolls away, goes to `start` and presses the keys; then the page must be
  // the visible rows from its first one on, with the scroll bar standing at it.
  void keysAndGoToId_data() {
    QTest::addColumn<bool>("nested");  // else 100 top-level leaves
    QTest::addColumn<qint64>("start");
    QTest::addColumn<QString>("keys");  // "Key*count" repeats a key
    QTest::addColumn<qint64>("first_row");
    QTest::addColumn<qint64>("current");
    QTest::addColumn<Open>("open");
    QTest::newRow("Up at the top") << false << qint64(1) << "Up" << qint64(1) << qint64(1) << Open{};
    QTest::newRow("Down to the bottom row") << false << qint64(1) << "Down*9" << qint64(1) << qint64(10) << Open{};
    QTest::newRow("Down from the bottom row") << false << qint64(1) << "Down*10" << qint64(2) << qint64(11) << Open{};
    QTest::newRow("Up from the top row") << false << qint64(45) << "Up" << qint64(44) << qint64(44) << Open{};
    QTest::newRow("Down at the end") << false << qint64(1) << "Ctrl+End Down" << qint64(91) << qint64(100) << Open{};
    QTest::newRow("PageDown") << false << qint64(1) << "PgDown" << qint64(10) << qint64(19) << Open{};
    QTest::newRow("PageUp") << false << qint64(1) << "PgDown*2 PgUp" << qint64(10) << qint64(10) << Open{};
    QTest::newRow("PageUp at the top") << false << qint64(1) << "PgDown*2 PgUp*3" << qint64(1) << qint64(1) << Open{};
    QTest::newRow("Home") << false << qint64(45) << "Home" << qint64(45) << qint64(45) << Open{};
    QTest::newRow("End") << false << qint64(45) << "End" << qint64(45) << qint64(54) << Open{};
    QTest::newRow("Ctrl+Home") << false << qint64(45) << "Ctrl+Home" << qint64(1) << qint64(1) << Open{};
    QTest::newRow("Ctrl+End") << false << qint64(45) << "Ctrl+End" << qint64(91) << qint64(100) << Open{};
    QTest::newRow("Shift+Ctrl+End") << false << qint64(45) << "Shift+Ctrl+End" << qint64(45) << qint64(54) << Open{};
    QTest::newRow("Right opens") << true << qint64(1) << "Right" << qint64(1) << qint64(1) << Open{1};
    QTest::newRow("Right when open: first child") << true << qint64(1) << "Right*2" << qint64(1) << qint64(2) << Open{1};
    QTest::newRow("Right on a leaf: nothing") << true << qint64(1) << "Right*5" << qint64(1) << qint64(3) << Open{1, 2};
    QTest::newRow("Left on a child: its parent") << true << qint64(1) << "Right*5 Left" << qint64(1) << qint64(2)
                                                 << Open{1, 2};
    QTest::newRow("Left when open: closes") << true << qint64(1) << "Right*5 Left*2" << qint64(1) << qint64(2)
                                            << Open{1};
    QTest::newRow("Left on a closed root: nothing") << true << qint64(1) << "Right*5 Left*5" << qint64(1)
                                                    << qint64(1) << Open{};
    QTest::newRow("go to hidden, opening") << true << qint64(4) << "" << qint64(4) << qint64(4) << Open{1, 2};
    QTest::newRow("go near the end") << true << qint64(38) << "" << qint64(31) << qint64(38) << Open{};
    QTest::newRow("go past the end") << true << qint64(1000) << "" << qint64(31) << qint64(40) << Open{};
    QTest::newRow("go to 0: the first") << true << qint64(0) << "" << qint64(1) << qint64(1) << Open{1};
  }
  void keysAndGoToId() {
    QFETCH(bool, nested);
    QFETCH(qint64, start);
    QFETCH(QString, keys);
    QFETCH(qint64, first_row);
    QFETCH(qint64, current);
    QFETCH(Open, open);
    loadTree(widget.get(), nested ? nestedNodes() : flatNodes(100));
    bar->setValue(10);
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    tree->goToId(start, keys.isEmpty());  // opens the path only for plain jumps
    for (const QString& step : keys.split(' ', Qt::SkipEmptyParts)) {
      const QKeyCombination key = QKeySequence(step.section('*', 0, 0))[0];
      for (int i = 0; i < qMax(1, step.section('*', 1).toInt()); ++i)
        press(key.key(), key.keyboardModifiers());
    }
    QCOMPARE(pageIds(tree).first(), first_row);
    QCOMPARE(currentRowId(tree), current);
    QCOMPARE(openIds(), open);
    QCOMPARE(reportedId(clicked), current);  // the hex view follows the current row
    const ViewerDatabase* database = widget->viewerDatabase();
    const int first = database->rowOf(first_row);
    QCOMPARE(bar->value(), first);
    QCOMPARE(tree->topLevelItemCount(), qMin(kPageRows + 1, database->visibleCount() - first));
    for (int row = 0; row < tree->topLevelItemCount(); ++row)
      QCOMPARE(pageIds(tree).at(row), database->idAt(first + row));
  }

  // Without opening, a hidden id leaves no row current. Left or Right then makes the row
  // holding it (its nearest visible ancestor) current and acts on that row as on any other.
  void leftRightOnAHiddenCurrentElement_data() {
    QTest::addColumn<Ids>("open");
    QTest::addColumn<qint64>("hidden");
    QTest::addColumn<int>("key");
    QTest::addColumn<qint64>("current");
    QTest::addColumn<Open>("opened");
    QTest::newRow("Left in a closed root: the root, nothing more")
        << Ids{} << qint64(3) << int(Qt::Key_Left) << qint64(1) << Open{};
    QTest::newRow("Right in a closed root: opens it")
        << Ids{} << qint64(3) << int(Qt::Key_Right) << qint64(1) << Open{1};
    QTest::newRow("Left in a closed child: its parent")
        << Ids{1} << qint64(4) << int(Qt::Key_Left) << qint64(1) << Open{1};
    QTest::newRow("Right in a closed child: opens the child")
        << Ids{1} << qint64(4) << int(Qt::Key_Right) << qint64(2) << Open{1, 2};
  }
  void leftRightOnAHiddenCurrentElement() {
    QFETCH(Ids, open);
    QFETCH(qint64, hidden);
    QFETCH(int, key);
    QFETCH(qint64, current);
    QFETCH(Open, opened);
    loadTree(widget.get(), nestedNodes(), open);
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    tree->goToId(hidden, false);
    QCOMPARE(currentRowId(tree), qint64(-1));
    QVERIFY(clicked.isEmpty());
    widget->scrollTree(0);  // the page holds the closed element again
    QVERIFY(tree->isCurrentInView());
    QCOMPARE(currentRowId(tree), qint64(-1));
    press(key);
    QCOMPARE(currentRowId(tree), current);
    QCOMPARE(tree->currentId(), current);
    QCOMPARE(openIds(), opened);
    QCOMPARE(reportedId(clicked), current);
  }

  // A hidden id starts the page at the next visible element; near the end the page
  // moves up, with an empty last row for the hidden last element.
  void goToHiddenWithoutOpening() {
    loadTree(widget.get(), nestedNodes());
    tree->goToId(3, false);  // inside the closed A
    QCOMPARE(pageIds(tree).first(), qint64(6));
    QList<Node> nodes = flatNodes(30);
    nodes.append({1, "hidden last"});  // 31, inside the closed root 30
    loadTree(widget.get(), nodes);
    tree->goToId(31, false);
    QCOMPARE(pageIds(tree), (Ids{22, 23, 24, 25, 26, 27, 28, 29, 30}));  // and an empty row
  }

  void goToIdFromLineEdit() {
    loadTree(widget.get(), flatNodes(100));
    QLineEdit edit;
    connect(&edit, SIGNAL(returnPressed()), tree, SLOT(goToId()));
    edit.setText(QStringLiteral(" #4x2 "));
    emit edit.returnPressed();
    QCOMPARE(edit.text(), QStringLiteral("42"));
    QCOMPARE(currentRowId(tree), qint64(42));
    edit.setText(QStringLiteral("99999999999999999999999"));
    emit edit.returnPressed();
    QCOMPARE(currentRowId(tree), qint64(100));
  }

  void wheelScrollBarAndKeyAfterTheCurrentRowScrolledAway() {
    loadTree(widget.get(), flatNodes(100));
    tree->header()->resizeSection(3, 2000);
    QApplication::processEvents();
    QScrollBar* horizontal = tree->horizontalScrollBar();
    horizontal->setValue(horizontal->maximum() / 2);
    const int column_position = horizontal->value();
    QVERIFY(column_position > 0);
    tree->goToId(3);
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    wheel(-120);
    QCOMPARE(pageIds(tree).first(), qint64(6));
    wheel(-15);  // the size of a step does not matter
    QCOMPARE(bar->value(), 8);
    wheel(0, 120);  // a sideways wheel scrolls up, never sideways
    QCOMPARE(bar->value(), 5);
    QCOMPARE(horizontal->value(), column_position);  // refills keep the horizontal position too
    QCOMPARE(currentRowId(tree), qint64(-1));
    QVERIFY(clicked.isEmpty());
    bar->setValue(bar->maximum());
    QCOMPARE(pageIds(tree).first(), qint64(100 - kPageRows));
    QCOMPARE(tree->topLevelItemCount(), kPageRows + 1);
    press(Qt::Key_Down);  // only brings the current element back, to the top
    QCOMPARE(pageIds(tree).first(), qint64(3));
    QCOMPARE(currentRowId(tree), qint64(3));
    press(Qt::Key_Down);
    QCOMPARE(currentRowId(tree), qint64(4));
  }

  void markerZone_data() {
    QTest::addColumn<Ids>("open");
    QTest::addColumn<qint64>("id");  // A (1) and B (6) have children, 8 is a leaf
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("double_click");
    QTest::addColumn<bool>("opened");
    QTest::newRow("click on marker") << Ids{} << qint64(6) << 10 << false << true;
    QTest::newRow("click on name") << Ids{} << qint64(6) << 50 << false << false;
    QTest::newRow("click on marker edge") << Ids{} << qint64(6) << 0 << false << false;
    QTest::newRow("click on leaf marker") << Ids{} << qint64(8) << 10 << false << false;
    QTest::newRow("double click on name") << Ids{} << qint64(6) << 50 << true << true;
    QTest::newRow("double click on marker: toggles once") << Ids{} << qint64(6) << 10 << true << false;
    QTest::newRow("double click on leaf") << Ids{} << qint64(8) << 50 << true << false;
    QTest::newRow("click on open marker") << Ids{1} << qint64(1) << 10 << false << false;
    QTest::newRow("level 1: parent's line") << Ids{1} << qint64(2) << 10 << false << false;
    QTest::newRow("level 1: marker") << Ids{1} << qint64(2) << 30 << false << true;
  }
  void markerZone() {
    QFETCH(Ids, open);
    QFETCH(qint64, id);
    QFETCH(int, x);
    QFETCH(bool, double_click);
    QFETCH(bool, opened);
    loadTree(widget.get(), nestedNodes(), open);
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    const QPoint pos = pointInRow(int(pageIds(tree).indexOf(id)), x);
    if (double_click)
      doubleClick(pos);
    else
      QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pos);
    QCOMPARE(currentRowId(tree), id);
    QCOMPARE(openIds().count(id) == 1, opened);
    if (!clicked.isEmpty())  // the hex view follows the element
      QCOMPARE(reportedId(clicked), id);
  }

  void dragSelectsAndScrolls() {
    loadTree(widget.get(), flatNodes(100));
    QTest::mouseMove(tree->viewport(), pointInRow(4, 50));  // no button: nothing
    QCOMPARE(currentRowId(tree), qint64(1));
    QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, pointInRow(2, 50));
    QCOMPARE(currentRowId(tree), qint64(3));
    const QPoint bottom = pointInRow(kPageRows, 50);
    QMouseEvent move(QEvent::MouseMove, bottom, tree->viewport()->mapToGlobal(bottom), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &move);
    QCOMPARE(bar->value(), 1);  // the bottom row scrolls one row on
    QCOMPARE(currentRowId(tree), qint64(11));
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, bottom);
  }

  void rowTexts() {
    loadTree(widget.get(), {{0, "box", "value\ttext", 64, 16}, {0, "bits", "", 12, 13},
                            {0, "far", "", (qint64(5) << 33) + 3, 7},
                            {0, "d771bd4e-a2e6-46e3-ad1c-1aafa1b60c87", "", 80, 24}});
    const QList<QStringList> texts{{"box", "8", "2", "value text"}, {"bits", "1:4", "1:5", ""},
                                   {"far", "5368709120:3", "0:7", ""}, {"GARBAGE", "10", "3", ""}};
    for (int row = 0; row < texts.size(); ++row) {
      for (int column = 0; column < 4; ++column)  // as the main window reads them
        QCOMPARE(tree->model()->index(row, column).data().toString(), texts[row][column]);
      QCOMPARE(tree->topLevelItem(row)->font(0).bold(), row == 3);
    }
  }

  void emptyAndClearedTreesIgnoreInput() {
    for (bool cleared : {true, false}) {
      loadTree(widget.get(), cleared ? flatNodes(50) : QList<Node>{});
      if (cleared)
        widget->clearTree();
      QCOMPARE(QSqlDatabase::contains(QLatin1String(corvanta::ElementDatabase::kConnectionName)), !cleared);
      for (int key : {Qt::Key_Down, Qt::Key_End, Qt::Key_Right, Qt::Key_PageDown})
        press(key);
      wheel(-120);
      QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(30, 10));
      QCOMPARE(tree->topLevelItemCount(), 0);
      QVERIFY(!bar->isEnabled());
    }
  }

  void headerRefusesMovesOfTheNameColumn() {
    QHeaderView* header = tree->header();
    const QList<std::pair<int, int>> moves{{0, 2}, {2, 0}, {3, 1}};  // the last one is allowed
    const QList<QList<int>> orders{{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 3, 1, 2}};
    for (int i = 0; i < moves.size(); ++i) {
      header->moveSection(moves[i].first, moves[i].second);
      for (int visual = 0; visual < 4; ++visual)
        QCOMPARE(header->logicalIndex(visual), orders[i][visual]);
    }
  }

  void headerHidesAndShowsWithRememberedWidth() {
    SqlTreeHeader* header = headerOf(*widget);
    header->resizeSection(2, 77);
    QMenu* menu = openHeaderMenu();
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 4);
    QVERIFY(!menu->actions().at(0)->isEnabled());  // the name column stays
    QVERIFY(menu->actions().at(2)->isChecked());
    menu->actions().at(2)->trigger();
    QVERIFY(header->isSectionHidden(2));
    QCOMPARE(header->columnsState().at(2), QStringLiteral("size;77;2;1"));
    delete menu;
    menu = openHeaderMenu();
    QVERIFY(!menu->actions().at(2)->isChecked());
    menu->actions().at(2)->trigger();
    QCOMPARE(header->sectionSize(2), 77);
    QCOMPARE(header->columnsState().at(2), QStringLiteral("size;77;2;0"));
  }

  // The first layout of the columns, in units u: the width of "0" in the Monospace font
  // at the stored tree font size, truncated to whole points. A wide header gives the raw
  // value 30u and the name what is left after 50u; below 80u the raw value takes 10u and
  // the name what is left after 30u; below 40u the name takes 10u and the others share
  // the rest. A section still at 0 (or hidden) at the end gets 10u.
  void defaultColumnSizes_data() {
    QTest::addColumn<double>("font_size");
    QTest::addColumn<int>("width");          // of the header, in u
    QTest::addColumn<QList<int>>("before");  // section sizes in pixels; empty: all 0
    QTest::addColumn<int>("hidden");         // a hidden section, or -1
    QTest::addColumn<QList<int>>("after");   // in u; -1: unchanged
    const QList<int> sized{100, 90, 80, 70};
    QTest::newRow("wide") << 10.0 << 100 << QList<int>{} << -1 << QList<int>{50, 10, 10, 30};
    QTest::newRow("80u: the first step stands") << 10.0 << 80 << QList<int>{} << -1 << QList<int>{30, 10, 10, 30};
    QTest::newRow("below 80u: the second step") << 10.0 << 79 << QList<int>{} << -1 << QList<int>{49, 10, 10, 10};
    QTest::newRow("40u: the second step stands") << 10.0 << 40 << QList<int>{} << -1 << QList<int>{10, 10, 10, 10};
    QTest::newRow("below 40u: the third step") << 10.0 << 31 << QList<int>{} << -1 << QList<int>{10, 7, 7, 7};
    QTest::newRow("14.9 points count as 14") << 14.9 << 100 << QList<int>{} << -1 << QList<int>{50, 10, 10, 30};
    QTest::newRow("all sized: nothing changes") << 10.0 << 100 << sized << -1 << QList<int>{-1, -1, -1, -1};
    QTest::newRow("one section at 0: the whole layout") << 10.0 << 100 << QList<int>{100, 0, 80, 70} << -1
                                                        << QList<int>{50, 10, 10, 30};
    QTest::newRow("a hidden section counts as 0") << 10.0 << 100 << sized << 2 << QList<int>{50, 10, 10, 30};
  }
  void defaultColumnSizes() {
    QFETCH(double, font_size);
    QFETCH(int, width);
    QFETCH(QList<int>, before);
    QFETCH(int, hidden);
    QFETCH(QList<int>, after);
    settings()->setValue("main/tree_viewer/font_size", font_size);
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    font.setPointSize(int(font_size));
    const int u = QFontMetrics(font).horizontalAdvance(QStringLiteral("0"));
    QVERIFY(u > 0);

    QTreeWidget owner;
    auto* header = new SqlTreeHeader(Qt::Horizontal, &owner);  // never shown: no layout of its own
    header->resize(width * u, 30);
    for (int i = 0; i < before.size(); ++i)
      header->resizeSection(i, before[i]);
    if (hidden >= 0)
      header->hideSection(hidden);
    QVERIFY(QMetaObject::invokeMethod(header, "setDefaultColumnSizes"));
    if (hidden >= 0)
      header->showSection(hidden);
    for (int i = 0; i < 4; ++i)
      QCOMPARE(header->sectionSize(i), after[i] < 0 ? before[i] : after[i] * u);
  }

  void restoreColumnsIgnoresBadEntries_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("state");
    QTest::newRow("non-numeric position asks for the front") << QStringList{"size;120;abc;0"}
        << QStringList{"name;0;0;0", "offset;0;1;0", "size;120;2;0", "raw_value;0;3;0"};
    QTest::newRow("three fields, unknown key, name kept first and visible")
        << QStringList{"name;100;0", "colour;5;1;0", "name;300;2;1"}
        << QStringList{"name;300;0;0", "offset;0;1;0", "size;0;2;0", "raw_value;0;3;0"};
  }
  void restoreColumnsIgnoresBadEntries() {
    QFETCH(QStringList, entries);
    QFETCH(QStringList, state);
    SqlTreeWidget unshown;
    headerOf(unshown)->restoreColumns(entries);
    QCOMPARE(headerOf(unshown)->columnsState(), state);
  }

  // Columns and font size through the settings store. With a column hidden, the first
  // show lays the widths out afresh; order and hidden state stay as saved.
  void settingsRoundTrip() {
    settings()->setValue("main/tree_viewer/font_size", QStringLiteral("not a number"));
    widget->loadSettings();
    QCOMPARE(widget->treeFontSize(), 10.0);
    SqlTreeHeader* header = headerOf(*widget);
    header->resizeSection(1, 91);
    header->moveSection(3, 1);
    header->restoreColumns({QStringLiteral("size;55;3;1")});
    widget->setTreeFontSize(12.5);
    widget->saveSettings();
    const QStringList saved = header->columnsState();
    QCOMPARE(saved.at(2), QStringLiteral("size;55;3;1"));

    SqlTreeWidget restored;
    restored.loadSettings();
    QCOMPARE(restored.treeFontSize(), 12.5);
    QCOMPARE(headerOf(restored)->columnsState(), saved);
    restored.show();
    QVERIFY(QTest::qWaitForWindowExposed(&restored));
    QTest::qWait(10);  // the default layout runs from a zero-delay timer
    SqlTreeHeader* shown = headerOf(restored);
    QCOMPARE(shown->visualIndex(3), 1);
    QVERIFY(shown->isSectionHidden(2));
    QVERIFY(shown->sectionSize(1) > 0 && shown->sectionSize(1) != 91);
  }

  // A database from the parser: walk to the deepest last element and climb back with Left.
  void openFileShowsTheContainer() {
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    QCOMPARE(widget->openFile(dataFile("isobmff/progressive.mp4"), QString()), 0);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("ftyp"));
    QCOMPARE(reportedId(clicked), qint64(1));
    const qint64 last_id = widget->viewerDatabase()->lastId();
    tree->goToId(last_id);
    QCOMPARE(currentRowId(tree), last_id);
    const ViewerDatabase::Element last = SqlTree::elementOf(tree->currentIndex());
    QVERIFY(last.level > 1);
    // When the parent is above the page, the next key brings it back first.
    for (int guard = 0; guard < 100 && SqlTree::elementOf(tree->currentIndex()).level != 0; ++guard)
      press(Qt::Key_Left);
    const ViewerDatabase::Element root = SqlTree::elementOf(tree->currentIndex());
    QCOMPARE(root.level, 0);
    QVERIFY(root.offset <= last.offset && last.offset + last.size <= root.offset + root.size);

    QCOMPARE(widget->openFile(dataFile("isobmff/corrupt-junk.mp4"), QString()), 0);
    QCOMPARE(widget->findChildren<Parser*>().size(), 1);
    QCOMPARE(widget->openFile(QStringLiteral("/nonexistent/file.mp4"), QString()), -1);
    QCOMPARE(tree->topLevelItemCount(), 0);
    QVERIFY(!QSqlDatabase::contains(QLatin1String(corvanta::ElementDatabase::kConnectionName)));
  }
};

CORVANTA_TEST_MAIN(SqlTreeWidgetTest)
#include "SqlTreeWidgetTest.moc"
