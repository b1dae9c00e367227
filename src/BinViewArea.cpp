#include "BinViewArea.h"

#include "BinViewFile.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

int defaultBytesPerLine() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen && screen->availableGeometry().width() > 1500 ? 16 : 8;
}

uchar displayedCharacter(uchar byte) {
  return byte >= 0x20 && byte <= 0x7E ? byte : uchar('.');
}

}  // namespace

BinViewArea::BinViewArea(QWidget* parent)
    : QAbstractScrollArea(parent), file(std::make_unique<BinViewFile>()),
      bytes_per_line(defaultBytesPerLine()) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  font.setFamily(QStringLiteral("Monospace"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPointSizeF(10.0);
  buildGlyphStrips();
  updateWidth();
}

BinViewArea::~BinViewArea() = default;

bool BinViewArea::openFile(const QString& file_name) {
  if (file->isOpen())
    closeFile();
  if (!file->open(file_name))
    return false;
  file_size = file->size();
  updateLineCount();
  // Done now rather than at the next paint, so that a selection set right after
  // opening can already scroll anywhere in the file.
  updateScrollRange();
  viewport()->update();
  return true;
}

void BinViewArea::closeFile() {
  if (!file->isOpen())
    return;
  file->close();
  file_size = file->size();
  line_count = 0;
  verticalScrollBar()->setRange(0, 0);
}

void BinViewArea::setBytesPerLine(int new_bytes_per_line) {
  if (new_bytes_per_line < 1)
    return;
  const qint64 top = topLine();
  bytes_per_line = new_bytes_per_line;
  if (file->isOpen())
    updateLineCount();
  updateScrollRange();
  scrollToLine(top);
  updateWidth();
}

void BinViewArea::setFontSize(double point_size) {
  const qint64 top = topLine();
  font.setPointSizeF(point_size);
  normal_strip = QImage();
  selection_strip = QImage();
  buildGlyphStrips();
  updateScrollRange();
  scrollToLine(top);
  updateWidth();
}

void BinViewArea::setSelection(qint64 offset, qint64 size, bool update_scroll_pos) {
  selection_offset = offset;
  selection_size = size;
  const qint64 first = topLine();
  const qint64 last = std::min(first + visibleLines(), line_count);
  viewport()->update();
  // Only the start counts: a range that begins on screen does not scroll.
  if (bytes_per_line * first <= offset && offset < bytes_per_line * last)
    return;
  if (update_scroll_pos)
    scrollToLine(offset / bytes_per_line);
}

qint64 BinViewArea::topLine() const {
  const qint64 value = verticalScrollBar()->value();
  const qint64 step = linesPerScrollStep(maxTopLine());
  const qint64 line = pinned_top_line / step == value ? pinned_top_line : value * step;
  return std::clamp<qint64>(line, 0, maxTopLine());
}

int BinViewArea::visibleLines() const {
  // The whole area, frame included, so a line cut by the bottom frame still counts
  // as shown. Taken from the geometry rather than the viewport, which is laid out
  // only once shown.
  return cell_height > 0 ? height() / cell_height : 0;
}

int BinViewArea::lineCells(int bytes_per_line) {
  return bytes_per_line / 4 + offset_digits + 4 * bytes_per_line + 6;
}

int BinViewArea::hexCell(int byte_index) {
  return offset_digits + 4 + 3 * byte_index + byte_index / 4;
}

int BinViewArea::characterCell(int bytes_per_line, int byte_index) {
  return 3 * bytes_per_line + bytes_per_line / 4 + offset_digits + 5 + byte_index;
}

QByteArray BinViewArea::offsetText(qint64 offset) {
  QByteArray text(16, '0');
  quint64 rest = quint64(offset);
  for (int i = text.size() - 1; i >= 0; --i, rest >>= 4)
    text[i] = hex_digits[rest & 0xF];
  // Offsets past 2^40 need more than offset_digits digits; the empty cells
  // before the hex column leave room for them.
  int leading = 0;
  while (leading < text.size() - offset_digits && text[leading] == '0')
    ++leading;
  return text.mid(leading);
}

qint64 BinViewArea::linesPerScrollStep(qint64 max_top_line) {
  return std::max<qint64>(1, (max_top_line + INT_MAX - 1) / INT_MAX);
}

void BinViewArea::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QBrush background = palette().brush(QPalette::Base);
  if (!file->isOpen() || cell_height == 0 || normal_strip.isNull() || selection_strip.isNull()) {
    painter.fillRect(rect(), background);
    return;
  }
  updateScrollRange();
  const qint64 first = topLine();
  const qint64 last = std::min(first + visibleLines(), line_count);
  const QSize line_size(cell_width * lineCells(bytes_per_line), cell_height);
  if (line_image.size() != line_size)
    line_image = QImage(line_size, QImage::Format_RGB32);
  int y = 0;
  for (qint64 line = first; line < last; ++line, y += cell_height) {
    composeLine(line);
    painter.drawImage(QPoint(0, y), line_image);
  }
  // The lines cover their part of the viewport completely (its background is
  // not filled first: that would double the cost of a paint); fill the rest.
  const QRect viewport_rect = viewport()->rect();
  if (viewport_rect.width() > line_size.width())
    painter.fillRect(QRect(line_size.width(), 0, viewport_rect.width() - line_size.width(), y), background);
  if (viewport_rect.height() > y)
    painter.fillRect(QRect(0, y, viewport_rect.width(), viewport_rect.height() - y), background);
}

void BinViewArea::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollRange();
}

void BinViewArea::buildGlyphStrips() {
  if (!normal_strip.isNull() && !selection_strip.isNull())
    return;
  const QFontMetrics metrics(font);
  const QRect layout_box(0, 0, 100, 100);
  cell_width = 0;
  for (char16_t c = 0x21; c <= 0x7E; ++c) {
    const QRect box = metrics.boundingRect(layout_box, Qt::AlignCenter | Qt::TextSingleLine, QString(QChar(c)));
    cell_width = std::max(cell_width, box.width());
  }
  cell_height = metrics.height();
  line_background = palette().color(QPalette::Base);
  normal_strip = buildGlyphStrip(QPalette::Base, QPalette::Text);
  selection_strip = buildGlyphStrip(QPalette::Highlight, QPalette::HighlightedText);
}

QImage BinViewArea::buildGlyphStrip(QPalette::ColorRole background, QPalette::ColorRole text) const {
  QImage strip(cell_width * 256, cell_height, QImage::Format_RGB32);
  if (strip.isNull())
    return strip;
  QPainter painter(&strip);
  painter.fillRect(strip.rect(), palette().brush(background));
  painter.setPen(palette().color(text));
  painter.setFont(font);
  for (int c = 0; c < 256; ++c) {
    const QRect cell(c * cell_width, 0, cell_width, cell_height);
    painter.drawText(cell, Qt::AlignCenter | Qt::TextSingleLine, QString(QChar(c)));
  }
  return strip;
}

void BinViewArea::updateWidth() {
  // The scroll bar's width is reserved even while it is hidden, so that the
  // widget does not change width when a file is opened or closed.
  setFixedWidth(cell_width * lineCells(bytes_per_line) + verticalScrollBar()->sizeHint().width());
  viewport()->update();
}

void BinViewArea::updateLineCount() {
  line_count = file_size > 0 ? (file_size + bytes_per_line - 1) / bytes_per_line : 0;
}

void BinViewArea::updateScrollRange() {
  QScrollBar* bar = verticalScrollBar();
  if (!file->isOpen()) {
    bar->setRange(0, 0);
    return;
  }
  const qint64 max_top = maxTopLine();
  const qint64 step = linesPerScrollStep(max_top);
  bar->setRange(0, int((max_top + step - 1) / step));
  bar->setPageStep(int(std::max<qint64>(1, visibleLines() / step)));
}

void BinViewArea::scrollToLine(qint64 line) {
  pinned_top_line = std::clamp<qint64>(line, 0, maxTopLine());
  verticalScrollBar()->setValue(int(pinned_top_line / linesPerScrollStep(maxTopLine())));
}

qint64 BinViewArea::maxTopLine() const {
  return std::max<qint64>(0, line_count - visibleLines());
}

bool BinViewArea::isSelected(qint64 position) const {
  // Unsigned, so that no offset or size handed in can overflow the test.
  return position >= selection_offset && selection_size > 0 &&
         quint64(position) - quint64(selection_offset) < quint64(selection_size);
}

void BinViewArea::composeLine(qint64 line) {
  line_image.fill(line_background);
  const qint64 line_offset = line * bytes_per_line;
  const int count = int(std::min<qint64>(bytes_per_line, file_size - line_offset));
  // The file may yield fewer bytes than it had when opened: draw only those.
  const QByteArray bytes = file->read(line_offset, count);
  const int obtained = std::min(count, int(bytes.size()));
  const GlyphCopier copier(*this);

  const QByteArray offset = offsetText(line_offset);
  for (int k = 0; k < offset.size(); ++k)
    copier.copy(1 + k, uchar(offset[k]), false);

  for (int i = 0; i < obtained; ++i) {
    const qint64 position = line_offset + i;
    const bool selected = isSelected(position);
    const uchar byte = uchar(bytes[i]);
    const int cell = hexCell(i);
    copier.copy(cell, uchar(hex_digits[byte >> 4]), selected);
    copier.copy(cell + 1, uchar(hex_digits[byte & 0xF]), selected);
    // The joining space keeps a highlight unbroken inside a group of four.
    const bool joins_next = i + 1 < obtained && i / 4 == (i + 1) / 4 && isSelected(position + 1);
    if (joins_next)
      copier.copy(cell + 2, uchar(' '), selected);
    copier.copy(characterCell(bytes_per_line, i), displayedCharacter(byte), selected);
  }
}

// Copies glyph cells from the strips into the line image row by row: a
// QPainter::drawImage per glyph costs about ten times as much, and a screen
// holds several thousand glyphs.
BinViewArea::GlyphCopier::GlyphCopier(BinViewArea& area)
    : strips{area.normal_strip.constBits(), area.selection_strip.constBits()},
      strip_stride(area.normal_strip.bytesPerLine() / 4), target(area.line_image.bits()),
      target_stride(area.line_image.bytesPerLine() / 4), width(area.cell_width), height(area.cell_height) {}

void BinViewArea::GlyphCopier::copy(int cell, uchar code, bool selected) const {
  const quint32* source = reinterpret_cast<const quint32*>(strips[selected]) + qsizetype(code) * width;
  quint32* destination = reinterpret_cast<quint32*>(target) + qsizetype(cell) * width;
  for (int row = 0; row < height; ++row, source += strip_stride, destination += target_stride)
    std::copy(source, source + width, destination);
}
