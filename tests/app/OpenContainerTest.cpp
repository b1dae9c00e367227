// The whole road from the menu: choose a file in the open dialog, analyse it, show it
// in the tree and the hex view, keep the MediaInfo report, close it again; and every
// way the chosen file can be refused.
#include "BinViewArea.h"
#include "BinViewWidget.h"
#include "ElementWriter.h"
#include "FormatModule.h"
#include "MainWindow.h"
#include "ModalDriver.h"
#include "ProgressDialog.h"
#include "SqlTree.h"
#include "SqlTreeWidget.h"
#include "TestSupport.h"
#include "settings.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidgetItem>

#include <pwd.h>
#include <unistd.h>

#include <cstring>

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

// A progress dialog showing `text` on its first line, or null.
ProgressDialog* progressDialogSaying(QObject* object, const QString& text) {
  auto* dialog = qobject_cast<ProgressDialog*>(object);
  if (!dialog)
    return nullptr;
  for (const QLabel* label : dialog->findChildren<QLabel*>())
    if (label->text() == text)
      return dialog;
  return nullptr;
}

// A format of the test's own: "SLOW" and then anything. Its analysis waits until the
// test lets it go, then reports its progress byte by byte.
QSemaphore slow_analysis_gate;

int probeSlow(const uint8_t* head, int64_t size, int64_t) {
  return size >= 4 && std::memcmp(head, "SLOW", 4) == 0 ? 100 : 0;
}

bool parseSlow(corvanta::ParseContext& ctx) {
  if (!slow_analysis_gate.tryAcquire(1, 60000)) {
    ctx.error = QStringLiteral("the test never let the analysis go");
    return false;
  }
  const int64_t size = ctx.file.size();
  ctx.writer.openUnit("slow file", 0, size * 8);
  for (int64_t at = 0; at < size; ++at) {
    if (at % 100 == 0)
      ctx.writer.addField("block", at * 8, std::min<int64_t>(100, size - at) * 8, "x");
    ctx.progress(at + 1);
  }
  ctx.writer.closeUnit();
  return true;
}

// Watches for the analysis dialog: follows its bar from the moment it is shown, tries to
// close it with Escape and with the close button, and then lets the analysis go.
class AnalysisDialogWatcher : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || seen)
      return false;
    ProgressDialog* dialog = progressDialogSaying(watched, QStringLiteral("Analyzing file structure ..."));
    if (!dialog)
      return false;
    seen = true;
    auto* bar = dialog->findChildren<QProgressBar*>().value(0);  // the main bar comes first
    connect(bar, &QProgressBar::valueChanged, this, [this](int value) { values.append(value); });
    QTimer::singleShot(0, this, [this, target = QPointer<ProgressDialog>(dialog)] {
      QTest::keyClick(target, Qt::Key_Escape);
      open_after_escape = target && target->isVisible();
      target->close();
      open_after_close = target && target->isVisible();
      slow_analysis_gate.release();
    });
    return false;
  }

  bool seen = false;
  bool open_after_escape = false;
  bool open_after_close = false;
  QList<int> values;
};

// Puts the stand-in MediaInfo tool first on PATH, in one of its modes, while it lives.
class FakeMediaInfo {
 public:
  explicit FakeMediaInfo(const QByteArray& mode, const QString& mark = QString()) : saved_path(qgetenv("PATH")) {
    qputenv("PATH", QByteArray(FAKE_MEDIAINFO_DIR) + ':' + saved_path);
    qputenv("CORVANTA_FAKE_MEDIAINFO_MODE", mode);
    qputenv("CORVANTA_FAKE_MEDIAINFO_MARK", QFile::encodeName(mark));
  }
  ~FakeMediaInfo() {
    qputenv("PATH", saved_path);
    qunsetenv("CORVANTA_FAKE_MEDIAINFO_MODE");
    qunsetenv("CORVANTA_FAKE_MEDIAINFO_MARK");
  }
  FakeMediaInfo(const FakeMediaInfo&) = delete;
  FakeMediaInfo& operator=(const FakeMediaInfo&) = delete;

 private:
  QByteArray saved_path;
};

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

  // Runs one test function (and data row) of this program again in a child process as the
  // user "nobody", for checks that root passes whatever the file's permissions.
  void runAsUnprivilegedUser(const QString& test_and_row) {
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    const passwd* nobody = getpwnam("nobody");
    if (setpriv.isEmpty() || !nobody)
      QSKIP("running as root, without setpriv or a user \"nobody\" to run this case as");
    // A home of its own: the child may not use root's.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QCOMPARE(::chown(QFile::encodeName(home.path()).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"})
      environment.insert(QString::fromLatin1(name), home.path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv, {QStringLiteral("--reuid=%1").arg(nobody->pw_uid), QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                          QStringLiteral("--clear-groups"), QStringLiteral("--"),
                          QCoreApplication::applicationFilePath(), test_and_row});
    QVERIFY(child.waitForFinished(300000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    // Could not become "nobody", or "nobody" may not run this program from where it lies.
    if (!output.contains(QStringLiteral("Start testing")))
      QSKIP(qPrintable(QStringLiteral("cannot run this case as \"nobody\": ") + output.trimmed()));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("PASS   : OpenContainerTest::") + test_and_row.section(':', 0, 0) + '(' +
                             test_and_row.section(':', 1) + ')'),
             qPrintable(output));
  }

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
      if (geteuid() == 0) {
        // Root reads every file: this case runs as an unprivileged user instead.
        runAsUnprivilegedUser(QStringLiteral("refusedFilesShowTheirMessage:unreadable"));
        return;
      }
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

  // The dialog lists one filter per plug-in, sorted, between the filter of every
  // plug-in's patterns (each listed once) and the filter of all files.
  void openDialogFilters_data() {
    QTest::addColumn<QList<QStringList>>("plugins");  // display name, then extensions
    QTest::addColumn<QStringList>("filters");
    QTest::newRow("no plug-ins") << QList<QStringList>{} << QStringList{"All files (*.*)"};
    QTest::newRow("a plug-in without extensions")
        << QList<QStringList>{{"Bare"}} << QStringList{"Bare containers ()", "All files (*.*)"};
    QTest::newRow("an extension shared by two plug-ins")
        << QList<QStringList>{{"Movie", "mp4", "mov"}, {"Audio", "m4a", "mp4"}}
        << QStringList{"All digital containers (*.m4a *.mov *.mp4)", "Audio containers (*.m4a *.mp4)",
                       "Movie containers (*.mov *.mp4)", "All files (*.*)"};
    QTest::newRow("sorted by character codes")
        << QList<QStringList>{{"Zeta", "mp4", "MOV"}, {"Bare"}}
        << QStringList{"All digital containers (*.MOV *.mp4)", "Bare containers ()",
                       "Zeta containers (*.MOV *.mp4)", "All files (*.*)"};
  }
  void openDialogFilters() {
    QFETCH(QList<QStringList>, plugins);
    QFETCH(QStringList, filters);
    std::vector<corvanta::FormatModule> modules;
    for (const QStringList& plugin : plugins)
      modules.push_back({plugin.first().toLower(), plugin.first(), plugin.mid(1), nullptr, nullptr});
    const corvanta::ScopedFormatModules scoped(modules);
    MainWindow window;
    chooseInOpenDialog(window, QString());
    QCOMPARE(ModalDriver::lastNameFilters(), filters);
  }

  // With the library's own registry, the dialog offers every format by its display name with
  // each of its extensions, and the filter of all containers holds every extension.
  void openDialogListsEveryRegisteredFormat() {
    MainWindow window;
    chooseInOpenDialog(window, QString());
    const QStringList filters = ModalDriver::lastNameFilters();
    QVERIFY(!filters.isEmpty());
    const QString all = filters.first();
    QVERIFY2(all.startsWith(QStringLiteral("All digital containers (")), qPrintable(all));
    for (const corvanta::FormatModule& module : corvanta::formatModules()) {
      const QString prefix = module.display_name + QStringLiteral(" containers (");
      const auto own = std::find_if(filters.begin(), filters.end(), [&](const QString& f) { return f.startsWith(prefix); });
      QVERIFY2(own != filters.end(), qPrintable(module.display_name));
      QVERIFY(!module.extensions.isEmpty());
      for (const QString& extension : module.extensions) {
        const QString pattern = QStringLiteral("*.") + extension;
        QVERIFY2(own->split(QRegularExpression(QStringLiteral("[ ()]"))).contains(pattern), qPrintable(*own + " " + pattern));
        QVERIFY2(all.split(QRegularExpression(QStringLiteral("[ ()]"))).contains(pattern), qPrintable(pattern));
      }
    }
  }

  // The analysis dialog shows every progress value of the parser, from 0 to 100 (and 0
  // again when it closes), and neither Escape nor its close button ends it.
  void analysisDialogFollowsTheParserAndCannotBeClosed() {
    const corvanta::ScopedFormatModules scoped({{"slow", "Slow", {"slow"}, probeSlow, parseSlow}});
    const FakeMediaInfo media_info("report");
    const QString path = writeFile(scratch, "sample.slow", QByteArray("SLOW") + QByteArray(996, 'x'));
    MainWindow window;
    AnalysisDialogWatcher watcher;
    qApp->installEventFilter(&watcher);
    ModalDriver::collectMessageBoxes(120000);
    chooseInOpenDialog(window, path);
    qApp->removeEventFilter(&watcher);
    QVERIFY2(ModalDriver::messages().isEmpty(), qPrintable(ModalDriver::messages().join('\n')));
    QVERIFY(watcher.seen);
    QVERIFY(watcher.open_after_escape);
    QVERIFY(watcher.open_after_close);
    QList<int> expected;
    for (int percent = 0; percent <= 100; ++percent)
      expected.append(percent);
    expected.append(0);
    QCOMPARE(watcher.values, expected);
    QCOMPARE(window.treeWidget()->tree()->topLevelItem(0)->text(0), QStringLiteral("slow file"));
  }

  // Cancelling the MediaInfo dialog kills the tool at once (it would otherwise go on for
  // 30 seconds and print another line); the file stays open with the lines read so far.
  void cancellingMediaInfoKeepsWhatWasRead() {
    QTemporaryDir marks;
    const QString printed = marks.filePath(QStringLiteral("printed"));
    const FakeMediaInfo media_info("hang", printed);
    MainWindow window;
    bool cancelled = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      ProgressDialog* dialog =
          progressDialogSaying(QApplication::activeModalWidget(), QStringLiteral("Getting information from MediaInfo ..."));
      if (!dialog || !QFile::exists(printed))
        return;
      poll.stop();
      for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->isVisible()) {
          QTest::mouseClick(button, Qt::LeftButton);
          cancelled = true;
        }
    });
    poll.start(20);
    chooseInOpenDialog(window, corvanta::test::dataFile(kGoodFile));
    QVERIFY(cancelled);
    QCOMPARE(window.mediaInfoOutput(), (QStringList{"General", "Format : fake"}));
    QCOMPARE(window.windowTitle(), MainWindow::baseTitle() + " [progressive.mp4]");
    QVERIFY(window.closeAction()->isEnabled());
    QVERIFY(window.viewMediaInfoAction()->isEnabled());
  }

  // Empty lines at the end of the report are dropped; those inside it stay.
  void mediaInfoReportLosesOnlyItsTrailingEmptyLines() {
    const FakeMediaInfo media_info("report");
    MainWindow window;
    QSignalSpy changed(&window, &MainWindow::mediaInfoChanged);
    chooseInOpenDialog(window, corvanta::test::dataFile(kGoodFile));
    const QStringList report{"General", "", "Format : fake", "", "Size : 4 KiB"};
    QCOMPARE(window.mediaInfoOutput(), report);
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(0).toString(), report.join('\n'));
    window.viewMediaInfoAction()->trigger();
    QCOMPARE(window.mediaInfoView()->toPlainText(), report.join('\n'));
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
