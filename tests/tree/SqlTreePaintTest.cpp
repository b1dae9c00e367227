// Renders the tree offscreen and checks by pixels what the rows' elements say must be
// drawn. A fixed palette and a small test style that paints branch cells in plain
// colours keep the picture independent of the application's look.
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOption>

#include <memory>

#include "TestSupport.h"
#include "TreeFixture.h"

using namespace corvanta::test;

namespace {

const QColor kBase(255, 255, 255);
const QColor kAlternateBase(200, 220, 255);
const QColor kLine(0, 0, 255);
const QColor kOpenMarker(0, 160, 0);
const QColor kClosedMarker(200, 0, 200);
const QColor kGarbage(128, 0, 0);

// Draws each branch cell as solid lines through its middle and an 8 x 8 marker box.
class BranchStyle : public QProxyStyle {
 public:
  BranchStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element != PE_IndicatorBranch) {
      QProxyStyle::drawPrimitive(element, option, painter, widget);
      return;
    }
    const QRect r = option->rect;
    const int mid_x = r.x() + r.width() / 2, mid_y = r.y() + r.height() / 2;
    if (option->state & State_Sibling)
      painter->fillRect(mid_x, r.top(), 1, r.height(), kLine);
    if (option->state & State_Item) {
      painter->fillRect(mid_x, r.top(), 1, mid_y - r.top(), kLine);
      painter->fillRect(mid_x, mid_y, r.right() - mid_x + 1, 1, kLine);
    }
    if (option->state & State_Children)
      painter->fillRect(mid_x - 4, mid_y - 4, 8, 8, (option->state & State_Open) ? kOpenMarker : kClosedMarker);
  }
};

// Ids:  1 A (open)            9 B (closed)      11 GARBAGE
//         2 A1 (open)           10 B1           12 .. 40 roots
//           3 A1a (open)
//             4 deep          <- level 3, followed by a sibling
//             5 deeper        <- level 3, last child, closed
//               6 deepest
//           7 A1b
//         8 A2
QList<Node> pictureNodes() {
  QList<Node> nodes{{0, "A"},   {1, "A1"}, {2, "A1a"}, {3, "deep"}, {3, "deeper"}, {4, "deepest"},
                    {2, "A1b"}, {1, "A2"}, {0, "B"},   {1, "B1"},   {0, "d771bd4e-a2e6-46e3-ad1c-1aafa1b60c87"}};
  for (int id = 12; id <= 40; ++id)
    nodes.append({0, QStringLiteral("root-%1").arg(id)});
  return nodes;
}

}  // namespace

class SqlTreePaintTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<SqlTreeWidget> widget;
  SqlTree* tree = nullptr;
  QImage picture;

  void render() { picture = widget->grab().toImage(); }
  // Colour at a point given in the coordinates of the tree's viewport.
  QColor pixel(int x, int y) const {
    return picture.pixelColor(tree->viewport()->mapTo(widget.get(), QPoint(x, y)));
  }

  QRect rowRect(int page_row) const { return tree->visualRect(tree->model()->index(page_row, 0)); }
  int rowMiddle(int page_row) const { return rowRect(page_row).y() + rowRect(page_row).height() / 2; }
  // A point of the empty raw_value column in the given row: only the background.
  QColor background(int page_row) const {
    const int column = tree->header()->sectionViewportPosition(3) + tree->header()->sectionSize(3) / 2;
    return pixel(column, rowMiddle(page_row));
  }
  int countPixels(int page_row, int from_x, int to_x, const QColor& colour) const {
    const QRect r = rowRect(page_row);
    int count = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = from_x; x < to_x; ++x)
        count += pixel(x, y) == colour ? 1 : 0;
    return count;
  }

 private Q_SLOTS:
  void initTestCase() {
    QApplication::setStyle(new BranchStyle());
    QPalette palette = QApplication::style()->standardPalette();
    palette.setColor(QPalette::Base, kBase);
    palette.setColor(QPalette::AlternateBase, kAlternateBase);
    palette.setColor(QPalette::Highlight, QColor(0, 0, 128));
    QApplication::setPalette(palette);
  }
  void init() {
    widget = std::make_unique<SqlTreeWidget>();
    tree = widget->tree();
    widget->resize(700, 400);
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
    QTRY_VERIFY(tree->header()->sectionSize(3) > 0);
    loadTree(widget.get(), pictureNodes(), {1, 2, 3});
    QCOMPARE(pageIds(tree).mid(0, 10), (QList<qint64>{1, 2, 3, 4, 5, 7, 8, 9, 11, 12}));
    render();
  }
  void cleanup() { widget.reset(); }

  void branchLinesOfALevelThreeRow() {
    const int y = rowMiddle(3);  // element 4, level 3: an 80-pixel branch area
    for (int x : {10, 30, 50, 70})
      QCOMPARE(pixel(x, y), kLine);
    QCOMPARE(pixel(75, y), kLine);   // towards its name
    QCOMPARE(pixel(10, rowRect(3).bottom()), kLine);  // lines run through the whole row
    QCOMPARE(pixel(70, rowRect(3).bottom()), kLine);  // a sibling follows
    for (int x : {5, 20, 45, 65})
      QVERIFY(pixel(x, y) != kLine);
    QCOMPARE(countPixels(3, 80, 100, kLine), 0);  // the name starts after the branch area
  }

  void markers() {
    QCOMPARE(pixel(10, rowMiddle(0)), kOpenMarker);    // A, open root
    QCOMPARE(pixel(30, rowMiddle(1)), kOpenMarker);    // A1, open, level 1
    QCOMPARE(pixel(70, rowMiddle(4)), kClosedMarker);  // deeper, closed, level 3
    QCOMPARE(pixel(10, rowMiddle(7)), kClosedMarker);  // B, closed root
    QCOMPARE(countPixels(3, 0, 100, kOpenMarker) + countPixels(3, 0, 100, kClosedMarker), 0);  // a leaf
    // The last child ends its line at the marker; the parents' lines go on.
    QVERIFY(pixel(70, rowRect(4).bottom()) != kLine);
    QCOMPARE(pixel(50, rowRect(4).bottom()), kLine);
  }

  void alternatingColoursFollowTheWholeTree() {
    for (int row = 1; row < 10; ++row)
      QCOMPARE(background(row), row % 2 == 0 ? kAlternateBase : kBase);
    widget->scrollBar()->setValue(1);
    QCOMPARE(pageIds(tree).first(), qint64(2));
    render();
    // Element 7 stays white and element 8 tinted although both moved up one row.
    for (int row = 0; row < 10; ++row)
      QCOMPARE(background(row), row % 2 == 1 ? kAlternateBase : kBase);
  }

  // A page asked for from a hidden element starts at the next visible one, but its
  // colours count from the asked-for element's row, which is -1: element 11 stands at
  // the even row 8 of the visible list and is still painted plain.
  void pageFromAHiddenElementCountsFromMinusOne() {
    tree->goToId(10, false);  // inside the closed B
    QCOMPARE(pageIds(tree).mid(0, 3), (QList<qint64>{11, 12, 13}));
    QCOMPARE(tree->firstRow(), -1);
    render();
    for (int row = 0; row < 10; ++row)
      QCOMPARE(background(row), row % 2 == 1 ? kAlternateBase : kBase);
  }

  void garbageRowInDarkRed() {
    const int name_end = tree->header()->sectionSize(0);
    QVERIFY(countPixels(8, 20, name_end, kGarbage) > 10);
    QCOMPARE(countPixels(9, 20, name_end, kGarbage), 0);
  }
};

CORVANTA_TEST_MAIN(SqlTreePaintTest)
#include "SqlTreePaintTest.moc"
