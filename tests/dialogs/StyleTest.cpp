#include "Style.h"
#include "TestSupport.h"

#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>

#include <functional>

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

QImage drawn(const QSize& size, const QColor& background, const std::function<void(QPainter*)>& draw) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(background);
  QPainter painter(&image);
  draw(&painter);
  return image;
}

}  // namespace

class StyleTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setStyle(new Style()); }

  void pushButton_data() {
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

  void pushButton() {
    QFETCH(bool, hovered);
    QFETCH(bool, pressed);
    QFETCH(int, fill);
    QFETCH(int, above_outline);
    QPushButton button(QStringLiteral("Apply"));
    QCOMPARE(button.sizeHint().height(), 28);
    button.resize(100, 28);
    button.setAttribute(Qt::WA_UnderMouse, hovered);
    button.setDown(pressed);
    const QImage image = button.grab().toImage();
    for (int y = 3; y <= 24; ++y)
      QCOMPARE(image.pixelColor(12, y), grey(fill));
    QCOMPARE(image.pixelColor(50, 0).red(), above_outline);
    // Light text, centred.
    QVERIFY(countPixels(image.copy(30, 4, 40, 20), [](const QColor& c) { return c.red() > 200; }) > 10);
    QCOMPARE(countPixels(image.copy(0, 4, 25, 20), [](const QColor& c) { return c.red() > 200; }), 0);
  }

  void focusAndDefaultFrames() {
    QPushButton button(QStringLiteral("OK"));
    button.resize(100, 28);
    auto draw = [&](QStyle::State state) {
      QStyleOptionButton option;
      option.initFrom(&button);
      option.state |= state;
      option.text = button.text();
      return drawn(button.size(), grey(80),
                   [&](QPainter* painter) { button.style()->drawControl(QStyle::CE_PushButton, &option, painter, &button); });
    };
    QCOMPARE(countPixels(draw(QStyle::State_None), isReddish), 0);
    QVERIFY(countPixels(draw(QStyle::State_HasFocus), isReddish) > 20);
    button.setDefault(true);
    const QImage image = draw(QStyle::State_HasFocus);
    // The black rounded default frame comes last, over the focus frame.
    QCOMPARE(image.pixelColor(50, 1), QColor(Qt::black));
    QCOMPARE(image.pixelColor(1, 14), QColor(Qt::black));
    QVERIFY(countPixels(image, isReddish) > 0);

    QLineEdit field;
    field.resize(100, 28);
    QStyleOptionFrame option;
    option.initFrom(&field);
    option.state |= QStyle::State_HasFocus;
    const QImage focused_field = drawn(field.size(), grey(80), [&](QPainter* painter) {
      field.style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, painter, &field);
    });
    QCOMPARE(focused_field.pixelColor(50, 14), grey(230));
    QVERIFY(countPixels(focused_field, isReddish) > 20);
  }

  void treeBranchCells_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("marker");
    const int item = QStyle::State_Item, parent = item | QStyle::State_Children;
    QTest::newRow("sibling line only") << int(QStyle::State_Sibling) << "above below" << "";
    QTest::newRow("last child") << item << "above right" << "";
    QTest::newRow("middle child") << (item | QStyle::State_Sibling) << "above below right" << "";
    QTest::newRow("closed parent") << parent << "above right" << "+";
    QTest::newRow("open parent") << (parent | QStyle::State_Open) << "above right" << "-";
  }

  // Branch cells of the element tree: lines the base style would leave out, and the
  // open/closed marker, on a 20 x 20 cell.
  void treeBranchCells() {
    QFETCH(int, state);
    QFETCH(QString, lines);
    QFETCH(QString, marker);
    QStyleOption option;
    option.rect = QRect(0, 0, 20, 20);
    option.palette.setColor(QPalette::Text, Qt::black);
    option.palette.setColor(QPalette::Base, Qt::white);
    option.state = QStyle::State(state);
    const QImage image = drawn(option.rect.size(), Qt::white, [&](QPainter* painter) {
      QApplication::style()->drawPrimitive(QStyle::PE_IndicatorBranch, &option, painter);
    });
    auto ink = [&](QPoint at) { return image.pixelColor(at).lightness() < 128; };
    // Dotted lines: look for ink anywhere along a run of three pixels.
    auto inkAlong = [&](QPoint from, QPoint step) { return ink(from) || ink(from + step) || ink(from + 2 * step); };
    const QPoint centre = option.rect.center();
    QStringList found;
    if (inkAlong({centre.x(), 0}, {0, 1}))
      found << "above";
    if (inkAlong({centre.x(), 17}, {0, 1}))
      found << "below";
    if (inkAlong({17, centre.y()}, {1, 0}))
      found << "right";
    QCOMPARE(found.join(' '), lines);
    if (!marker.isEmpty()) {
      QVERIFY(ink(centre - QPoint(2, 0)));
      QCOMPARE(ink(centre - QPoint(0, 2)), marker == "+");
    }
  }
};

CORVANTA_TEST_MAIN(StyleTest)
#include "StyleTest.moc"
