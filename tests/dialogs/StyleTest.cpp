#include "Style.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QToolButton>

namespace {

QColor grey(int level) { return QColor(level, level, level); }

bool isReddish(const QColor& colour) { return colour.red() > colour.green() + 40; }

int countPixels(const QImage& image, bool (*wanted)(const QColor&)) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      count += wanted(image.pixelColor(x, y)) ? 1 : 0;
  return count;
}

// Draws one element on a window-coloured image, with extra state bits.
template <typename Option, typename Draw>
QImage drawn(QWidget& widget, QStyle::State extra_state, Draw draw) {
  Option option;
  option.initFrom(&widget);
  option.state |= extra_state;
  QImage image(widget.size(), QImage::Format_RGB32);
  image.fill(grey(80));
  QPainter painter(&image);
  draw(option, painter);
  return image;
}

}  // namespace

class StyleTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setStyle(new Style()); }
  void applicationPalette_data();
  void applicationPalette();
  void pushButton_data();
  void pushButton();
  void focusAndDefaultFrames();
  void focusedLineEdit();
  void comboBox();
  void toolButtonSize_data();
  void toolButtonSize();
  void menuPalette();
  void treeBranchCells_data();
  void treeBranchCells();
};

void StyleTest::applicationPalette_data() {
  QTest::addColumn<int>("group");
  QTest::addColumn<int>("role");
  QTest::addColumn<int>("level");
  QTest::newRow("Window") << int(QPalette::Active) << int(QPalette::Window) << 80;
  QTest::newRow("Base, inactive") << int(QPalette::Inactive) << int(QPalette::Base) << 230;
  QTest::newRow("Text") << int(QPalette::Active) << int(QPalette::Text) << 0;
  QTest::newRow("ButtonText") << int(QPalette::Active) << int(QPalette::ButtonText) << 240;
  QTest::newRow("ButtonText, disabled") << int(QPalette::Disabled) << int(QPalette::ButtonText) << 110;
  QTest::newRow("Midlight") << int(QPalette::Active) << int(QPalette::Midlight) << 95;
  QTest::newRow("Mid, disabled") << int(QPalette::Disabled) << int(QPalette::Mid) << 60;
  QTest::newRow("Highlight") << int(QPalette::Active) << int(QPalette::Highlight) << 130;
  QTest::newRow("ToolTipBase") << int(QPalette::Active) << int(QPalette::ToolTipBase) << 192;
}

void StyleTest::applicationPalette() {
  QFETCH(int, group);
  QFETCH(int, role);
  QFETCH(int, level);
  QCOMPARE(QApplication::palette().color(QPalette::ColorGroup(group), QPalette::ColorRole(role)), grey(level));
}

void StyleTest::pushButton_data() {
  QTest::addColumn<bool>("hovered");
  QTest::addColumn<bool>("pressed");
  QTest::addColumn<int>("fill");
  QTest::addColumn<int>("above_outline");
  QTest::newRow("plain") << false << false << 80 << 80;
  // The hover outline is three pixels of Highlight at a quarter opacity.
  QTest::newRow("hovered") << true << false << 110 << 93;
  QTest::newRow("pressed") << false << true << 40 << 80;
  QTest::newRow("pressed and hovered") << true << true << 40 << 93;
}

void StyleTest::pushButton() {
  QFETCH(bool, hovered);
  QFETCH(bool, pressed);
  QFETCH(int, fill);
  QFETCH(int, above_outline);
  QPushButton button(QStringLiteral("Apply"));
  const int text_width = button.fontMetrics().size(Qt::TextShowMnemonic, button.text()).width();
  QCOMPARE(button.sizeHint(), QSize(text_width + 16, 28));
  button.resize(100, 28);
  button.setAttribute(Qt::WA_UnderMouse, hovered);
  button.setDown(pressed);
  const QImage image = button.grab().toImage();
  for (int y = 3; y <= 24; ++y)
    QCOMPARE(image.pixelColor(12, y), grey(fill));
  QCOMPARE(image.pixelColor(50, 0).red(), above_outline);
  // Light text, centred.
  auto light = [](const QColor& c) { return c.red() > 200; };
  QVERIFY(countPixels(image.copy(30, 4, 40, 20), light) > 10);
  QCOMPARE(countPixels(image.copy(0, 4, 25, 20), light), 0);
}

void StyleTest::focusAndDefaultFrames() {
  QPushButton button(QStringLiteral("OK"));
  button.resize(100, 28);
  auto draw = [&](QStyle::State state) {
    return drawn<QStyleOptionButton>(button, state, [&](QStyleOptionButton& option, QPainter& painter) {
      option.text = button.text();
      button.style()->drawControl(QStyle::CE_PushButton, &option, &painter, &button);
    });
  };
  QCOMPARE(countPixels(draw(QStyle::State_None), isReddish), 0);
  QVERIFY(countPixels(draw(QStyle::State_HasFocus), isReddish) > 20);

  button.setDefault(true);
  const QImage image = draw(QStyle::State_HasFocus);
  // The black rounded default frame comes last, over the focus frame.
  QCOMPARE(image.pixelColor(50, 1), QColor(Qt::black));
  QCOMPARE(image.pixelColor(1, 14), QColor(Qt::black));
  QVERIFY(countPixels(image, isReddish) > 0);
}

void StyleTest::focusedLineEdit() {
  QLineEdit line_edit;
  QCOMPARE(line_edit.sizeHint().height(), 28);
  line_edit.resize(100, 28);
  const QImage image = drawn<QStyleOptionFrame>(
      line_edit, QStyle::State_HasFocus, [&](QStyleOptionFrame& option, QPainter& painter) {
        line_edit.style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, &line_edit);
      });
  QCOMPARE(image.pixelColor(50, 14), grey(230));
  QVERIFY(countPixels(image, isReddish) > 20);
}

void StyleTest::comboBox() {
  QComboBox combo;
  QStyle* style = combo.style();
  QStyleOptionComboBox option;
  option.initFrom(&combo);
  QCOMPARE(style->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(60, 20), &combo), QSize(92, 28));
  option.rect = QRect(0, 0, 92, 28);
  QCOMPARE(style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, &combo),
           QRect(76, 0, 16, 28));

  // Drawn as a button, with a Light line left of the arrow area.
  combo.addItem(QStringLiteral("16"));
  combo.resize(92, 28);
  const QImage image = combo.grab().toImage();
  QCOMPARE(image.pixelColor(76, 14), grey(110));
  QCOMPARE(image.pixelColor(4, 14), grey(80));
}

void StyleTest::toolButtonSize_data() {
  QTest::addColumn<int>("mode");
  QTest::addColumn<int>("contents_width");
  QTest::addColumn<int>("width");
  QTest::addColumn<QRect>("menu_part");  // of a 60 x 28 button
  const QRect whole(0, 0, 60, 28);
  QTest::newRow("instant, minimum") << int(QToolButton::InstantPopup) << 10 << 44 << whole;
  QTest::newRow("delayed") << int(QToolButton::DelayedPopup) << 40 << 68 << whole;
  QTest::newRow("menu button") << int(QToolButton::MenuButtonPopup) << 40 << 56 << QRect(44, 0, 16, 28);
}

void StyleTest::toolButtonSize() {
  QFETCH(int, mode);
  QFETCH(int, contents_width);
  QFETCH(int, width);
  QFETCH(QRect, menu_part);
  QToolButton button;
  button.setPopupMode(QToolButton::ToolButtonPopupMode(mode));
  QStyleOptionToolButton option;
  option.initFrom(&button);
  QStyle* style = button.style();
  QCOMPARE(style->sizeFromContents(QStyle::CT_ToolButton, &option, QSize(contents_width, 16), &button),
           QSize(width, 28));
  option.rect = QRect(0, 0, 60, 28);
  QCOMPARE(style->subControlRect(QStyle::CC_ToolButton, &option, QStyle::SC_ToolButtonMenu, &button), menu_part);
}

void StyleTest::menuPalette() {
  QMenu menu;
  menu.ensurePolished();
  const QPalette palette = menu.palette();
  QCOMPARE(palette.color(QPalette::Inactive, QPalette::Window), grey(110));
  QCOMPARE(palette.color(QPalette::Active, QPalette::Highlight), grey(190));
  QCOMPARE(palette.color(QPalette::Active, QPalette::HighlightedText), grey(0));
  QCOMPARE(palette.color(QPalette::Disabled, QPalette::ButtonText), grey(140));
  QCOMPARE(palette.color(QPalette::Active, QPalette::ButtonText), grey(240));
}

void StyleTest::treeBranchCells_data() {
  QTest::addColumn<int>("state");
  QTest::addColumn<bool>("line_above");
  QTest::addColumn<bool>("line_below");
  QTest::addColumn<bool>("line_right");
  QTest::addColumn<bool>("plus");
  QTest::addColumn<bool>("minus");
  QTest::newRow("sibling line only") << int(QStyle::State_Sibling) << true << true << false << false << false;
  QTest::newRow("last child") << int(QStyle::State_Item) << true << false << true << false << false;
  QTest::newRow("middle child") << int(QStyle::State_Item | QStyle::State_Sibling) << true << true << true
                                << false << false;
  QTest::newRow("closed parent") << int(QStyle::State_Item | QStyle::State_Children) << true << false << true
                                 << true << true;
  QTest::newRow("open parent") << int(QStyle::State_Item | QStyle::State_Children | QStyle::State_Open) << true
                               << false << true << false << true;
}

// Branch cells of the element tree: lines the base style would leave out, and the
// open/closed marker. Checked on a 20 x 20 cell centred at (10, 10) (pixel rows 9/10).
void StyleTest::treeBranchCells() {
  QFETCH(int, state);
  QFETCH(bool, line_above);
  QFETCH(bool, line_below);
  QFETCH(bool, line_right);
  QFETCH(bool, plus);
  QFETCH(bool, minus);

  QStyleOption option;
  option.rect = QRect(0, 0, 20, 20);
  option.palette.setColor(QPalette::Text, Qt::black);
  option.palette.setColor(QPalette::Base, Qt::white);
  option.state = QStyle::State(state);
  QImage image(20, 20, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QApplication::style()->drawPrimitive(QStyle::PE_IndicatorBranch, &option, &painter);
  painter.end();

  // Dotted lines: look for ink anywhere along a short run of pixels.
  auto inkAlong = [&](QPoint from, QPoint step, int count) {
    for (int i = 0; i < count; ++i, from += step)
      if (image.pixelColor(from).lightness() < 128) return true;
    return false;
  };
  const QPoint centre = option.rect.center();
  QCOMPARE(inkAlong({centre.x(), 0}, {0, 1}, 3), line_above);
  QCOMPARE(inkAlong({centre.x(), 17}, {0, 1}, 3), line_below);
  QCOMPARE(inkAlong({17, centre.y()}, {1, 0}, 3), line_right);
  const bool has_box = plus || minus;
  if (has_box) {
    QCOMPARE(image.pixelColor(centre.x() - 2, centre.y()).lightness() < 128, minus);
    QCOMPARE(image.pixelColor(centre.x(), centre.y() - 2).lightness() < 128, plus);
  }
}

CORVANTA_TEST_MAIN(StyleTest)
#include "StyleTest.moc"
