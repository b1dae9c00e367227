#include "BinViewArea.h"
#include "BinViewWidget.h"
#include "PropertiesDialog.h"
#include "SqlTreeWidget.h"
#include "Style.h"
#include "TestSupport.h"
#include "settings.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>

#include <memory>

class PropertiesDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setStyle(new Style()); }

  void init() {
    dialog.reset();
    settings()->clear();
    hex = std::make_unique<BinViewWidget>();
    tree = std::make_unique<SqlTreeWidget>();
    area = hex->binViewArea();
    area->setBytesPerLine(16);
    area->setFontSize(10.0);
    tree->setTreeFontSize(11.0);
  }

  void applyKeepsAndSavesAllThreeKeys() {
    openDialog();
    QCOMPARE(hex_font_box->value(), 10.0);
    QCOMPARE(tree_font_box->value(), 11.0);
    bytes_box->setCurrentText(QStringLiteral("32"));
    hex_font_box->setValue(13.5);
    click(QStringLiteral("Apply"));
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(!dialog->isVisible());
    QCOMPARE(area->bytesPerLine(), 32);
    QCOMPARE(area->fontSize(), 13.5);
    // The width is stored as the text of the choice.
    QCOMPARE(settings()->value("main/hex_viewer/bytes_per_line").userType(), QMetaType::QString);
    QCOMPARE(settings()->value("main/hex_viewer/bytes_per_line").toString(), QStringLiteral("32"));
    QCOMPARE(settings()->value("main/hex_viewer/font_size").toDouble(), 13.5);
    QCOMPARE(settings()->value("main/tree_viewer/font_size").toDouble(), 11.0);
  }

  // A view may hold a font size that its box cannot show; the box shows it clamped or
  // rounded, "Apply" saves that, and the view takes it too.
  void applyGivesTheViewsWhatIsSaved_data() {
    QTest::addColumn<QString>("view");
    QTest::addColumn<double>("held");
    QTest::addColumn<double>("saved");
    QTest::newRow("tree above the range") << "tree" << 25.0 << 20.0;
    QTest::newRow("tree below the range") << "tree" << 4.0 << 6.0;
    QTest::newRow("tree with more decimals") << "tree" << 12.3456 << 12.35;
    QTest::newRow("hex view above the range") << "hex" << 31.0 << 20.0;
  }
  void applyGivesTheViewsWhatIsSaved() {
    QFETCH(QString, view);
    QFETCH(double, held);
    QFETCH(double, saved);
    const bool tree_view = view == "tree";
    if (tree_view)
      tree->setTreeFontSize(held);
    else
      area->setFontSize(held);
    openDialog();
    QDoubleSpinBox* box = tree_view ? tree_font_box : hex_font_box;
    QCOMPARE(box->value(), saved);
    click(QStringLiteral("Apply"));
    const char* key = tree_view ? "main/tree_viewer/font_size" : "main/hex_viewer/font_size";
    QCOMPARE(settings()->value(key).toDouble(), saved);
    QCOMPARE(tree_view ? tree->treeFontSize() : area->fontSize(), saved);
    // The other view keeps its size.
    QCOMPARE(tree_view ? area->fontSize() : tree->treeFontSize(), tree_view ? 10.0 : 11.0);
  }

  // Typing changes the view at every value the box accepts, before the edit is finished.
  void typingChangesTheViewAtOnce_data() {
    QTest::addColumn<QString>("view");
    QTest::newRow("hex view") << "hex";
    QTest::newRow("tree") << "tree";
  }
  void typingChangesTheViewAtOnce() {
    QFETCH(QString, view);
    const bool tree_view = view == "tree";
    const auto shown = [&] { return tree_view ? tree->treeFontSize() : area->fontSize(); };
    openDialog();
    QDoubleSpinBox* box = tree_view ? tree_font_box : hex_font_box;
    const double before = shown();
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_1);  // 1 is below the range: nothing yet
    QCOMPARE(shown(), before);
    QTest::keyClick(box, Qt::Key_4);
    QCOMPARE(shown(), 14.0);
    QTest::keyClick(box, Qt::Key_Period);
    QTest::keyClick(box, Qt::Key_5);
    QCOMPARE(shown(), 14.5);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Backspace);  // back to "1": the view keeps 14
    QCOMPARE(shown(), 14.0);
    QVERIFY(settings()->allKeys().isEmpty());  // nothing is stored before "Apply"
  }

  void leavingWithoutApplyRestores_data() {
    QTest::addColumn<QString>("way_out");
    QTest::newRow("Cancel button") << "cancel";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close button") << "close";
  }

  void leavingWithoutApplyRestores() {
    QFETCH(QString, way_out);
    const int width_at_16 = area->maximumWidth();
    openDialog();
    QCOMPARE(bytes_box->currentText(), QStringLiteral("16"));
    bytes_box->setCurrentText(QStringLiteral("32"));
    hex_font_box->setValue(18.0);
    tree_font_box->setValue(7.0);
    // Every edit shows at once.
    QCOMPARE(area->bytesPerLine(), 32);
    QVERIFY(area->maximumWidth() > width_at_16);
    QCOMPARE(area->fontSize(), 18.0);
    QCOMPARE(tree->treeFontSize(), 7.0);

    if (way_out == "cancel")
      click(QStringLiteral("Cancel"));
    else if (way_out == "escape")
      QTest::keyClick(dialog.get(), Qt::Key_Escape);
    else
      dialog->close();
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QVERIFY(!dialog->isVisible());
    QCOMPARE(area->bytesPerLine(), 16);
    QCOMPARE(area->fontSize(), 10.0);
    QCOMPARE(area->maximumWidth(), width_at_16);
    QCOMPARE(tree->treeFontSize(), 11.0);
    QVERIFY(settings()->allKeys().isEmpty());
  }

  void cancelRestoresOnlyWhatDiffers() {
    openDialog();
    hex_font_box->setValue(14.0);
    hex_font_box->setValue(10.0);
    const qint64 glyphs_back_at_ten = glyphKey();
    click(QStringLiteral("Cancel"));
    QCOMPARE(glyphKey(), glyphs_back_at_ten);
    QVERIFY(settings()->allKeys().isEmpty());
  }

 private:
  void openDialog() {
    const qint64 glyphs = glyphKey();
    dialog = std::make_unique<PropertiesDialog>(hex.get(), tree.get());
    bytes_box = dialog->findChild<QComboBox*>(QStringLiteral("bytes_per_line_box"));
    hex_font_box = dialog->findChild<QDoubleSpinBox*>(QStringLiteral("hex_font_size_box"));
    tree_font_box = dialog->findChild<QDoubleSpinBox*>(QStringLiteral("tree_font_size_box"));
    QVERIFY(bytes_box && hex_font_box && tree_font_box);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    // Showing the current values must not touch the views.
    QCOMPARE(glyphKey(), glyphs);
  }

  void click(const QString& button_text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
      if (button->text() == button_text)
        QTest::mouseClick(button, Qt::LeftButton);
  }

  // Changes only when the hex view lays its glyphs out again for a font.
  qint64 glyphKey() const { return area->glyphStrip(false).cacheKey(); }

  // Declared before the dialog, which is destroyed first.
  std::unique_ptr<BinViewWidget> hex;
  std::unique_ptr<SqlTreeWidget> tree;
  std::unique_ptr<PropertiesDialog> dialog;
  BinViewArea* area = nullptr;
  QComboBox* bytes_box = nullptr;
  QDoubleSpinBox *hex_font_box = nullptr, *tree_font_box = nullptr;
};

CORVANTA_TEST_MAIN(PropertiesDialogTest)
#include "PropertiesDialogTest.moc"
