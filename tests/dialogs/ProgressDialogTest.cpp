#include "AbstractDialog.h"
#include "ProgressDialog.h"
#include "TestSupport.h"
#include "settings.h"

#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>

class ProgressDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void frameOfEveryDialog();
  void givenFlagsAreKept();
  void destroyingADialogStoresTheSettings();
  void userCannotCloseWithoutCancelButton();
  void cancelRequestsLeaveDialogOpen();
  void acceptResetsBarAndCloses();
  void hiddenLinesShrinkTheDialog_data();
  void hiddenLinesShrinkTheDialog();
};

void ProgressDialogTest::frameOfEveryDialog() {
  AbstractDialog dialog(QStringLiteral("Test"));
  QCOMPARE(dialog.windowTitle(), QStringLiteral("Corvanta - Test"));
  QCOMPARE(dialog.windowModality(), Qt::WindowModal);
  const Qt::WindowFlags flags = dialog.windowFlags();
  QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
  QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
}

void ProgressDialogTest::givenFlagsAreKept() {
  ProgressDialog dialog(nullptr, Qt::Tool | Qt::FramelessWindowHint);
  QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
  QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
  QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

void ProgressDialogTest::destroyingADialogStoresTheSettings() {
  auto stored = [] {
    QFile file(settings()->fileName());
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("dialog_test_marker=42");
  };
  {
    AbstractDialog dialog(QStringLiteral("Test"));
    settings()->setValue(QStringLiteral("main/dialog_test_marker"), 42);
    QVERIFY(!stored());
  }
  QVERIFY(stored());
}

void ProgressDialogTest::userCannotCloseWithoutCancelButton() {
  ProgressDialog dialog;
  dialog.setCancelButtonVisible(true);
  dialog.setCancelButtonVisible(false);  // must also drop the button's connection
  QSignalSpy rejected(&dialog, &QDialog::rejected);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));

  QTest::keyClick(&dialog, Qt::Key_Escape);
  QVERIFY(!dialog.close());
  dialog.findChild<QPushButton*>()->click();

  QVERIFY(dialog.isVisible());
  QCOMPARE(rejected.count(), 0);
}

void ProgressDialogTest::cancelRequestsLeaveDialogOpen() {
  ProgressDialog dialog;
  dialog.setCancelButtonVisible(true);
  dialog.setCancelButtonVisible(true);  // a second call must not connect twice
  QSignalSpy rejected(&dialog, &QDialog::rejected);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QPushButton* button = dialog.findChild<QPushButton*>();
  QCOMPARE(button->text(), QStringLiteral("Отмена"));

  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(rejected.count(), 1);
  QTest::keyClick(&dialog, Qt::Key_Escape);
  QCOMPARE(rejected.count(), 2);
  QVERIFY(!dialog.close());
  QCOMPARE(rejected.count(), 2);
  QVERIFY(dialog.isVisible());
}

void ProgressDialogTest::acceptResetsBarAndCloses() {
  ProgressDialog dialog;
  dialog.setValue(57);
  QTimer::singleShot(0, &dialog, &ProgressDialog::accept);
  QCOMPARE(dialog.exec(), int(QDialog::Accepted));
  QVERIFY(!dialog.isVisible());
  QCOMPARE(dialog.findChild<QProgressBar*>()->value(), 0);
}

void ProgressDialogTest::hiddenLinesShrinkTheDialog_data() {
  QTest::addColumn<QString>("line");
  QTest::newRow("text") << "text";
  QTest::newRow("sub-text") << "sub-text";
  QTest::newRow("second bar") << "bar";
}

void ProgressDialogTest::hiddenLinesShrinkTheDialog() {
  QFETCH(QString, line);
  ProgressDialog dialog;
  QWidget* part = dialog.findChildren<QLabel*>().at(line == "text" ? 0 : 1);
  auto* bar = dialog.findChildren<QProgressBar*>().at(1);
  if (line == "bar")
    part = bar;
  auto showPart = [&](bool visible) {
    if (line == "bar")
      visible ? dialog.setSubRange(0, 10) : dialog.setSubRange(0, -1);
    else if (line == "text")
      dialog.setLabelText(visible ? QStringLiteral("Analysing ...") : QString());
    else
      dialog.setLabelSubText(visible ? QStringLiteral("moov") : QString());
    dialog.layout()->activate();
  };
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QVERIFY(part->isHidden());
  const int bare_height = dialog.height();

  showPart(true);
  QVERIFY(part->isVisible());
  QVERIFY(dialog.height() > bare_height);
  QCOMPARE(bar->maximum(), line == "bar" ? 10 : 100);

  showPart(false);
  QVERIFY(part->isHidden());
  QCOMPARE(dialog.height(), bare_height);
}

CORVANTA_TEST_MAIN(ProgressDialogTest)
#include "ProgressDialogTest.moc"
