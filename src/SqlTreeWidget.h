#pragma once

#include <QModelIndex>
#include <QWidget>

class Parser;
class QScrollBar;
class SqlTree;
class ViewerDatabase;

// The element tree as the rest of the program sees it: the element database, the
// page-sized view and the vertical scroll bar that stands for the position in the
// whole tree. It works out how many rows fit, turns scroll bar values into pages,
// keeps the tree's settings and runs the analysis of a file.
class SqlTreeWidget : public QWidget {
  Q_OBJECT

 public:
  explicit SqlTreeWidget(QWidget* parent = nullptr);
  ~SqlTreeWidget() override;

  SqlTree* tree() const { return tree_view; }
  QScrollBar* scrollBar() const { return scroll_bar; }
  ViewerDatabase* viewerDatabase() const { return database; }
  // Point size of the tree's font.
  double treeFontSize() const;
  // Rows per page (P): the view shows P + 1 rows.
  int pageRows() const { return rows; }

  // Recomputes P from the viewport and the font, then refills the page.
  void updateRowCount();
  void setTreeFontSize(double point_size);
  // Shows the connected database (or nothing) from its first element.
  void resetView();
  // Releases the database and empties the view.
  void clearTree();
  void loadSettings();
  void saveSettings();

  // Analyses `file_name` on a worker thread behind a modal progress dialog and shows
  // the result. `extra` is handed to the parser unchanged. 0 on success, -1 on failure.
  int openFile(const QString& file_name, const QString& extra);

 Q_SIGNALS:
  void clicked(const QModelIndex& index, bool update_hex_scroll_pos = true);

 public Q_SLOTS:
  void scrollTree(int value);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int fittingRows() const;
  void updateRowCountIfChanged();

  SqlTree* tree_view;
  QScrollBar* scroll_bar;
  int rows = 0;
  qint64 first_id = 1;
  bool row_count_pending = false;
  Parser* parser = nullptr;
  ViewerDatabase* database;
};
