#include "BinViewWidget.h"

#include "BinViewArea.h"
#include "settings.h"

#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QString bytes_per_line_key = QStringLiteral("main/hex_viewer/bytes_per_line");
const QString font_size_key = QStringLiteral("main/hex_viewer/font_size");
constexpr int default_bytes_per_line = 8;
constexpr double default_font_size = 10.0;

}  // namespace

BinViewWidget::BinViewWidget(QWidget* parent) : QWidget(parent), bin_view_area(new BinViewArea()) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(bin_view_area, 0);
  layout->setSizeConstraint(QLayout::SetMaximumSize);
}

void BinViewWidget::loadSettings() {
  // The line width is stored as the text of the properties dialog's choice.
  const int bytes_per_line = settings()->value(bytes_per_line_key, default_bytes_per_line).toInt();
  bin_view_area->setBytesPerLine(clampBytesPerLine(bytes_per_line));
  const double font_size = settings()->value(font_size_key, default_font_size).toDouble();
  bin_view_area->setFontSize(clampFontSize(font_size));
}

void BinViewWidget::saveSettings() {
  settings()->setValue(font_size_key, bin_view_area->fontSize());
}

int BinViewWidget::clampBytesPerLine(int bytes_per_line) {
  // Integer division rounds toward zero, as wanted for negative values too.
  return std::clamp(bytes_per_line / 4 * 4, 4, 32);
}

double BinViewWidget::clampFontSize(double point_size) {
  if (std::isnan(point_size))
    return default_font_size;
  return std::clamp(point_size, 6.0, 20.0);
}
