// The Go menu of the real main window on a parser-made database: going to an element
// by id or to the element holding a byte, the hex view's double click, finding by name
// or value, and the small things around them (focus, tool tips, dropped files).
// The expected elements come from the file's golden dump, where element N is line N.
#include "BinViewArea.h"
#include "BinViewFile.h"
#include "BinViewWidget.h"
#include "ElementWriter.h"
#include "FindDialog.h"
#include "FormatModule.h"
#include "GoToElementDialog.h"
#include "GoToOffsetDialog.h"
#include "MainWindow.h"
#include "ModalDriver.h"
#include "ProgressDialog.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "TestSupport.h"
#include "ViewerDatabase.h"
#include "settings.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidgetItem>

#include <cstring>
#include <functional>

namespace {

const char kFile[] = "isobmff/progressive.mp4";

// The golden dump's line of element `id`: its name as shown and its offset text.
struct GoldenElement {
  QString name;
  QString offset;
};

GoldenElement goldenElement(qint64 id) {
  QFile golden(corvanta::test::dataFile(QString::fromLatin1(kFile) + ".golden"));
  if (!golden.open(QIODevice::ReadOnly))
    return {};
  for (qint64 line = 1; !golden.atEnd(); ++line) {
    const QString text = QString::fromUtf8(golden.readLine()).trimmed();
    if (line == id)
      return {text.section(' ', 0, 0), text.section(' ', 1, 1)};
  }
  return {};
}

// Answers the next modal dialog of type Dialog, once it is the active modal widget.
template <typename Dialog>
void answer(const std::function<void(Dialog*)>& act) {
  auto* poll = new QTimer();
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!dialog)
      return;
    poll->stop();
    poll->deleteLater();
    act(dialog);
  });
  poll->start();
}

QAction* goAction(MainWindow& window, const QString& text) {
  for (QAction* action : window.goMenu()->actions())
    if (action->text() == text)
      return action;
  qFatal("no Go entry %s", qPrintable(text));
}

void verifyCurrent(MainWindow& window, qint64 id) {
  SqlTree* tree = window.treeWidget()->tree();
  QCOMPARE(tree->currentId(), id);
  QTreeWidgetItem* item = tree->currentItem();
  QVERIFY(item);
  const GoldenElement expected = goldenElement(id);
  // The tree shows names in printable ASCII.
  QCOMPARE(item->text(0), sanitizeText(expected.name));
  QCOMPARE(item->text(1), expected.offset);
  QVERIFY(tree->selectionModel()->isSelected(tree->currentIndex()));
  QCOMPARE(window.binViewWidget()->binViewArea()->selectionOffset(), expected.offset.section(':', 0, 0).toLongLong());
}

// A format of the test's own, "MANY" and then anything: one unit of many numbered fields,
// so that a search over it takes many steps.
constexpr int kManyFields = 60000;

int probeMany(const uint8_t* head, int64_t size, int64_t) {
  return size >= 4 && std::memcmp(head, "MANY", 4) == 0 ? 100 : 0;
}

bool parseMany(corvanta::ParseContext& ctx) {
  const int64_t size = ctx.file.size();
  ctx.writer.openUnit("many", 0, size * 8);
  for (int i = 0; i < kManyFields; ++i)
    ctx.writer.addField("field", 0, 8, "x", {}, i);
  ctx.writer.closeUnit();
  return true;
}

}  // namespace

class GoAndFindTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir scratch;

  void openFile(MainWindow& window, const QString& path = corvanta::test::dataFile(kFile)) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openChosenFile(path);
    QVERIFY(window.closeAction()->isEnabled());
  }

  // Runs Find ... with `text` from the current element.
  void findWithDialog(MainWindow& window, const QString& text, bool whole) {
    answer<FindDialog>([text, whole](FindDialog* dialog) {
      dialog->lineEdit()->setText(text);
      dialog->wholeCheckBox()->setChecked(whole);
      dialog->accept();
    });
    goAction(window, "Find ...")->trigger();
  }

 private Q_SLOTS:
  void init() {
    settings()->clear();
    ModalDriver::clearMessages();
  }

  void goMenuSitsBetweenFileAndHelpAndFollowsTheFile() {
    MainWindow window;
    QStringList menus;
    for (QAction* action : window.menuBar()->actions())
      menus.append(action->text());
    QCOMPARE(menus, (QStringList{"File", "Go", "View", "Help"}));
    QStringList entries, shortcuts;
    for (QAction* action : window.goMenu()->actions()) {
      if (action->isSeparator())
        continue;
      entries.append(action->text());
      shortcuts.append(action->shortcut().toString());
      QVERIFY(!action->isEnabled());
    }
    QCOMPARE(entries, (QStringList{"Go to element ...", "Go to offset ...", "Find ...", "Find next", "Find previous"}));
    QCOMPARE(shortcuts, (QStringList{"Ctrl+G", "Ctrl+Shift+G", "Ctrl+F", "F3", "Shift+F3"}));
    QVERIFY(!window.goMenu()->isEnabled());

    openFile(window);
    QVERIFY(window.goMenu()->isEnabled());
    QVERIFY(goAction(window, "Find next")->isEnabled());
    window.closeAction()->trigger();
    QVERIFY(!window.goMenu()->isEnabled());
    QVERIFY(!goAction(window, "Go to element ...")->isEnabled());
  }

  void focusIsInTheTreeAfterOpening() {
    MainWindow window;
    openFile(window);
    QCOMPARE(window.focusWidget(), static_cast<QWidget*>(window.treeWidget()->tree()));
  }

  void goToElement_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("with_return");
    QTest::addColumn<qint64>("expected");
    QTest::addColumn<QString>("cleaned");
    // 464 sits five levels deep in a closed moov box.
    QTest::newRow("deep in a closed subtree") << "464" << true << qint64(464) << "464";
    QTest::newRow("digits among other characters") << "#4 6-4" << false << qint64(464) << "464";
    QTest::newRow("the last element") << "999" << true << qint64(999) << "999";
    QTest::newRow("an id past the end") << "999999" << false << qint64(999) << "999999";
  }
  void goToElement() {
    QFETCH(QString, typed);
    QFETCH(bool, with_return);
    QFETCH(qint64, expected);
    QFETCH(QString, cleaned);
    MainWindow window;
    openFile(window);
    QString left_in_edit;
    answer<GoToElementDialog>([&](GoToElementDialog* dialog) {
      dialog->lineEdit()->setText(typed);
      if (with_return) {
        QTest::keyClick(dialog->lineEdit(), Qt::Key_Return);
      } else {
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
          if (button->text().remove('&') == "OK")
            QTest::mouseClick(button, Qt::LeftButton);
      }
      left_in_edit = dialog->lineEdit()->text();
    });
    goAction(window, "Go to element ...")->trigger();
    QCOMPARE(left_in_edit, cleaned);
    verifyCurrent(window, expected);
    QCOMPARE(window.focusWidget(), static_cast<QWidget*>(window.treeWidget()->tree()));
  }

  void goToOffset_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("expected");  // 0: no element holds the byte
    // mdat 40 +12810 holds sample-2 of track 1 at 4904 +171 (element 69): its first NAL unit's
    // length field is element 71, the slice data of its last NAL unit element 105.
    QTest::newRow("inside a sample, decimal") << "5000" << qint64(105);
    QTest::newRow("inside a sample, hexadecimal") << "0x1388" << qint64(105);
    QTest::newRow("the first byte of a sample") << "4904" << qint64(71);
    QTest::newRow("the last byte of a sample") << "5074" << qint64(105);
    QTest::newRow("a field of the first box") << "3" << qint64(2);
    QTest::newRow("deep in the closed moov box") << "0x38C3" << qint64(999);
    QTest::newRow("past the end") << "14544" << qint64(0);
  }
  void goToOffset() {
    QFETCH(QString, typed);
    QFETCH(qint64, expected);
    MainWindow window;
    openFile(window);
    window.treeWidget()->tree()->goToId(5, true, true);
    answer<GoToOffsetDialog>([typed](GoToOffsetDialog* dialog) {
      dialog->lineEdit()->setText(typed);
      dialog->accept();
    });
    ModalDriver::collectMessageBoxes(5000);
    goAction(window, "Go to offset ...")->trigger();
    if (expected == 0) {
      QCOMPARE(ModalDriver::messages(), QStringList{"Go to offset: No element holds byte 14544 (0x38d0)."});
      QCOMPARE(window.treeWidget()->tree()->currentId(), qint64(5));
    } else {
      QVERIFY2(ModalDriver::messages().isEmpty(), qPrintable(ModalDriver::messages().join('\n')));
      verifyCurrent(window, expected);
    }
  }

  void offsetTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("offset");
    QTest::newRow("decimal") << "1234" << true << qint64(1234);
    QTest::newRow("hexadecimal") << "0x4d2" << true << qint64(1234);
    QTest::newRow("upper-case prefix and blanks") << " 0X4D2 " << true << qint64(1234);
    QTest::newRow("zero") << "0" << true << qint64(0);
    QTest::newRow("negative") << "-1" << false << qint64(0);
    QTest::newRow("hex digits without prefix") << "4d2" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("prefix alone") << "0x" << false << qint64(0);
    QTest::newRow("too large") << "99999999999999999999" << false << qint64(0);
  }
  void offsetTexts() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, offset);
    qint64 read = -1;
    QCOMPARE(GoToOffsetDialog::parseOffset(text, &read), valid);
    if (valid)
      QCOMPARE(read, offset);
  }

  void aTextThatIsNoOffsetKeepsTheDialogOpen() {
    GoToOffsetDialog dialog;
    dialog.lineEdit()->setText("twelve");
    dialog.show();
    dialog.accept();
    QVERIFY(dialog.isVisible());
    QLabel* problem = nullptr;
    for (QLabel* label : dialog.findChildren<QLabel*>())
      if (label->text().contains("twelve"))
        problem = label;
    QVERIFY(problem && problem->isVisible());
  }

  void doubleClickOnAByteGoesToItsElement() {
    MainWindow window;
    openFile(window);
    BinViewArea* area = window.binViewWidget()->binViewArea();
    // Bring byte 5000 on screen, then double click its hex digits and its character.
    area->setSelection(5000, 1, true);
    const int line_on_screen = int(5000 / area->bytesPerLine() - area->topLine());
    const int index = int(5000 % area->bytesPerLine());
    const int y = line_on_screen * area->cellHeight() + area->cellHeight() / 2;
    for (const int cell : {BinViewArea::hexCell(index) + 1, BinViewArea::characterCell(area->bytesPerLine(), index)}) {
      window.treeWidget()->tree()->goToId(1, true, false);
      const QPoint at(cell * area->cellWidth() + area->cellWidth() / 2, y);
      QCOMPARE(window.byteAtHexPosition(at), qint64(5000));
      QTest::mouseDClick(area->viewport(), Qt::LeftButton, Qt::NoModifier, at);
      verifyCurrent(window, 105);
      // The view stays where it is: the byte was on screen already.
      QCOMPARE(qint64(5000 / area->bytesPerLine() - area->topLine()), qint64(line_on_screen));
    }
    // Between the hex digits and the characters there is no byte.
    window.treeWidget()->tree()->goToId(1, true, false);
    const QPoint gap((BinViewArea::characterCell(area->bytesPerLine(), 0) - 1) * area->cellWidth() + 1, y);
    QCOMPARE(window.byteAtHexPosition(gap), qint64(-1));
    QTest::mouseDClick(area->viewport(), Qt::LeftButton, Qt::NoModifier, gap);
    QCOMPARE(window.treeWidget()->tree()->currentId(), qint64(1));
  }

  void find_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<bool>("backward");
    QTest::addColumn<qint64>("expected");
    // hdlr boxes are elements 483, 751 and 968; their type fields (value hdlr) 485, 753, 970.
    QTest::newRow("forward, by name, case ignored") << "HDLR" << false << qint64(1) << false << qint64(483);
    QTest::newRow("forward, by value") << "hdlr" << false << qint64(483) << false << qint64(485);
    QTest::newRow("backward") << "hdlr" << false << qint64(751) << true << qint64(485);
    QTest::newRow("forward, wrapping") << "hdlr" << false << qint64(970) << false << qint64(483);
    QTest::newRow("backward, wrapping") << "hdlr" << false << qint64(483) << true << qint64(970);
    QTest::newRow("readable value") << "ISO base media v2" << false << qint64(1) << false << qint64(7);
    // 990's value has more around it; 993's value is exactly this.
    QTest::newRow("whole value") << "lavf59.27.100" << true << qint64(1) << false << qint64(993);
    QTest::newRow("part of a value") << "lavf59.27.100" << false << qint64(1) << false << qint64(990);
    QTest::newRow("name and sequence number") << "sample-3" << true << qint64(1) << false << qint64(68);
    QTest::newRow("wildcards are plain text") << "l_vf%" << false << qint64(1) << false << qint64(0);
    QTest::newRow("not found") << "no such thing" << false << qint64(40) << false << qint64(0);
  }
  void find() {
    QFETCH(QString, text);
    QFETCH(bool, whole);
    QFETCH(qint64, from);
    QFETCH(bool, backward);
    QFETCH(qint64, expected);
    MainWindow window;
    openFile(window);
    SqlTree* tree = window.treeWidget()->tree();
    ModalDriver::collectMessageBoxes(5000);
    // The dialog's search from the start, then the repeat from `from`.
    findWithDialog(window, text, whole);
    tree->goToId(from, true, true);
    goAction(window, backward ? "Find previous" : "Find next")->trigger();
    if (expected == 0) {
      QCOMPARE(ModalDriver::messages(),
               (QStringList{QString("Find: \"%1\" was not found.").arg(text), QString("Find: \"%1\" was not found.").arg(text)}));
      QCOMPARE(tree->currentId(), from);
    } else {
      QVERIFY2(ModalDriver::messages().isEmpty(), qPrintable(ModalDriver::messages().join('\n')));
      verifyCurrent(window, expected);
    }
  }

  // The tree shows a stretch of no structure as "GARBAGE"; that word finds it (element 10,
  // the tenth line of the file's golden dump).
  void theWordGarbageFindsWhatTheTreeCallsSo() {
    MainWindow window;
    openFile(window, corvanta::test::dataFile(QStringLiteral("isobmff/corrupt-junk.mp4")));
    ModalDriver::collectMessageBoxes(5000);
    findWithDialog(window, QStringLiteral("garbage"), true);
    QVERIFY2(ModalDriver::messages().isEmpty(), qPrintable(ModalDriver::messages().join('\n')));
    SqlTree* tree = window.treeWidget()->tree();
    QCOMPARE(tree->currentId(), qint64(10));
    QVERIFY(tree->currentItem());
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("GARBAGE"));
  }

  void aLongSearchCanBeCancelled() {
    const corvanta::ScopedFormatModules scoped({{"many", "Many", {"many"}, probeMany, parseMany}});
    const QString path = scratch.filePath("sample.many");
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(QByteArray("MANY") + QByteArray(60, 'x'));
    }
    MainWindow window;
    openFile(window, path);
    // One query per 20 ids: thousands of steps, each one turn of the event loop.
    window.setSearchPace(0, 20);
    window.treeWidget()->tree()->goToId(2, true, true);
    bool cancel_shown = false;
    int value_seen = -1;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      auto* dialog = qobject_cast<ProgressDialog*>(QApplication::activeModalWidget());
      if (!dialog)
        return;
      auto* bar = dialog->findChild<QProgressBar*>();
      value_seen = bar ? bar->value() : -1;
      if (value_seen < 1)
        return;
      poll.stop();
      for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->isVisible()) {
          cancel_shown = true;
          QTest::mouseClick(button, Qt::LeftButton);
        }
    });
    poll.start(10);
    ModalDriver::collectMessageBoxes(5000);
    answer<FindDialog>([](FindDialog* dialog) {
      dialog->lineEdit()->setText("nowhere to be found");
      dialog->accept();
    });
    goAction(window, "Find ...")->trigger();
    QVERIFY(cancel_shown);
    QVERIFY(value_seen >= 1 && value_seen < 100);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(window.treeWidget()->tree()->currentId(), qint64(2));
    QVERIFY2(ModalDriver::messages().isEmpty(), qPrintable(ModalDriver::messages().join('\n')));
  }

  void rowsShowTheReadableValueAsToolTip() {
    MainWindow window;
    openFile(window);
    SqlTree* tree = window.treeWidget()->tree();
    // major_brand: "isom", readable "ISO base media" (golden line 4).
    tree->goToId(4, true, true);
    QTreeWidgetItem* item = tree->currentItem();
    QVERIFY(item);
    QCOMPARE(item->text(3), QStringLiteral("isom"));
    for (int column = 0; column < 4; ++column)
      QCOMPARE(item->toolTip(column), QStringLiteral("ISO base media"));
    // Without a readable value of its own, the raw value is the tool tip.
    tree->goToId(2, true, true);
    QCOMPARE(tree->currentItem()->toolTip(0), QStringLiteral("32"));
  }

  void droppedFilesTakeTheOpenRoad_data() {
    QTest::addColumn<bool>("directory");
    QTest::newRow("a good file") << false;
    QTest::newRow("a directory") << true;
  }
  void droppedFilesTakeTheOpenRoad() {
    QFETCH(bool, directory);
    const QString path = directory ? scratch.path() : corvanta::test::dataFile(kFile);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    ModalDriver::collectMessageBoxes(20000);
    QCoreApplication::sendEvent(&window, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(settings()->value("main/path").toString(), path);
    if (directory) {
      QTRY_COMPARE_WITH_TIMEOUT(ModalDriver::messages(), QStringList{"Error: Selected file is not a regular file."}, 20000);
      QVERIFY(!window.closeAction()->isEnabled());
    } else {
      QTRY_VERIFY_WITH_TIMEOUT(window.closeAction()->isEnabled(), 20000);
      QCOMPARE(window.windowTitle(), MainWindow::baseTitle() + " [progressive.mp4]");
      QCOMPARE(window.treeWidget()->tree()->topLevelItem(0)->text(0), QStringLiteral("ftyp"));
      QVERIFY(ModalDriver::messages().isEmpty());
    }
  }
};

CORVANTA_TEST_MAIN(GoAndFindTest)
#include "GoAndFindTest.moc"
