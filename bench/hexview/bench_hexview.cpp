// Paint cost of the hex view on a 4 GiB sparse file: median time to paint one
// full screen at several scroll positions, and what each screen reads from disk.
// Targets: under 2 ms per screen, no screen reading more than one 64 KiB chunk.

#include "BinViewArea.h"
#include "BinViewFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr qint64 file_size = qint64(4) << 30;
constexpr int area_height = 1000;

struct Figures {
  std::vector<double> milliseconds;
  std::vector<qint64> bytes_read;
  qint64 largest_read = 0;
};

bool createSparseFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || !file.resize(file_size))
    return false;
  // A few marks so that not every screen is zeros.
  const QByteArray mark("Corvanta hex view benchmark \x01\x7F\x80\xFF", 32);
  for (qint64 offset : {qint64(0), qint64(4096), file_size / 3, file_size / 2, file_size - 1000, file_size - 32}) {
    if (!file.seek(offset) || file.write(mark) != mark.size())
      return false;
  }
  return true;
}

QPalette viewerPalette() {
  QPalette palette;
  palette.setColor(QPalette::Base, QColor(230, 230, 230));
  palette.setColor(QPalette::Text, QColor(0, 0, 0));
  palette.setColor(QPalette::Highlight, QColor(130, 130, 130));
  palette.setColor(QPalette::HighlightedText, QColor(240, 240, 240));
  return palette;
}

// Paints one full screen into an image, as the window system would, and notes
// its time and its disk reads.
void paintScreen(BinViewArea& area, QImage& target, Figures& figures) {
  const BinViewFile::ReadStatistics before = area.binViewFile().readStatistics();
  QElapsedTimer timer;
  timer.start();
  area.viewport()->render(&target);
  figures.milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
  const BinViewFile::ReadStatistics& after = area.binViewFile().readStatistics();
  figures.bytes_read.push_back(after.bytes_read - before.bytes_read);
  figures.largest_read = std::max(figures.largest_read, after.largest_read);
}

template <typename T>
T percentile(std::vector<T> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, size_t(fraction * double(values.size())))];
}

void report(const char* name, const Figures& figures) {
  double total = 0;
  for (qint64 bytes : figures.bytes_read)
    total += double(bytes);
  std::printf("  %-34s %5zu screens  median %6.3f ms  p95 %6.3f ms  max %6.3f ms"
              "  read/screen mean %8.0f B max %6lld B  largest read %lld B\n",
              name, figures.milliseconds.size(), percentile(figures.milliseconds, 0.5),
              percentile(figures.milliseconds, 0.95), percentile(figures.milliseconds, 1.0),
              total / double(figures.bytes_read.size()), percentile(figures.bytes_read, 1.0),
              figures.largest_read);
}

void run(BinViewArea& area, int bytes_per_line) {
  area.setBytesPerLine(bytes_per_line);
  area.resize(area.width(), area_height);
  QApplication::processEvents();
  QImage target(area.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  QScrollBar* bar = area.verticalScrollBar();
  const int visible = area.visibleLines();
  const int last = bar->maximum();
  std::printf("%d bytes per line: area %d x %d px, %d lines on screen, %lld lines, cell %d x %d px\n",
              bytes_per_line, area.width(), area.height(), visible, area.lineCount(), area.cellWidth(),
              area.cellHeight());

  auto measure = [&](const char* name, int screens, const std::function<int(int)>& position) {
    Figures figures;
    for (int i = 0; i < screens; ++i) {
      bar->setValue(position(i));
      paintScreen(area, target, figures);
    }
    report(name, figures);
  };

  QRandomGenerator random(20261205);
  const int middle = last / 2;
  measure("jump to start, then repaint", 200, [](int) { return 0; });
  measure("jump to middle, then repaint", 200, [&](int) { return middle; });
  measure("jump to end, then repaint", 200, [&](int) { return last; });
  measure("random jumps", 500, [&](int) { return int(random.bounded(last + 1)); });
  measure("line by line from middle", 500, [&](int i) { return middle + i; });
  measure("line by line back from end", 500, [&](int i) { return last - i; });
  measure("page by page from start", 500, [&](int i) { return i * visible; });
  measure("page by page back from end", 500, [&](int i) { return last - i * visible; });
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setPalette(viewerPalette());

  QTemporaryDir dir;
  const QString path = dir.filePath("sparse-4GiB.bin");
  if (!dir.isValid() || !createSparseFile(path)) {
    std::fprintf(stderr, "cannot create a 4 GiB sparse file in %s\n", qPrintable(dir.path()));
    return 1;
  }

  BinViewArea area;
  area.resize(900, area_height);
  area.show();
  if (!area.openFile(path)) {
    std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
    return 1;
  }
  std::printf("4 GiB sparse file, font %.1f pt; each figure is one full screen painted into an image\n",
              area.fontSize());
  // Line widths to measure may be given on the command line; 16, 32 and 4 by default.
  QList<int> widths;
  for (const QString& argument : QApplication::arguments().mid(1))
    widths.append(argument.toInt());
  if (widths.isEmpty())
    widths = {16, 32, 4};
  for (int bytes_per_line : widths)
    run(area, bytes_per_line);
  return 0;
}
