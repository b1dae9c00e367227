#pragma once

#include <QWidget>

class BinViewArea;

// The hex viewer as the main window places it: one BinViewArea, never wider than
// the area's fixed width, plus loading and saving of the viewer's settings.
class BinViewWidget : public QWidget {
  Q_OBJECT

public:
  explicit BinViewWidget(QWidget* parent = nullptr);

  BinViewArea* binViewArea() const { return bin_view_area; }
  void loadSettings();
  void saveSettings();

  // How stored values are brought into range on reading.
  static int clampBytesPerLine(int bytes_per_line);
  static double clampFontSize(double point_size);

private:
  BinViewArea* bin_view_area;
};
