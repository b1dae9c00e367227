#include "BinViewArea.h"
#include "BinViewFile.h"
#include "HexViewTesting.h"
#include "TestSupport.h"

#include <QRegularExpression>
#include <QScrollBar>

#include <climits>

using namespace hexview_testing;

namespace {

const QColor base(230, 230, 230), text(0, 0, 0), highlight(130, 130, 130), highlighted_text(240, 240, 240);

// Reads the rendered view back cell by cell by matching each cell against the
// glyph strips: the character shown, and which strip it came from ('N' normal,
// 'S' selection, '?' neither).
class ScreenReader {
public:
  explicit ScreenReader(BinViewArea& area)
      : w(area.cellWidth()), h(area.cellHeight()),
        image(area.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32)) {
    const QByteArray preferred = "0123456789ABCDEF. ";
    for (int c = 0; c < 256 + preferred.size(); ++c)
      order.append(c < preferred.size() ? uchar(preferred[c]) : c - preferred.size());
    for (int s = 0; s < 2; ++s)
      for (int c = 0; c < 256; ++c)
        glyphs[s][c] = cellOf(area.glyphStrip(s), c, 0);
  }

  QString text(int line, int cells = 49) const { return read(line, cells, true); }
  QString strips(int line, int cells = 49) const { return read(line, cells, false); }
  QImage cell(int cell, int line) const { return cellOf(image, cell, line); }
  const QImage& screen() const { return image; }

private:
  QString read(int line, int cells, bool want_text) const {
    QString result;
    for (int cell = 0; cell < cells; ++cell) {
      const QImage shown = cellOf(image, cell, line);
      QChar found = '?';
      for (int s = 0; s < 2 && found == '?'; ++s)
        for (int c : order)
          if (glyphs[s][c] == shown) {
            found = want_text ? QChar(c) : QChar(s ? 'S' : 'N');
            break;
          }
      result += found;
    }
    return result;
  }
  QImage cellOf(const QImage& source, int cell, int line) const {
    return source.copy(cell * w, line * h, w, h).convertToFormat(QImage::Format_RGB32);
  }

  int w, h;
  QImage image;
  QList<int> order;
  QImage glyphs[2][256];
};

int countPixels(const QImage& image, const QColor& colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      count += image.pixelColor(x, y) == colour;
  return count;
}

bool allPixels(const QImage& image, const QColor& colour) {
  return countPixels(image, colour) == image.width() * image.height();
}

bool mostlyOn(const QImage& image, const QColor& background, const QColor& glyph) {
  return countPixels(image, background) > image.width() * image.height() / 2 && countPixels(image, glyph) > 0;
}

}  // namespace

class TestBinViewArea : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    QPalette palette;
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, highlighted_text);
    QApplication::setPalette(palette);
    QVERIFY(dir.isValid());
  }

  void offsetText_data() {
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("160") << 160LL << QByteArray("00000000A0");
    QTest::newRow("4 GiB - 16") << 0xFFFFFFF0LL << QByteArray("00FFFFFFF0");
    QTest::newRow("past 10 digits") << 0x123456789ABLL << QByteArray("123456789AB");
  }

  void offsetText() {
    QFETCH(qint64, offset);
    QFETCH(QByteArray, text);
    QCOMPARE(BinViewArea::offsetText(offset), text);
  }

  void renderedLines_data() {
    QTest::addColumn<int>("bytes_per_line");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");
    QByteArray all_bytes;
    for (int c = 0; c < 256; ++c)
      all_bytes.append(char(c));

    QTest::newRow("8 per line") << 8 << QByteArray("0123456789") << 0
                                << " 0000000000   30 31 32 33  34 35 36 37   01234567";
    QTest::newRow("8 per line, short last line")
        << 8 << QByteArray("0123456789") << 1 << " 0000000008   38 39                      89";
    QTest::newRow("16 per line, eleventh line")
        << 16 << all_bytes << 10
        << " 00000000A0   A0 A1 A2 A3  A4 A5 A6 A7  A8 A9 AA AB  AC AD AE AF   ................";
    QTest::newRow("bytes without a character of their own")
        << 8 << QByteArray("\x00\x1F\x20\x7F\x80\xFF\x41\x7E", 8) << 0
        << " 0000000000   00 1F 20 7F  80 FF 41 7E   .. ...A~";
  }

  void renderedLines() {
    QFETCH(int, bytes_per_line);
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QFETCH(QString, expected);
    BinViewArea area;
    openArea(area, content, bytes_per_line);
    const ScreenReader reader(area);
    const int cells = BinViewArea::lineCells(bytes_per_line) - 1;  // the last cell is always empty
    QCOMPARE(reader.text(line, cells), expected.leftJustified(cells));
    QCOMPARE(reader.strips(line, cells), QString(cells, 'N'));
  }

  void selectionCells_data() {
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("line0");
    QTest::addColumn<QString>("line1");
    const QString plain(49, 'N');
    // Per row: offset cells 0-13, hex cells 14-40, character cells 41-48.
    QTest::newRow("bytes 2 to 5") << 2LL << 4LL
                                  << "NNNNNNNNNNNNNN" "NNNNNNSSSSSNNSSSSSNNNNNNNNN" "NNSSSSNN" << plain;
    QTest::newRow("across the line end") << 6LL << 3LL
                                         << "NNNNNNNNNNNNNN" "NNNNNNNNNNNNNNNNNNNSSSSSNNN" "NNNNNNSS"
                                         << "NNNNNNNNNNNNNN" "SSNNNNNNNNNNNNNNNNNNNNNNNNN" "SNNNNNNN";
    QTest::newRow("one byte") << 3LL << 1LL << "NNNNNNNNNNNNNN" "NNNNNNNNNSSNNNNNNNNNNNNNNNN" "NNNSNNNN" << plain;
    QTest::newRow("past the end of the file") << 8LL << 100LL << plain
                                              << "NNNNNNNNNNNNNN" "SSSSSNNNNNNNNNNNNNNNNNNNNNN" "SSNNNNNN";
    QTest::newRow("size 0") << 2LL << 0LL << plain << plain;
    QTest::newRow("range ending before the file") << LLONG_MIN << LLONG_MAX << plain << plain;
  }

  void selectionCells() {
    QFETCH(qint64, offset);
    QFETCH(qint64, size);
    QFETCH(QString, line0);
    QFETCH(QString, line1);
    BinViewArea area;
    openArea(area, "ABCDEFGHIJ", 8);
    area.setSelection(offset, size, true);
    const ScreenReader reader(area);
    QCOMPARE(reader.strips(0), line0);
    QCOMPARE(reader.strips(1), line1);
    QCOMPARE(reader.text(0), QString(" 0000000000   41 42 43 44  45 46 47 48   ABCDEFGH"));
  }

  void selectionColours() {
    BinViewArea area;
    openArea(area, "ABCDEFGH", 8);
    area.setSelection(2, 4, true);
    const ScreenReader reader(area);
    QVERIFY(allPixels(reader.cell(22, 0), highlight));  // joining space inside the group
    QVERIFY(allPixels(reader.cell(26, 0), base));       // gap between the groups
    QVERIFY(allPixels(reader.cell(32, 0), base));       // space after the last selected byte
    QVERIFY(mostlyOn(reader.cell(20, 0), highlight, highlighted_text));
    QVERIFY(mostlyOn(reader.cell(14, 0), base, text));
  }

  void glyphStripsTakeThePaletteInForce() {
    BinViewArea area;
    const QRect space(' ' * area.cellWidth(), 0, area.cellWidth(), area.cellHeight());
    QVERIFY(allPixels(area.glyphStrip(false).copy(space), base));
    QVERIFY(allPixels(area.glyphStrip(true).copy(space), highlight));
    QPalette other = area.palette();
    other.setColor(QPalette::Base, QColor(10, 20, 30));
    area.setPalette(other);
    area.setFontSize(12.0);
    const QRect new_space(' ' * area.cellWidth(), 0, area.cellWidth(), area.cellHeight());
    QVERIFY(allPixels(area.glyphStrip(false).copy(new_space), QColor(10, 20, 30)));
  }

  void emptyAndClosedViewsShowOnlyTheBackground() {
    BinViewArea area;
    openArea(area, QByteArray(), 8);
    QCOMPARE(area.lineCount(), 0);
    QCOMPARE(area.verticalScrollBar()->maximum(), 0);
    QVERIFY(allPixels(ScreenReader(area).screen(), base));

    openArea(area, QByteArray(4000, 'x'), 8);
    QVERIFY(area.verticalScrollBar()->maximum() > 0);
    area.closeFile();
    QCOMPARE(area.verticalScrollBar()->maximum(), 0);
    QVERIFY(allPixels(ScreenReader(area).screen(), base));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Error \\d+: "));
    QVERIFY(!area.openFile(dir.filePath("missing.bin")));
    QVERIFY(allPixels(ScreenReader(area).screen(), base));
  }

  void setSelectionScrolls_data() {
    QTest::addColumn<qint64>("top");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("update_scroll_pos");
    QTest::addColumn<qint64>("expected_top");
    // 1000 lines of 8 bytes, 20 on screen.
    QTest::newRow("start on the last visible line") << 0LL << 19 * 8LL << 1LL << true << 0LL;
    QTest::newRow("line just below the screen") << 0LL << 20 * 8LL << 1LL << true << 20LL;
    QTest::newRow("size 0 still scrolls") << 0LL << 20 * 8LL + 3 << 0LL << true << 20LL;
    QTest::newRow("scrolling not asked for") << 0LL << 500 * 8LL << 1LL << false << 0LL;
    QTest::newRow("range starting on screen") << 0LL << 5 * 8LL << 100000LL << true << 0LL;
    QTest::newRow("above the screen") << 600LL << 10 * 8LL + 7 << 8LL << true << 10LL;
    QTest::newRow("near the end") << 0LL << 995 * 8LL << 1LL << true << 980LL;
  }

  void setSelectionScrolls() {
    QFETCH(qint64, top);
    QFETCH(qint64, offset);
    QFETCH(qint64, size);
    QFETCH(bool, update_scroll_pos);
    QFETCH(qint64, expected_top);
    BinViewArea area;
    // Right after opening, before any paint: the scroll range must already cover the file.
    openArea(area, patternBytes(0, 8000), 8);
    QCOMPARE(area.visibleLines(), 20);
    area.verticalScrollBar()->setValue(int(top));
    area.setSelection(offset, size, update_scroll_pos);
    QCOMPARE(area.topLine(), expected_top);
  }

  void bottomLineIsNeverCut() {
    BinViewArea area;
    area.resize(area.width(), 20 * area.cellHeight());
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));
    QVERIFY(area.visibleLines() * area.cellHeight() <= area.viewport()->height());
  }

  void widthAndFontChanges() {
    BinViewArea area;
    openArea(area, patternBytes(0, 8000), 8);
    area.verticalScrollBar()->setValue(300);
    const int scroll_bar = area.verticalScrollBar()->sizeHint().width();
    for (int bytes_per_line : {4, 16, 8, 32}) {
      area.setBytesPerLine(bytes_per_line);
      QCOMPARE(area.width(), area.cellWidth() * (bytes_per_line / 4 + 10 + 4 * bytes_per_line + 6) + scroll_bar);
    }
    // 250 lines at 32 bytes: the top line is clamped to the new end.
    QCOMPARE(area.topLine(), 250 - area.visibleLines());
    area.setBytesPerLine(8);
    area.verticalScrollBar()->setValue(300);
    const int narrow = area.width();
    area.setFontSize(16.0);
    QVERIFY(area.width() > narrow);
    QCOMPARE(area.width(), area.cellWidth() * BinViewArea::lineCells(8) + scroll_bar);
    QCOMPARE(area.topLine(), 300);
  }

  void paintingHitsTheCache() {
    BinViewArea area;
    openArea(area, patternBytes(0, 300000), 16);
    area.setSelection(200000, 1, true);
    area.viewport()->grab();
    const qint64 reads = area.binViewFile().readStatistics().disk_reads;
    area.viewport()->grab();
    area.verticalScrollBar()->setValue(area.verticalScrollBar()->value() + 1);
    QCOMPARE(ScreenReader(area).text(0, 11), QString(" 0000030D50"));
    QCOMPARE(area.binViewFile().readStatistics().disk_reads, reads);
  }

  void fileShrunkAfterOpening() {
    BinViewArea area;
    const QString path = openArea(area, patternBytes(0, 200000), 8);
    QVERIFY(QFile::resize(path, 99996));
    area.setSelection(99984, 0, true);
    const ScreenReader reader(area);
    // The line at 99992 keeps its four remaining bytes; nothing is drawn past them.
    const QString partial = reader.text(1);
    QCOMPARE(partial.left(25), " 0000018698   " + QString::fromLatin1(patternBytes(99992, 4).toHex(' ').toUpper()));
    QCOMPARE(partial.mid(25, 16), QString(16, ' '));
    QCOMPARE(partial.mid(45), QString(4, ' '));
    QCOMPARE(reader.text(2), QString(" 00000186A0").leftJustified(49));
  }

  void moreLinesThanTheScrollBarCounts() {
    QCOMPARE(BinViewArea::linesPerScrollStep(INT_MAX), 1);
    QCOMPARE(BinViewArea::linesPerScrollStep(qint64(INT_MAX) + 1), 2);
    QCOMPARE(BinViewArea::linesPerScrollStep(qint64(1) << 38), 129);

    // 9 GiB at 4 bytes per line: 2.4 billion lines, in a sparse file.
    const QString path = dir.filePath("huge.bin");
    const qint64 size = qint64(9) << 30;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
      QSKIP("cannot create a sparse 9 GiB file here");
    BinViewArea area;
    area.setBytesPerLine(4);
    area.resize(area.width(), 20 * area.cellHeight() + area.cellHeight() / 2);
    QVERIFY(area.openFile(path));
    QCOMPARE(area.lineCount(), size / 4);

    const qint64 offset = size - 4 * 1001;
    area.setSelection(offset, 4, true);
    QCOMPARE(area.topLine(), offset / 4);
    QCOMPARE(ScreenReader(area).text(0, 11), " " + QString::fromLatin1(BinViewArea::offsetText(offset)));
    area.verticalScrollBar()->setValue(area.verticalScrollBar()->maximum());
    QCOMPARE(area.topLine(), area.lineCount() - 20);
    QCOMPARE(ScreenReader(area).text(19, 11), QString(" 023FFFFFFC"));
  }

private:
  // Opens a new file with the given bytes in an area with room for 20 lines.
  QString openArea(BinViewArea& area, const QByteArray& content, int bytes_per_line) {
    const QString path = dir.filePath(QString("file%1.bin").arg(++files));
    if (!writeFile(path, content))
      qFatal("cannot write %s", qPrintable(path));
    area.setBytesPerLine(bytes_per_line);
    area.resize(area.width(), 20 * area.cellHeight() + area.cellHeight() / 2);
    if (!area.openFile(path))
      qFatal("cannot open %s", qPrintable(path));
    return path;
  }

  QTemporaryDir dir;
  int files = 0;
};

CORVANTA_TEST_MAIN(TestBinViewArea)
#include "tst_binviewarea.moc"
