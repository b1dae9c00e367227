#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPalette>

#include <memory>

class BinViewFile;

// Hex and character view of one file. Every character on screen is one image copy
// out of a pre-rendered glyph strip (normal or selected), and the bytes come
// through the file's one-chunk cache, so painting costs the same for any file size.
//
// The vertical scroll bar counts lines. A file with more lines than an int can
// count (over 8 GiB at 4 bytes per line) scrolls in steps of several lines; a
// position chosen by setSelection is still kept exact, line for line.
class BinViewArea : public QAbstractScrollArea {
  Q_OBJECT

public:
  static constexpr int offset_digits = 10;

  explicit BinViewArea(QWidget* parent = nullptr);
  ~BinViewArea() override;

  bool openFile(const QString& file_name);
  void closeFile();
  // Callers pass a multiple of 4 from 4 to 32; values below 1 are ignored.
  void setBytesPerLine(int bytes_per_line);
  void setFontSize(double point_size);
  // Highlights [offset, offset + size) and, if update_scroll_pos is set and the
  // line holding offset is not on screen, makes that line the top line.
  void setSelection(qint64 offset, qint64 size, bool update_scroll_pos);

  int bytesPerLine() const { return bytes_per_line; }
  double fontSize() const { return font.pointSizeF(); }
  qint64 lineCount() const { return line_count; }
  qint64 selectionOffset() const { return selection_offset; }
  qint64 selectionSize() const { return selection_size; }
  // First line on screen, and how many lines the area counts as shown: its whole
  // height, frame included, in lines.
  qint64 topLine() const;
  int visibleLines() const;
  int cellWidth() const { return cell_width; }
  int cellHeight() const { return cell_height; }
  const QImage& glyphStrip(bool selected) const { return selected ? selection_strip : normal_strip; }
  const BinViewFile& binViewFile() const { return *file; }

  // Line layout in glyph cells (cell 0 at the left edge).
  static int lineCells(int bytes_per_line);
  static int hexCell(int byte_index);
  static int characterCell(int bytes_per_line, int byte_index);
  // The offset column's text: upper-case hex, at least offset_digits digits.
  static QByteArray offsetText(qint64 offset);
  // Lines per scroll bar step, so that the largest top line fits an int.
  static qint64 linesPerScrollStep(qint64 max_top_line);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void buildGlyphStrips();
  QImage buildGlyphStrip(QPalette::ColorRole background, QPalette::ColorRole text) const;
  void updateWidth();
  void updateLineCount();
  void updateScrollRange();
  void scrollToLine(qint64 line);
  qint64 maxTopLine() const;
  bool isSelected(qint64 position) const;
  void composeLine(qint64 line);

  class GlyphCopier {
  public:
    explicit GlyphCopier(BinViewArea& area);
    void copy(int cell, uchar code, bool selected) const;

  private:
    const uchar* strips[2];
    qsizetype strip_stride;
    uchar* target;
    qsizetype target_stride;
    int width;
    int height;
  };

  std::unique_ptr<BinViewFile> file;
  qint64 line_count = 0;
  qint64 file_size = 0;
  int bytes_per_line = 8;
  QFont font;
  QImage normal_strip;
  QImage selection_strip;
  int cell_height = 0;
  int cell_width = 0;
  qint64 selection_offset = 0;
  qint64 selection_size = 0;
  // The top line last asked for by setSelection or kept across a font or width
  // change; it differs from value × step only when a step spans several lines.
  qint64 pinned_top_line = 0;
  // One line is put together here from glyph cells, then drawn in one piece.
  QImage line_image;
  QColor line_background;
};
