#pragma once

#include "AbstractDialog.h"

class BinViewWidget;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class SqlTreeWidget;

// Font sizes of the hex viewer and the tree, and the hex viewer's bytes per line.
// Every edit shows in the views at once; Apply keeps and stores the values, any
// other way out (Cancel, Escape, the close button) puts back what has changed.
class PropertiesDialog : public AbstractDialog {
  Q_OBJECT

 public:
  PropertiesDialog(BinViewWidget* bin_view_widget, SqlTreeWidget* tree_widget, QWidget* parent = nullptr,
                   Qt::WindowFlags flags = Qt::WindowFlags());

 public slots:
  void accept() override;
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 protected slots:
  void setBytePerLine(const QString& text);
  void setFontSize(double size);

 private:
  QWidget* createHexViewerGroup();
  QWidget* createTreeViewerGroup();
  QWidget* createButtonRow();
  void showOldValues();
  void connectEditors();
  void applySavedValues();

  BinViewWidget* bin_view_widget;
  SqlTreeWidget* tree_widget;
  QComboBox* bytes_per_line_box;
  QDoubleSpinBox* tree_font_size_box;
  QDoubleSpinBox* hex_font_size_box;
  QPushButton* apply_button = nullptr;
  QPushButton* cancel_button = nullptr;
  int old_bytes_per_line;
  double old_tree_font_size;
  double old_hex_font_size;
};
