#include "AboutDialog.h"
#include "AbstractDialog.h"
#include "ProgressDialog.h"
#include "Style.h"
#include "TestSupport.h"
#include "settings.h"

#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>

// AbstractDialog, ProgressDialog and AboutDialog.
class DialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setStyle(new Style()); }

  void frameOfEveryDialog() {
    auto stored = [] {
      QFile file(settings()->fileName());
      return file.open(QIODevice::ReadOnly) && file.readAll().contains("dialog_test_marker=42");
    };
    {
      AbstractDialog dialog(QStringLiteral("Test"));
      QCOMPARE(dialog.windowTitle(), QStringLiteral("Corvanta - Test"));
      settings()->setValue(QStringLiteral("main/dialog_test_marker"), 42);
      QVERIFY(!stored());
    }
    QVERIFY2(stored(), "a closing dialog writes the settings out");
  }

  // The user can only ask to cancel, through a visible cancel button or Escape; the
  // dialog stays open either way. Only its owner closes it, resetting the bar.
  void progressDialogRefusesToClose_data() {
    QTest::addColumn<bool>("cancel_button");
    QTest::addColumn<int>("requests");
    QTest::newRow("button shown, then hidden") << false << 0;
    QTest::newRow("button shown twice") << true << 2;
  }

  void progressDialogRefusesToClose() {
    QFETCH(bool, cancel_button);
    QFETCH(int, requests);
    ProgressDialog dialog;
    dialog.setValue(57);
    dialog.setCancelButtonVisible(true);
    dialog.setCancelButtonVisible(cancel_button);  // must drop, or not repeat, the button's connection
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.findChild<QPushButton*>()->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
    QCOMPARE(rejected.count(), requests);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.findChild<QProgressBar*>()->value(), 0);
  }

  void hiddenLinesTakeNoRoom() {
    ProgressDialog dialog;
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    const QList<QWidget*> lines = {labels.at(0), labels.at(1), dialog.findChildren<QProgressBar*>().at(1)};
    auto showLines = [&](bool on) {
      dialog.setLabelText(on ? QStringLiteral("Analysing ...") : QString());
      dialog.setLabelSubText(on ? QStringLiteral("moov") : QString());
      dialog.setSubRange(0, on ? 10 : -1);
      dialog.layout()->activate();
      for (QWidget* line : lines)
        QCOMPARE(line->isVisible(), on);
    };
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const int bare_height = dialog.height();
    showLines(true);
    QVERIFY(dialog.height() > bare_height);
    showLines(false);
    QCOMPARE(dialog.height(), bare_height);
  }

  void aboutDialog() {
    for (const char* name : {"icon", "menu-logo", "about-dialog-background"})
      QVERIFY2(!QImage(QStringLiteral(":resources/%1.svg").arg(name)).isNull(), name);
    AboutDialog dialog;
    const QString text = dialog.findChildren<QLabel*>().at(1)->text();
    QVERIFY2(text.contains("\nVersion: corvanta 1.2.0.0 (96-544) x64. Community Edition.<br>\n"), qPrintable(text));
    QVERIFY(text.contains("<a href=\"mailto:support@corvanta.example\">support@corvanta.example</a>"));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    // A light page under the picture, whatever the dark application palette says.
    QCOMPARE(dialog.palette().color(QPalette::Inactive, QPalette::Window), QColor(230, 230, 230));
  }

  void aboutDialogClosesOnPressOutsideTheText_data() {
    QTest::addColumn<int>("label");  // -1: the dialog itself
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("closes");
    QTest::newRow("picture") << 0 << QPoint(240, 100) << true;
    QTest::newRow("dialog background") << -1 << QPoint(2, 2) << true;
    QTest::newRow("text") << 1 << QPoint(20, 5) << false;
  }

  void aboutDialogClosesOnPressOutsideTheText() {
    QFETCH(int, label);
    QFETCH(QPoint, point);
    QFETCH(bool, closes);
    AboutDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* target = label < 0 ? static_cast<QWidget*>(&dialog) : dialog.findChildren<QLabel*>().at(label);
    QTest::mousePress(target, Qt::LeftButton, Qt::NoModifier, point);
    QCOMPARE(dialog.isVisible(), !closes);
    QTest::mouseRelease(target, Qt::LeftButton, Qt::NoModifier, point);
  }
};

CORVANTA_TEST_MAIN(DialogTest)
#include "DialogTest.moc"
