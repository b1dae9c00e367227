#include "BinViewArea.h"
#include "BinViewWidget.h"
#include "TestSupport.h"
#include "settings.h"

#include <QSettings>

#include <climits>
#include <limits>

namespace {
const QString bytes_per_line_key = QStringLiteral("main/hex_viewer/bytes_per_line");
const QString font_size_key = QStringLiteral("main/hex_viewer/font_size");
}  // namespace

class TestBinViewWidget : public QObject {
  Q_OBJECT

private slots:
  void init() { settings()->clear(); }

  void clamping() {
    const QList<QPair<int, int>> lines = {{13, 12}, {2, 4},  {64, 32}, {-5, 4},      {10, 8},      {3, 4},
                                          {-7, 4},  {0, 4},  {32, 32}, {INT_MIN, 4}, {INT_MAX, 32}};
    for (const auto& [stored, expected] : lines)
      QCOMPARE(BinViewWidget::clampBytesPerLine(stored), expected);
    const QList<QPair<double, double>> sizes = {{3.5, 6.0}, {25.0, 20.0}, {6.0, 6.0}, {12.5, 12.5}, {20.0, 20.0},
                                                {std::numeric_limits<double>::infinity(), 20.0},
                                                {std::numeric_limits<double>::quiet_NaN(), 10.0}};
    for (const auto& [stored, expected] : sizes)
      QCOMPARE(BinViewWidget::clampFontSize(stored), expected);
  }

  void loadSettings_data() {
    // Values as the store holds them; an invalid QVariant leaves the key absent.
    QTest::addColumn<QVariant>("bytes_per_line");
    QTest::addColumn<QVariant>("font_size");
    QTest::addColumn<int>("expected_bytes_per_line");
    QTest::addColumn<double>("expected_font_size");
    QTest::newRow("absent keys") << QVariant() << QVariant() << 8 << 10.0;
    QTest::newRow("13 and 3.5") << QVariant("13") << QVariant(3.5) << 12 << 6.0;
    QTest::newRow("2 and 25") << QVariant("2") << QVariant(25.0) << 4 << 20.0;
    QTest::newRow("64 and 14") << QVariant("64") << QVariant(14.0) << 32 << 14.0;
    QTest::newRow("-5") << QVariant("-5") << QVariant() << 4 << 10.0;
    QTest::newRow("10") << QVariant("10") << QVariant() << 8 << 10.0;
    QTest::newRow("non-numeric") << QVariant("abc") << QVariant("abc") << 4 << 6.0;
    QTest::newRow("16 as a number") << QVariant(16) << QVariant("12.5") << 16 << 12.5;
  }

  void loadSettings() {
    QFETCH(QVariant, bytes_per_line);
    QFETCH(QVariant, font_size);
    QFETCH(int, expected_bytes_per_line);
    QFETCH(double, expected_font_size);
    if (bytes_per_line.isValid())
      settings()->setValue(bytes_per_line_key, bytes_per_line);
    if (font_size.isValid())
      settings()->setValue(font_size_key, font_size);
    settings()->sync();

    BinViewWidget widget;
    widget.binViewArea()->setBytesPerLine(28);
    widget.binViewArea()->setFontSize(17.0);
    widget.loadSettings();
    QCOMPARE(widget.binViewArea()->bytesPerLine(), expected_bytes_per_line);
    QCOMPARE(widget.binViewArea()->fontSize(), expected_font_size);
  }

  void saveSettingsWritesOnlyTheFontSize() {
    BinViewWidget widget;
    widget.binViewArea()->setFontSize(13.5);
    widget.binViewArea()->setBytesPerLine(24);
    widget.saveSettings();
    QCOMPARE(settings()->value(font_size_key).toDouble(), 13.5);
    QVERIFY(!settings()->contains(bytes_per_line_key));
  }
};

CORVANTA_TEST_MAIN(TestBinViewWidget)
#include "tst_binviewwidget.moc"
