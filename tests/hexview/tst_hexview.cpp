#include "BinViewArea.h"
#include "BinViewFile.h"
#include "BinViewWidget.h"
#include "TestSupport.h"
#include "settings.h"

#include <QScrollBar>

#include <climits>
#include <limits>

namespace {

const QColor base(230, 230, 230), text(0, 0, 0), highlight(130, 130, 130), highlighted_text(240, 240, 240);

// A byte pattern that does not repeat within a chunk, so a read from the wrong
// place cannot match by chance.
QByteArray patternBytes(qint64 from, qint64 count) {
  QByteArray bytes;
  for (qint64 p = from; p < from + count; ++p)
    bytes.append(char((p ^ (p >> 8) ^ (p >> 16)) & 0xFF));
  return bytes;
}

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

// Reads the rendered view back cell by cell: the character shown, found by matching
// the cell against the glyph strips, and its background by the palette colours
// ('N' base, 'S' highlight, '?' neither).
class ScreenReader {
public:
  explicit ScreenReader(BinViewArea& area)
      : w(area.cellWidth()), h(area.cellHeight()), image(area.viewport()->grab().toImage()) {
    // Blank glyphs look alike: the characters inserted last win.
    const QByteArray preferred = "0123456789ABCDEF. ";
    for (int s = 0; s < 2; ++s)
      for (int i = 0; i < 256 + preferred.size(); ++i) {
        const uchar c = i < 256 ? uchar(i) : uchar(preferred[i - 256]);
        glyphs.insert(key(cellOf(area.glyphStrip(s), c, 0)), QChar(c));
      }
  }

  QString text(int line, int cells = 49) const {
    QString result;
    for (int c = 0; c < cells; ++c)
      result += glyphs.value(key(cell(c, line)), '?');
    return result;
  }
  QString strips(int line, int cells = 49) const {
    QString result;
    for (int c = 0; c < cells; ++c) {
      const QImage shown = cell(c, line);
      const int half = w * h / 2;
      result += countPixels(shown, highlight) > half ? 'S' : countPixels(shown, base) > half ? 'N' : '?';
    }
    return result;
  }
  QImage cell(int cell, int line) const { return cellOf(image, cell, line); }

private:
  QImage cellOf(const QImage& source, int cell, int line) const {
    return source.copy(cell * w, line * h, w, h).convertToFormat(QImage::Format_RGB32);
  }
  static QByteArray key(const QImage& cell) {
    return QByteArray(reinterpret_cast<const char*>(cell.constBits()), cell.sizeInBytes());
  }

  int w, h;
  QImage image;
  QHash<QByteArray, QChar> glyphs;
};

}  // namespace

class TestHexView : public QObject {
  Q_OBJECT

private slots:
  void initTestCase() {
    QPalette palette;
    for (const auto& [role, colour] : {std::pair{QPalette::Base, base}, {QPalette::Text, text},
                                       {QPalette::Highlight, highlight}, {QPalette::HighlightedText, highlighted_text}})
      palette.setColor(role, colour);
    QApplication::setPalette(palette);
    QVERIFY(dir.isValid());
  }

  // Values as the store holds them; an invalid QVariant leaves the key absent.
  void settingsAreClamped_data() {
    QTest::addColumn<QVariant>("bytes_per_line");
    QTest::addColumn<QVariant>("font_size");
    QTest::addColumn<int>("expected_bytes_per_line");
    QTest::addColumn<double>("expected_font_size");
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    QTest::newRow("absent keys") << QVariant() << QVariant() << 8 << 10.0;
    QTest::newRow("13 and 3.5") << QVariant("13") << QVariant(3.5) << 12 << 6.0;
    QTest::newRow("2 and 25") << QVariant("2") << QVariant(25.0) << 4 << 20.0;
    QTest::newRow("64 and NaN") << QVariant("64") << QVariant(nan) << 32 << 10.0;
    QTest::newRow("-5 and text 12.5") << QVariant("-5") << QVariant("12.5") << 4 << 12.5;
    QTest::newRow("INT_MAX and infinity") << QVariant(QString::number(INT_MAX)) << QVariant(inf) << 32 << 20.0;
    QTest::newRow("non-numeric") << QVariant("abc") << QVariant("abc") << 4 << 6.0;
  }

  void settingsAreClamped() {
    QFETCH(QVariant, bytes_per_line);
    QFETCH(QVariant, font_size);
    QFETCH(int, expected_bytes_per_line);
    QFETCH(double, expected_font_size);
    const QString bytes_key = "main/hex_viewer/bytes_per_line", font_key = "main/hex_viewer/font_size";
    settings()->clear();
    if (bytes_per_line.isValid())
      settings()->setValue(bytes_key, bytes_per_line);
    if (font_size.isValid())
      settings()->setValue(font_key, font_size);
    BinViewWidget widget;
    widget.binViewArea()->setBytesPerLine(28);
    widget.binViewArea()->setFontSize(17.0);
    widget.loadSettings();
    QCOMPARE(widget.binViewArea()->bytesPerLine(), expected_bytes_per_line);
    QCOMPARE(widget.binViewArea()->fontSize(), expected_font_size);
    // Saving writes the font size only; the width belongs to the properties dialog.
    widget.saveSettings();
    QCOMPARE(settings()->value(font_key).toDouble(), expected_font_size);
    QCOMPARE(settings()->value(bytes_key), bytes_per_line);
  }

  void chunkCache_data() {
    QTest::addColumn<qint64>("file_size");
    QTest::addColumn<qint64>("prime");  // a read made first to place the chunk; -1 for none
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<int>("expected_size");  // of a read of 8 bytes
    QTest::addColumn<QString>("cache");  // first and last byte of the chunk, disk reads so far
    const qint64 big = 300000;
    QTest::newRow("hit at chunk end") << big << -1LL << 65528LL << 8 << "0-65535, 1";
    QTest::newRow("forward refill a quarter back") << big << -1LL << 65530LL << 8 << "49146-114681, 2";
    QTest::newRow("backward refill three quarters back") << big << 200000LL << 150000LL << 8 << "100848-166383, 3";
    QTest::newRow("backward refill stops at 0") << big << 200000LL << 1000LL << 8 << "0-65535, 3";
    QTest::newRow("short read at end of file") << big << -1LL << 299997LL << 3 << "283613-299999, 2";
    QTest::newRow("at end of file") << big << -1LL << big << 0 << "0-65535, 1";
    QTest::newRow("negative offset") << big << -1LL << -4LL << 0 << "0-65535, 1";
    QTest::newRow("small file, read whole at opening") << 10LL << -1LL << 8LL << 2 << "0-9, 1";
    QTest::newRow("empty file") << 0LL << -1LL << 0LL << 0 << "0--1, 1";
  }

  void chunkCache() {
    QFETCH(qint64, file_size);
    QFETCH(qint64, prime);
    QFETCH(qint64, offset);
    QFETCH(int, expected_size);
    QFETCH(QString, cache);
    BinViewFile file;
    QVERIFY(file.open(newFile(patternBytes(0, file_size))));
    if (prime >= 0)
      file.read(prime, 8);
    const QByteArray bytes = file.read(offset, 8);
    QCOMPARE(bytes, patternBytes(offset, expected_size));
    const auto cacheState = [&file] {
      return QString("%1-%2, %3").arg(file.chunkBegin()).arg(file.chunkEnd()).arg(file.readStatistics().disk_reads);
    };
    QCOMPARE(cacheState(), cache);
    QVERIFY(file.readStatistics().largest_read <= BinViewFile::max_chunk_size);
    // Once cached, the same bytes come without touching the disk again.
    QCOMPARE(file.read(offset, 8), bytes);
    QCOMPARE(cacheState(), cache);
  }

  void renderedLines_data() {
    QTest::addColumn<int>("bytes_per_line");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("8 per line") << 8 << QByteArray("0123456789") << 0
                                << " 0000000000   30 31 32 33  34 35 36 37   01234567";
    QTest::newRow("8 per line, short last line")
        << 8 << QByteArray("0123456789") << 1 << " 0000000008   38 39                      89";
    QTest::newRow("16 per line, eleventh line")
        << 16 << patternBytes(0, 256) << 10
        << " 00000000A0   A0 A1 A2 A3  A4 A5 A6 A7  A8 A9 AA AB  AC AD AE AF   ................";
    QTest::newRow("bytes without a character of their own")
        << 8 << QByteArray("\x00\x1F\x20\x7F\x80\xFF\x41\x7E", 8) << 0
        << " 0000000000   00 1F 20 7F  80 FF 41 7E   .. ...A~";
    QTest::newRow("empty file") << 8 << QByteArray() << 0 << QString();
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
    // Glyphs in the text colours: the "4" of "41" is never selected here, and the first
    // selected cell always holds the "4" of a byte.
    QVERIFY(countPixels(reader.cell(14, 0), text) > 0);
    if (line0.contains('S'))
      QVERIFY(countPixels(reader.cell(line0.indexOf('S'), 0), highlighted_text) > 0);
  }

  void closedAndMissingFilesShowOnlyTheBackground() {
    BinViewArea area;
    openArea(area, QByteArray(4000, 'x'), 8);
    QVERIFY(area.verticalScrollBar()->maximum() > 0);
    area.closeFile();
    QCOMPARE(area.verticalScrollBar()->maximum(), 0);
    QVERIFY(allPixels(area.viewport()->grab().toImage(), base));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Error \\d+: .+"));
    QVERIFY(!area.openFile(dir.filePath("missing.bin")));
    QVERIFY(allPixels(area.viewport()->grab().toImage(), base));
  }

  void setSelectionScrolls_data() {
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("update_scroll_pos");
    QTest::addColumn<qint64>("expected_top");
    // 1000 lines of 8 bytes, lines 600 to 619 on screen.
    QTest::newRow("start on the last visible line") << 619 * 8LL << 1LL << true << 600LL;
    QTest::newRow("line just below the screen, size 0") << 620 * 8LL + 3 << 0LL << true << 620LL;
    QTest::newRow("scrolling not asked for") << 100 * 8LL << 1LL << false << 600LL;
    QTest::newRow("range starting on screen") << 605 * 8LL << 100000LL << true << 600LL;
    QTest::newRow("above the screen") << 10 * 8LL + 7 << 8LL << true << 10LL;
    QTest::newRow("near the end") << 995 * 8LL << 1LL << true << 980LL;
  }

  void setSelectionScrolls() {
    QFETCH(qint64, offset);
    QFETCH(qint64, size);
    QFETCH(bool, update_scroll_pos);
    QFETCH(qint64, expected_top);
    BinViewArea area;
    // Right after opening, before any paint: the scroll range must already cover the file.
    openArea(area, patternBytes(0, 8000), 8);
    QCOMPARE(area.visibleLines(), 20);
    area.verticalScrollBar()->setValue(600);
    area.setSelection(offset, size, update_scroll_pos);
    QCOMPARE(area.topLine(), expected_top);
  }

  // The lines counted as shown come from the whole area, frame included: a line that
  // the bottom frame cuts still counts, for the last scroll position and for the
  // decision to scroll to a selection.
  void shownLinesCountTheFrame_data() {
    QTest::addColumn<int>("extra_pixels");  // the area's height beyond 20 lines; negative: short of 21
    QTest::addColumn<bool>("frame_cuts_a_line");
    QTest::newRow("20 lines and a pixel") << 1 << true;
    QTest::newRow("exactly 20 lines") << 0 << true;
    QTest::newRow("a pixel short of 21 lines") << -1 << false;
  }
  void shownLinesCountTheFrame() {
    QFETCH(int, extra_pixels);
    QFETCH(bool, frame_cuts_a_line);
    BinViewArea area;
    openArea(area, patternBytes(0, 8000), 8);  // 1000 lines
    QVERIFY(area.frameWidth() > 0);
    const int h = area.cellHeight();
    const int height = extra_pixels < 0 ? 21 * h + extra_pixels : 20 * h + extra_pixels;
    area.resize(area.width(), height);
    QCOMPARE(area.height(), height);
    const int shown = height / h;
    QCOMPARE(area.contentsRect().height() / h < shown, frame_cuts_a_line);
    area.viewport()->grab();
    QScrollBar* bar = area.verticalScrollBar();
    QCOMPARE(bar->maximum(), 1000 - shown);
    QCOMPARE(bar->pageStep(), shown);
    bar->setValue(600);
    area.setSelection((600 + shown - 1) * 8LL, 1, true);  // the bottom line counted as shown
    QCOMPARE(area.topLine(), 600);
    area.setSelection((600 + shown) * 8LL, 1, true);  // the next one is not
    QCOMPARE(area.topLine(), qint64(600 + shown));
  }

  void relayoutKeepsTheTopLineAndScrollingHitsTheCache() {
    BinViewArea area;
    openArea(area, patternBytes(0, 300000), 8);
    area.verticalScrollBar()->setValue(37000);
    area.setBytesPerLine(32);  // 9375 lines: the top line is clamped to the new end
    QCOMPARE(area.topLine(), 9375 - area.visibleLines());
    area.setBytesPerLine(16);
    area.setSelection(200000, 1, true);
    area.setFontSize(16.0);
    QCOMPARE(area.topLine(), 12500);
    area.viewport()->grab();
    const qint64 reads = area.binViewFile().readStatistics().disk_reads;
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
    QCOMPARE(BinViewArea::linesPerScrollStep(qint64(INT_MAX) + 1), 2);
    QCOMPARE(BinViewArea::offsetText(0x123456789ABLL), QByteArray("123456789AB"));
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
    area.setSelection(size - 4 * 1001, 4, true);
    QCOMPARE(ScreenReader(area).text(0, 11), QString(" 023FFFF05C"));
    area.verticalScrollBar()->setValue(area.verticalScrollBar()->maximum());
    QCOMPARE(ScreenReader(area).text(19, 11), QString(" 023FFFFFFC"));
  }

private:
  QString newFile(const QByteArray& content) {
    const QString path = dir.filePath(QString("file%1.bin").arg(++files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
      qFatal("cannot write %s", qPrintable(path));
    return path;
  }

  // Opens a new file with the given bytes in an area with room for 20 lines.
  QString openArea(BinViewArea& area, const QByteArray& content, int bytes_per_line) {
    const QString path = newFile(content);
    area.setBytesPerLine(bytes_per_line);
    area.resize(area.width(), 20 * area.cellHeight() + area.cellHeight() / 2);
    if (!area.openFile(path))
      qFatal("cannot open %s", qPrintable(path));
    return path;
  }

  QTemporaryDir dir;
  int files = 0;
};

CORVANTA_TEST_MAIN(TestHexView)
#include "tst_hexview.moc"
