#include "AboutDialog.h"
#include "Style.h"
#include "TestSupport.h"

#include <QImage>
#include <QLabel>
#include <QLayout>

class AboutDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setStyle(new Style()); }
  void imagesAreCompiledIn();
  void textAndSize();
  void pressClosesOnlyOutsideTheText_data();
  void pressClosesOnlyOutsideTheText();
};

void AboutDialogTest::imagesAreCompiledIn() {
  QCOMPARE(QImage(":resources/icon.svg").size(), QSize(64, 64));
  QCOMPARE(QImage(":resources/menu-logo.svg").size(), QSize(100, 20));
  QCOMPARE(QImage(":resources/about-dialog-background.svg").size(), QSize(480, 200));
}

void AboutDialogTest::textAndSize() {
  AboutDialog dialog;
  const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
  QCOMPARE(labels.size(), 2);
  const QString text = labels.at(1)->text();
  QVERIFY2(text.contains("\nVersion: corvanta 1.2.0.0 (96-544) x64. Community Edition.<br>\n"), qPrintable(text));
  QVERIFY(text.contains("Technical support: <a href=\"mailto:support@corvanta.example\">"
                        "support@corvanta.example</a>.<br>"));
  QVERIFY(!labels.at(1)->openExternalLinks());

  QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
  const QMargins margins = dialog.layout()->contentsMargins();
  QCOMPARE(dialog.width(), 480 + margins.left() + margins.right());
  QCOMPARE(dialog.palette().color(QPalette::Inactive, QPalette::Window), QColor(230, 230, 230));
}

void AboutDialogTest::pressClosesOnlyOutsideTheText_data() {
  QTest::addColumn<int>("label");  // -1: the dialog itself
  QTest::addColumn<QPoint>("point");
  QTest::addColumn<bool>("closes");
  QTest::newRow("picture") << 0 << QPoint(240, 100) << true;
  QTest::newRow("dialog background") << -1 << QPoint(2, 2) << true;
  QTest::newRow("text") << 1 << QPoint(20, 5) << false;
}

void AboutDialogTest::pressClosesOnlyOutsideTheText() {
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

CORVANTA_TEST_MAIN(AboutDialogTest)
#include "AboutDialogTest.moc"
