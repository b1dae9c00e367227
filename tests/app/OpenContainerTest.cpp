// The whole road from the menu: choose a file in the open dialog, analyse it, show it
// in the tree and the hex view, keep the MediaInfo report, close it again; and every
// way the chosen file can be refused.
#include "BinViewArea.h"
#include "BinViewWidget.h"
#include "MainWindow.h"
#include "ModalDriver.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "TestSupport.h"
#include "settings.h"

#include <QAction>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidgetItem>

#include <unistd.h>

namespace {

const char kGoodFile[] = "isobmff/progressive.mp4";

void chooseInOpenDialog(MainWindow& window, const QString& file_name) {
  ModalDriver::chooseFile(file_name);
  QVERIFY(QMetaObject::invokeMethod(&window, "openContainer"));
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
  const QString path = dir.filePath(name);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    qFatal("cannot write %s", qPrintable(path));
  file.write(content);
  return path;
}

void verifyNoFileState(MainWindow& window) {
  QCOMPARE(window.windowTitle(), MainWindow::baseTitle());
  QVERIFY(!window.closeAction()->isEnabled());
  QVERIFY(!window.viewMediaInfoAction()->isEnabled());
  QCOMPARE(window.treeWidget()->tree()->topLevelItemCount(), 0);
}

}  // namespace

class OpenContainerTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir scratch;

 private Q_SLOTS:
  void init() {
    settings()->clear();
    ModalDriver::clearMessages();
  }

  void opensAnalysesShowsAndCloses() {
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString file_name = corvanta::test::dataFile(kGoodFile);

    chooseInOpenDialog(window, file_name);
    QVERIFY2(ModalDriver::messages().isEmpty(), qPrintable(ModalDriver::messages().join('\n')));
    QCOMPARE(window.windowTitle(), MainWindow::baseTitle() + " [progressive.mp4]");
    QVERIFY(window.closeAction()->isEnabled());
    QCOMPARE(settings()->value("main/path").toString(), file_name);

    // The tree starts at the first box, which is current.
    SqlTree* tree = window.treeWidget()->tree();
    QVERIFY(tree->topLevelItemCount() > 1);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("ftyp"));
    QCOMPARE(tree->topLevelItem(0)->text(1), QStringLiteral("0"));
    QCOMPARE(tree->currentItem(), tree->topLevelItem(0));

    // Moving to the next row marks that element's bytes in the hex view.
    BinViewArea* area = window.binViewWidget()->binViewArea();
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    QTreeWidgetItem* current = tree->currentItem();
    QVERIFY(current);
    QVERIFY(current != tree->topLevelItem(0));
    QCOMPARE(area->selectionOffset(), current->text(1).section(':', 0, 0).toLongLong());
    QVERIFY(area->selectionSize() > 0);
    QVERIFY(area->lineCount() > 0);

    // MediaInfo's report, when the tool is installed.
    if (QStandardPaths::findExecutable("mediainfo").isEmpty()) {
      QVERIFY(!window.viewMediaInfoAction()->isEnabled());
    } else {
      QVERIFY(window.viewMediaInfoAction()->isEnabled());
      QVERIFY(!window.mediaInfoOutput().isEmpty());
      QVERIFY(!window.mediaInfoOutput().last().isEmpty());  // trailing empty lines dropped
      window.viewMediaInfoAction()->trigger();
      QVERIFY(window.mediaInfoView()->isVisible());
      QVERIFY(window.mediaInfoView()->toPlainText().contains(QStringLiteral("General")));
    }

    window.closeAction()->trigger();
    verifyNoFileState(window);
    if (window.mediaInfoView())
      QVERIFY(!window.mediaInfoView()->isVisible());
  }

  void cancellingTheDialogChangesNothing() {
    MainWindow window;
    chooseInOpenDialog(window, corvanta::test::dataFile(kGoodFile));
    const QString title = window.windowTitle();
    chooseInOpenDialog(window, QString());
    QCOMPARE(window.windowTitle(), title);
    QVERIFY(window.closeAction()->isEnabled());
    QVERIFY(window.treeWidget()->tree()->topLevelItemCount() > 0);
  }

  void refusedFilesShowTheirMessage_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing" << "Error: File does not exists.";
    QTest::newRow("directory") << "directory" << "Error: Selected file is not a regular file.";
    QTest::newRow("unreadable") << "unreadable" << "Error: Selected file is unreadable. Check permissions";
    QTest::newRow("empty") << "empty" << "Error: Selected file has zero length.";
    QTest::newRow("unknown format")
        << "unknown" << "Error: File analyzing failed. File is corrupted or has an unknown format.";
  }
  void refusedFilesShowTheirMessage() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QString path;
    if (kind == "missing") {
      path = scratch.filePath("no-such-file.mp4");
    } else if (kind == "directory") {
      path = scratch.filePath("a-folder.mp4");
      QDir().mkpath(path);
    } else if (kind == "unreadable") {
      if (geteuid() == 0)
        QSKIP("running as root: every file is readable");
      path = writeFile(scratch, "locked.mp4", QByteArray(64, 'x'));
      QFile::setPermissions(path, QFileDevice::WriteOwner);
    } else if (kind == "empty") {
      path = writeFile(scratch, "empty.mp4", QByteArray());
    } else {
      QByteArray noise;
      for (int i = 0; i < 4096; ++i)
        noise.append(char((i * 7919 + 13) % 251));
      path = writeFile(scratch, "noise.bin", noise);
    }

    MainWindow window;
    // A file that was open before is closed first, whatever happens next.
    chooseInOpenDialog(window, corvanta::test::dataFile(kGoodFile));
    QVERIFY(window.closeAction()->isEnabled());

    ModalDriver::collectMessageBoxes(120000);
    chooseInOpenDialog(window, path);
    QCOMPARE(ModalDriver::messages(), QStringList{message});
    verifyNoFileState(window);
    QCOMPARE(settings()->value("main/path").toString(), path);
  }

  void aLinkShowsItsTargetsName() {
    const QString link = scratch.filePath("link-to-movie.mp4");
    QVERIFY(QFile::link(corvanta::test::dataFile(kGoodFile), link));
    MainWindow window;
    chooseInOpenDialog(window, link);
    QVERIFY2(ModalDriver::messages().isEmpty(), qPrintable(ModalDriver::messages().join('\n')));
    QCOMPARE(window.windowTitle(), MainWindow::baseTitle() + " [progressive.mp4]");
    QVERIFY(window.treeWidget()->tree()->topLevelItemCount() > 0);
    QCOMPARE(settings()->value("main/path").toString(), link);
  }
};

CORVANTA_TEST_MAIN(OpenContainerTest)
#include "OpenContainerTest.moc"
