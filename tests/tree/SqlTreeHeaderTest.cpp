#include <QAction>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTreeWidget>

#include <memory>

#include "SqlTreeHeader.h"
#include "TestSupport.h"
#include "settings.h"

namespace {

// Width of "0" in the tree's default font, the unit of the default column layout.
int digitWidth() {
  QFont font(QStringLiteral("Monospace"));
  font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
  font.setPointSize(10);
  return QFontMetrics(font).horizontalAdvance(QStringLiteral("0"));
}

}  // namespace

class SqlTreeHeaderTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTreeWidget> tree;
  SqlTreeHeader* header = nullptr;

  void showTree(int width) {
    tree->resize(width, 200);
    tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(tree.get()));
    QTRY_VERIFY(header->sectionSize(1) > 0);
  }

  QMenu* openContextMenu() {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), header->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(header->viewport(), &event);
    return header->findChild<QMenu*>();
  }

 private Q_SLOTS:
  void init() {
    settings()->remove("main/tree_viewer/font_size");
    tree = std::make_unique<QTreeWidget>();
    header = new SqlTreeHeader(Qt::Horizontal, tree.get());
    tree->setHeader(header);
  }
  void cleanup() { tree.reset(); }

  void startsWithFourUnsizedColumns() {
    QCOMPARE(header->count(), 4);
    QCOMPARE(tree->columnCount(), 4);
    for (int i = 0; i < 4; ++i)
      QCOMPARE(header->sectionSize(i), 0);
    QCOMPARE(header->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("raw_value"));
  }

  void defaultSizesOnFirstShow_data() {
    QTest::addColumn<int>("width_in_digits");
    QTest::addColumn<QList<int>>("expected_in_digits");  // name, offset, size, raw_value
    QTest::newRow("wide") << 200 << QList<int>{150, 10, 10, 30};
    QTest::newRow("narrower than 80 digits") << 70 << QList<int>{40, 10, 10, 10};
    QTest::newRow("narrower than 40 digits") << 37 << QList<int>{10, 9, 9, 9};
  }
  void defaultSizesOnFirstShow() {
    QFETCH(int, width_in_digits);
    QFETCH(QList<int>, expected_in_digits);
    const int u = digitWidth();
    showTree(width_in_digits * u + 2 * tree->frameWidth());
    QCOMPARE(header->width(), width_in_digits * u);
    for (int i = 0; i < 4; ++i)
      QCOMPARE(header->sectionSize(i), expected_in_digits.at(i) * u);
  }

  void refusesMovesOfTheNameColumn_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QList<int>>("logical_by_visual");
    QTest::newRow("name away from the front") << 0 << 2 << QList<int>{0, 1, 2, 3};
    QTest::newRow("other column to the front") << 2 << 0 << QList<int>{0, 1, 2, 3};
    QTest::newRow("between other columns") << 3 << 1 << QList<int>{0, 3, 1, 2};
  }
  void refusesMovesOfTheNameColumn() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QList<int>, logical_by_visual);
    QSignalSpy moved(header, &QHeaderView::sectionMoved);
    header->moveSection(from, to);
    QCOMPARE(moved.count(), 1);  // the refused move is undone silently
    for (int visual = 0; visual < 4; ++visual)
      QCOMPARE(header->logicalIndex(visual), logical_by_visual.at(visual));
  }

  void contextMenuHidesAndShowsWithRememberedWidth() {
    showTree(800);
    header->resizeSection(2, 77);
    QMenu* menu = openContextMenu();
    QVERIFY(menu);
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 4);
    QStringList titles;
    for (QAction* action : actions) {
      titles << action->text();
      QVERIFY(action->isChecked());
    }
    QCOMPARE(titles, (QStringList{"name", "offset", "size", "raw_value"}));
    QVERIFY(!actions.at(0)->isEnabled());

    actions.at(2)->trigger();
    QVERIFY(header->isSectionHidden(2));
    QCOMPARE(header->columnsState().at(2), QStringLiteral("size;77;2;1"));
    delete menu;

    menu = openContextMenu();
    QVERIFY(menu);
    QVERIFY(!menu->actions().at(2)->isChecked());
    menu->actions().at(2)->trigger();
    QVERIFY(!header->isSectionHidden(2));
    QCOMPARE(header->sectionSize(2), 77);
    QCOMPARE(header->columnsState().at(2), QStringLiteral("size;77;2;0"));
  }

  void columnsStateOfDefaultLayout() {
    showTree(800);
    const QStringList state = header->columnsState();
    QCOMPARE(state.size(), 4);
    const QStringList keys{"name", "offset", "size", "raw_value"};
    for (int i = 0; i < 4; ++i) {
      QCOMPARE(state.at(i),
               QStringLiteral("%1;%2;%3;0").arg(keys.at(i)).arg(header->sectionSize(i)).arg(i));
    }
  }

  void restoreColumns_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QList<int>>("logical_by_visual");
    QTest::addColumn<QStringList>("state");
    QTest::newRow("hide and move offset")
        << QStringList{"offset;0;2;1"} << QList<int>{0, 2, 1, 3}
        << QStringList{"name;0;0;0", "offset;0;2;1", "size;0;1;0", "raw_value;0;3;0"};
    QTest::newRow("non-numeric position asks for the front")
        << QStringList{"size;120;abc;0"} << QList<int>{0, 1, 2, 3}
        << QStringList{"name;0;0;0", "offset;0;1;0", "size;120;2;0", "raw_value;0;3;0"};
    QTest::newRow("three fields are ignored")
        << QStringList{"name;100;0"} << QList<int>{0, 1, 2, 3}
        << QStringList{"name;0;0;0", "offset;0;1;0", "size;0;2;0", "raw_value;0;3;0"};
    QTest::newRow("unknown key and the name column kept visible")
        << QStringList{"colour;5;1;0", "name;300;2;1"} << QList<int>{0, 1, 2, 3}
        << QStringList{"name;300;0;0", "offset;0;1;0", "size;0;2;0", "raw_value;0;3;0"};
    QTest::newRow("later entry wins, full layout")
        << QStringList{"raw_value;1;1;0", "name;200;0;0", "offset;60;3;0", "size;70;2;0", "raw_value;90;1;0"}
        << QList<int>{0, 3, 2, 1}
        << QStringList{"name;200;0;0", "offset;60;3;0", "size;70;2;0", "raw_value;90;1;0"};
  }
  void restoreColumns() {
    QFETCH(QStringList, entries);
    QFETCH(QList<int>, logical_by_visual);
    QFETCH(QStringList, state);
    header->restoreColumns(entries);
    for (int visual = 0; visual < 4; ++visual)
      QCOMPARE(header->logicalIndex(visual), logical_by_visual.at(visual));
    QCOMPARE(header->columnsState(), state);
  }

  void restoredWidthsSurviveTheFirstShow() {
    header->restoreColumns({"name;300;0;0", "offset;60;1;0", "size;70;2;0", "raw_value;90;3;0"});
    showTree(900);
    QTest::qWait(10);  // the default layout runs from a zero-delay timer
    QCOMPARE(header->columnsState(),
             (QStringList{"name;300;0;0", "offset;60;1;0", "size;70;2;0", "raw_value;90;3;0"}));
  }
};

CORVANTA_TEST_MAIN(SqlTreeHeaderTest)
#include "SqlTreeHeaderTest.moc"
