// Keys, wheel, mouse and goToId on a real SqlTreeWidget whose viewport is ten rows
// high, so P = 9 and every page shows 10 rows.
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSignalSpy>
#include <QWheelEvent>

#include <memory>

#include "ElementDatabase.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "TestSupport.h"
#include "TreeFixture.h"
#include "ViewerDatabase.h"

using corvanta::test::currentRowId;
using corvanta::test::flatNodes;
using corvanta::test::loadTree;
using corvanta::test::Node;
using corvanta::test::pageIds;

namespace {

constexpr int kPageRows = 9;

QList<qint64> range(qint64 first, qint64 last) {
  QList<qint64> ids;
  for (qint64 id = first; id <= last; ++id)
    ids.append(id);
  return ids;
}

// A small nested tree:
//  1 A            6 B          8..40 root-8 .. root-40
//    2 A1           7 B1
//      3 A1a
//      4 A1b
//    5 A2
QList<Node> nestedNodes() {
  QList<Node> nodes{{0, "A"}, {1, "A1"}, {2, "A1a"}, {2, "A1b"}, {1, "A2"}, {0, "B"}, {1, "B1"}};
  for (int id = 8; id <= 40; ++id)
    nodes.append({0, QStringLiteral("root-%1").arg(id)});
  return nodes;
}

}  // namespace

class SqlTreeNavigationTest : public QObject {
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

  int rowOf(qint64 id) const { return pageIds(tree).indexOf(id); }

  QPoint pointInRow(int page_row, int x) const {
    const QRect rect = tree->visualRect(tree->model()->index(page_row, 0));
    return QPoint(x, rect.center().y());
  }

  static bool isOpen(qint64 id) {
    QSqlQuery query(QSqlDatabase::database(QLatin1String(corvanta::ElementDatabase::kConnectionName), false));
    query.prepare(QStringLiteral("SELECT id FROM open_elements WHERE id = ?"));
    query.addBindValue(id);
    return query.exec() && query.next();
  }

 private Q_SLOTS:
  void init() {
    widget = std::make_unique<SqlTreeWidget>();
    tree = widget->tree();
    bar = widget->scrollBar();
    widget->resize(600, 300);
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
    corvanta::test::setViewportHeight(widget.get(), (kPageRows + 1) * tree->rowHeight());
    QCOMPARE(widget->pageRows(), kPageRows);
  }
  void cleanup() { widget.reset(); }

  void pageRowsFromViewport_data() {
    QTest::addColumn<int>("font_height");  // 0: the default font
    QTest::addColumn<int>("viewport_height");
    QTest::addColumn<int>("page_rows");
    QTest::newRow("16-pixel font, 200 pixels") << 16 << 200 << 9;
    QTest::newRow("16-pixel font, 199 pixels") << 16 << 199 << 8;
    QTest::newRow("16-pixel font, 239 pixels") << 16 << 239 << 10;
    QTest::newRow("18-pixel font, 200 pixels") << 18 << 200 << 8;
    QTest::newRow("16-pixel font, 60 pixels") << 16 << 60 << 2;
    QTest::newRow("16-pixel font, 59 pixels") << 16 << 59 << 1;
  }
  void pageRowsFromViewport() {
    QFETCH(int, font_height);
    QFETCH(int, viewport_height);
    QFETCH(int, page_rows);
    // Fonts differ between machines: find a family and point size of the wanted height.
    QStringList families = QFontDatabase::families();
    families.prepend(tree->font().family());
    QFont found;
    for (const QString& family : families) {
      QFont font(family);
      for (double size = 6.0; size <= 20.0 && QFontMetrics(found).height() != font_height; size += 0.125) {
        font.setPointSizeF(size);
        if (QFontMetrics(font).height() == font_height)
          found = font;
      }
    }
    if (QFontMetrics(found).height() != font_height)
      QSKIP("no installed font has that height");
    tree->setFont(found);
    widget->setTreeFontSize(found.pointSizeF());
    loadTree(widget.get(), flatNodes(100));
    corvanta::test::setViewportHeight(widget.get(), viewport_height);
    QCOMPARE(tree->rowHeight(), font_height + 4);
    QCOMPARE(widget->pageRows(), page_rows);
    QCOMPARE(tree->topLevelItemCount(), page_rows + 1);
    QCOMPARE(bar->pageStep(), page_rows);
    QCOMPARE(bar->maximum(), 100 - page_rows - 1);
  }

  void pageSizeFollowsViewportAndFont() {
    loadTree(widget.get(), flatNodes(100));
    QCOMPARE(tree->rowHeight(), QFontMetrics(tree->font()).height() + 4);
    QCOMPARE(tree->topLevelItemCount(), kPageRows + 1);
    QCOMPARE(bar->pageStep(), kPageRows);
    QCOMPARE(bar->maximum(), 100 - kPageRows - 1);
    QCOMPARE(tree->visualRect(tree->model()->index(0, 0)).height(), tree->rowHeight());
    QCOMPARE(tree->visualRect(tree->model()->index(kPageRows, 3)).bottom(), tree->viewport()->height() - 1);

    widget->setTreeFontSize(widget->treeFontSize() * 2);
    const int larger_rows = widget->pageRows();
    QVERIFY(larger_rows < kPageRows);
    QCOMPARE(tree->topLevelItemCount(), larger_rows + 1);
    QCOMPARE(bar->maximum(), 100 - larger_rows - 1);
    QCOMPARE(pageIds(tree).first(), qint64(1));

    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    widget->resize(widget->width() + 100, widget->height());  // width alone keeps the page
    QCOMPARE(widget->pageRows(), larger_rows);
    QVERIFY(clicked.isEmpty());  // a refill would have reported the current row again
    widget->resize(widget->width(), widget->height() + 100);
    QVERIFY(widget->pageRows() > larger_rows);
    QCOMPARE(tree->topLevelItemCount(), widget->pageRows() + 1);
    QVERIFY(!clicked.isEmpty());
  }

  void resetViewShowsFirstElement() {
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    loadTree(widget.get(), flatNodes(3));
    QCOMPARE(pageIds(tree), range(1, 3));
    QCOMPARE(currentRowId(tree), qint64(1));
    QVERIFY(tree->selectionModel()->isRowSelected(0, QModelIndex()));
    QVERIFY(!clicked.isEmpty());
    QCOMPARE(SqlTree::elementOf(clicked.last().at(0).value<QModelIndex>()).id, qint64(1));
    QVERIFY(!bar->isEnabled());
  }

  void emptyViewIgnoresInput() {
    widget->clearTree();
    QCOMPARE(tree->topLevelItemCount(), 0);
    QVERIFY(!bar->isEnabled());
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    for (int key : {Qt::Key_Down, Qt::Key_End, Qt::Key_Right, Qt::Key_PageDown})
      press(key);
    wheel(-120);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(30, 10));
    QCOMPARE(tree->topLevelItemCount(), 0);
    QVERIFY(!clicked.isEmpty());  // the click below every row reports an invalid index
    QVERIFY(!clicked.last().at(0).value<QModelIndex>().isValid());
  }

  void scrollBarPositionsThePage() {
    loadTree(widget.get(), flatNodes(100));
    bar->setValue(37);
    QCOMPARE(pageIds(tree), range(38, 47));
    bar->setValue(bar->maximum());
    QCOMPARE(pageIds(tree), range(91, 100));
  }

  void lastPageWithHiddenLastElement() {
    QList<Node> nodes = flatNodes(30);
    nodes.append({1, "hidden child"});  // 31, inside the closed root 30
    loadTree(widget.get(), nodes);
    bar->setValue(bar->maximum());
    QCOMPARE(pageIds(tree).last(), qint64(30));
    widget->tree()->goToId(31, false);
    QCOMPARE(pageIds(tree), range(22, 30));  // the last 9 visible rows and an empty one
    QCOMPARE(currentRowId(tree), qint64(-1));
  }

  void upDownAcrossPageEdges() {
    loadTree(widget.get(), flatNodes(100));
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    press(Qt::Key_Up);  // top of the tree
    QCOMPARE(currentRowId(tree), qint64(1));
    QVERIFY(clicked.isEmpty());

    for (int i = 0; i < kPageRows; ++i)
      press(Qt::Key_Down);
    QCOMPARE(currentRowId(tree), qint64(10));
    QCOMPARE(bar->value(), 0);
    press(Qt::Key_Down);  // from the bottom row: one row further
    QCOMPARE(bar->value(), 1);
    QCOMPARE(pageIds(tree), range(2, 11));
    QCOMPARE(currentRowId(tree), qint64(11));
    QCOMPARE(tree->currentIndex().row(), kPageRows);
    QCOMPARE(SqlTree::elementOf(clicked.last().at(0).value<QModelIndex>()).id, qint64(11));

    for (int i = 0; i < kPageRows; ++i)
      press(Qt::Key_Up);
    QCOMPARE(currentRowId(tree), qint64(2));
    press(Qt::Key_Up);  // from row 0: one row back
    QCOMPARE(pageIds(tree), range(1, 10));
    QCOMPARE(currentRowId(tree), qint64(1));

    press(Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(currentRowId(tree), qint64(100));
    press(Qt::Key_Down);  // end of the tree
    QCOMPARE(currentRowId(tree), qint64(100));
    QCOMPARE(pageIds(tree), range(91, 100));
  }

  void pageKeys() {
    loadTree(widget.get(), flatNodes(100));
    press(Qt::Key_PageDown);
    QCOMPARE(pageIds(tree), range(10, 19));
    QCOMPARE(currentRowId(tree), qint64(19));
    press(Qt::Key_PageDown);
    QCOMPARE(currentRowId(tree), qint64(28));
    press(Qt::Key_PageUp);
    QCOMPARE(pageIds(tree), range(10, 19));
    QCOMPARE(currentRowId(tree), qint64(10));
    press(Qt::Key_PageUp);
    press(Qt::Key_PageUp);
    QCOMPARE(pageIds(tree), range(1, 10));
    QCOMPARE(currentRowId(tree), qint64(1));
  }

  void homeEnd_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<qint64>("first_row");
    QTest::addColumn<qint64>("current");
    QTest::newRow("Home") << int(Qt::Key_Home) << int(Qt::NoModifier) << qint64(45) << qint64(45);
    QTest::newRow("End") << int(Qt::Key_End) << int(Qt::NoModifier) << qint64(45) << qint64(54);
    QTest::newRow("Ctrl+Home") << int(Qt::Key_Home) << int(Qt::ControlModifier) << qint64(1) << qint64(1);
    QTest::newRow("Ctrl+End") << int(Qt::Key_End) << int(Qt::ControlModifier) << qint64(91) << qint64(100);
    QTest::newRow("Shift+Ctrl+End") << int(Qt::Key_End) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                    << qint64(45) << qint64(54);
  }
  void homeEnd() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(qint64, first_row);
    QFETCH(qint64, current);
    loadTree(widget.get(), flatNodes(100));
    tree->goToId(45);
    press(key, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(pageIds(tree).first(), first_row);
    QCOMPARE(currentRowId(tree), current);
  }

  void leftRight() {
    loadTree(widget.get(), nestedNodes());
    QCOMPARE(pageIds(tree), (QList<qint64>{1, 6, 8, 9, 10, 11, 12, 13, 14, 15}));
    press(Qt::Key_Right);  // closed: opens, stays current
    QCOMPARE(pageIds(tree).mid(0, 4), (QList<qint64>{1, 2, 5, 6}));
    QCOMPARE(currentRowId(tree), qint64(1));
    QCOMPARE(bar->maximum(), 37 - kPageRows - 1);
    press(Qt::Key_Right);  // open: first child
    QCOMPARE(currentRowId(tree), qint64(2));
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    press(Qt::Key_Right);  // a leaf: nothing
    QCOMPARE(currentRowId(tree), qint64(3));
    QCOMPARE(pageIds(tree).mid(0, 6), (QList<qint64>{1, 2, 3, 4, 5, 6}));

    press(Qt::Key_Left);  // child: its parent
    QCOMPARE(currentRowId(tree), qint64(2));
    press(Qt::Key_Left);  // open: closes, stays current
    QCOMPARE(currentRowId(tree), qint64(2));
    QCOMPARE(pageIds(tree).mid(0, 4), (QList<qint64>{1, 2, 5, 6}));
    press(Qt::Key_Left);
    press(Qt::Key_Left);
    QCOMPARE(currentRowId(tree), qint64(1));
    QCOMPARE(pageIds(tree).mid(0, 3), (QList<qint64>{1, 6, 8}));
    press(Qt::Key_Left);  // a closed root: nothing
    QCOMPARE(currentRowId(tree), qint64(1));
    press(Qt::Key_Right);  // reopening shows the subtree as it was left
    QCOMPARE(pageIds(tree).mid(0, 4), (QList<qint64>{1, 2, 5, 6}));
  }

  void leftRightWithoutCurrentRow_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Left") << int(Qt::Key_Left);
    QTest::newRow("Right") << int(Qt::Key_Right);
  }
  void leftRightWithoutCurrentRow() {
    QFETCH(int, key);
    loadTree(widget.get(), nestedNodes());
    tree->goToId(3, false);  // inside the closed A
    QCOMPARE(currentRowId(tree), qint64(-1));
    widget->scrollTree(0);  // back to the top: A (holding 3) is on the page, no row is current
    QCOMPARE(pageIds(tree).first(), qint64(1));
    QCOMPARE(currentRowId(tree), qint64(-1));
    QVERIFY(tree->isCurrentInView());
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    press(key);
    QCOMPARE(currentRowId(tree), qint64(1));  // the row that holds it, nothing toggled
    QCOMPARE(clicked.count(), 1);
    QVERIFY(!isOpen(1));
  }

  void goToId_data() {
    QTest::addColumn<qint64>("id");
    QTest::addColumn<bool>("force_open");
    QTest::addColumn<qint64>("first_row");
    QTest::addColumn<qint64>("current_row");
    QTest::newRow("hidden, opened") << qint64(4) << true << qint64(4) << qint64(4);
    QTest::newRow("hidden, not opened") << qint64(4) << false << qint64(6) << qint64(-1);
    QTest::newRow("past the end") << qint64(1000) << true << qint64(31) << qint64(40);
    QTest::newRow("near the end") << qint64(38) << true << qint64(31) << qint64(38);
    QTest::newRow("zero") << qint64(0) << true << qint64(1) << qint64(1);
    QTest::newRow("negative") << qint64(-7) << false << qint64(1) << qint64(1);
  }
  void goToId() {
    QFETCH(qint64, id);
    QFETCH(bool, force_open);
    QFETCH(qint64, first_row);
    QFETCH(qint64, current_row);
    loadTree(widget.get(), nestedNodes());
    bar->setValue(10);
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    tree->goToId(id, force_open);
    QCOMPARE(pageIds(tree).first(), first_row);
    QCOMPARE(currentRowId(tree), current_row);
    QCOMPARE(clicked.isEmpty(), current_row < 0);
    QCOMPARE(isOpen(1) && isOpen(2), force_open && id == 4);
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

  void wheelMovesThreeRows() {
    loadTree(widget.get(), flatNodes(100));
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    wheel(-120);
    QCOMPARE(bar->value(), 3);
    QCOMPARE(pageIds(tree).first(), qint64(4));
    wheel(-15);  // the size of a step does not matter
    QCOMPARE(bar->value(), 6);
    wheel(0, 120);  // a sideways wheel scrolls up, never sideways
    QCOMPARE(bar->value(), 3);
    QCOMPARE(tree->horizontalScrollBar()->value(), 0);
    wheel(120);
    wheel(120);
    QCOMPARE(bar->value(), 0);
    QVERIFY(clicked.isEmpty());
  }

  void keyAfterCurrentScrolledAway() {
    loadTree(widget.get(), flatNodes(100));
    press(Qt::Key_Down);
    press(Qt::Key_Down);  // 3 is current
    for (int i = 0; i < 5; ++i)
      wheel(-120);
    QCOMPARE(currentRowId(tree), qint64(-1));
    press(Qt::Key_Down);  // only brings the current element back, to the top
    QCOMPARE(pageIds(tree).first(), qint64(3));
    QCOMPARE(currentRowId(tree), qint64(3));
    press(Qt::Key_Down);
    QCOMPARE(currentRowId(tree), qint64(4));
  }

  void markerZone_data() {
    QTest::addColumn<qint64>("id");  // A (1) and B (6) are closed roots, 8 a leaf
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("double_click");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<int>("emitted");
    QTest::newRow("click on marker") << qint64(6) << 10 << false << true << 2;
    QTest::newRow("click on name") << qint64(6) << 50 << false << false << 1;
    QTest::newRow("click on marker edge") << qint64(6) << 0 << false << false << 1;
    QTest::newRow("click on leaf marker") << qint64(8) << 10 << false << false << 0;
    QTest::newRow("double click on name") << qint64(6) << 50 << true << true << 3;
    QTest::newRow("double click on marker") << qint64(6) << 10 << true << false << 5;
    QTest::newRow("double click on leaf") << qint64(8) << 50 << true << false << 2;
  }
  void markerZone() {
    QFETCH(qint64, id);
    QFETCH(int, x);
    QFETCH(bool, double_click);
    QFETCH(bool, opened);
    QFETCH(int, emitted);
    loadTree(widget.get(), nestedNodes());
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    const QPoint pos = pointInRow(rowOf(id), x);
    if (double_click)
      doubleClick(pos);
    else
      QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pos);
    QCOMPARE(currentRowId(tree), id);
    QCOMPARE(isOpen(id), opened);
    QCOMPARE(clicked.count(), emitted);
    if (emitted > 0)
      QCOMPARE(SqlTree::elementOf(clicked.last().at(0).value<QModelIndex>()).id, id);
  }

  void markerZoneOfDeeperLevel() {
    loadTree(widget.get(), nestedNodes(), {1});
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pointInRow(rowOf(2), 10));
    QVERIFY(!isOpen(2));  // the parent's line cell is not the marker
    QCOMPARE(currentRowId(tree), qint64(2));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pointInRow(rowOf(2), 30));
    QVERIFY(isOpen(2));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pointInRow(rowOf(1), 10));
    QVERIFY(!isOpen(1));
    QCOMPARE(pageIds(tree).mid(0, 2), (QList<qint64>{1, 6}));
  }

  void dragSelectsAndScrolls() {
    loadTree(widget.get(), flatNodes(100));
    QSignalSpy clicked(widget.get(), &SqlTreeWidget::clicked);
    QTest::mouseMove(tree->viewport(), pointInRow(4, 50));  // no button: nothing
    QCOMPARE(currentRowId(tree), qint64(1));
    QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, pointInRow(2, 50));
    QCOMPARE(currentRowId(tree), qint64(3));
    const QPoint bottom = pointInRow(kPageRows, 50);
    QMouseEvent move(QEvent::MouseMove, bottom, tree->viewport()->mapToGlobal(bottom), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    clicked.clear();
    QApplication::sendEvent(tree->viewport(), &move);
    QCOMPARE(bar->value(), 1);  // the bottom row scrolls one row on
    QCOMPARE(currentRowId(tree), qint64(11));
    QCOMPARE(clicked.count(), 1);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, bottom);
  }

  void refillKeepsHorizontalPosition() {
    loadTree(widget.get(), flatNodes(100));
    tree->header()->resizeSection(3, 2000);
    QApplication::processEvents();
    QScrollBar* horizontal = tree->horizontalScrollBar();
    QVERIFY(horizontal->maximum() > 0);
    horizontal->setValue(horizontal->maximum() / 2);
    const int value = horizontal->value();
    press(Qt::Key_PageDown);
    wheel(-120);
    press(Qt::Key_Down);
    QCOMPARE(horizontal->value(), value);
  }

  void largeTreeNeverHoldsMoreThanAPage() {
    loadTree(widget.get(), flatNodes(200000));
    QCOMPARE(bar->maximum(), 200000 - kPageRows - 1);
    for (int value : {0, 1, 99999, 123457, bar->maximum() - 1, bar->maximum()}) {
      bar->setValue(value);
      QCOMPARE(tree->topLevelItemCount(), kPageRows + 1);
      QCOMPARE(pageIds(tree).first(), qint64(value + 1));
    }
    press(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(currentRowId(tree), qint64(1));
  }
};

CORVANTA_TEST_MAIN(SqlTreeNavigationTest)
#include "SqlTreeNavigationTest.moc"
