#pragma once

#include <QModelIndex>
#include <QTreeWidget>

#include "ViewerDatabase.h"

class QScrollBar;
class QStyleOptionViewItem;

// The element tree view. It never holds more than one page of rows: each change of
// position, open state or size clears the items and builds one flat list of
// top-level items for the visible elements from a first element on. The tree shape
// (indentation, branch lines, markers) is painted from the element each row carries.
//
// The position in the whole tree is the value of a shared vertical scroll bar owned
// by the enclosing widget; the view scrolls only by setting that value, whose change
// refills the page synchronously.
class SqlTree : public QTreeWidget {
  Q_OBJECT

 public:
  SqlTree(ViewerDatabase* database, QScrollBar* scroll_bar, QWidget* parent = nullptr);
  ~SqlTree() override;

  // Rebuilds the page: up to rows + 1 visible elements from first_id (moved up when
  // too close to the end of the tree), making the current element's row current.
  void fillTree(qint64 first_id, int rows, bool update_hex_scroll_pos);
  // Sets the shared scroll bar's range and page step from the number of visible rows.
  void updateScrollBar();
  // True when the current element's id lies between the first and last row's ids.
  bool isCurrentInView() const;

  qint64 currentId() const { return current_id; }
  qint64 firstId() const { return first_id; }
  int firstRow() const { return first_row; }
  int pageRows() const { return rows; }
  void setCurrentId(qint64 id) { current_id = id; }
  void setFirstId(qint64 id) { first_id = id; }

  // The element carried by the row of `index`; an empty element for an invalid index.
  static ViewerDatabase::Element elementOf(const QModelIndex& index);
  // Row height for the view's current font; what the enclosing widget divides by.
  int rowHeight() const;

 Q_SIGNALS:
  void clicked(const QModelIndex& index, bool update_hex_scroll_pos = true);

 public Q_SLOTS:
  // Makes element `id` the current row, opening its ancestors when force_open is set.
  // An id below 1 goes to the first element; an id past the end goes to the last one.
  // When the sender is a QLineEdit, the id is taken from its text (digits only).
  void goToId(qint64 id = -1, bool force_open = true, bool update_hex_scroll_pos = true);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
  void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;

 private:
  QTreeWidgetItem* makeItem(const ViewerDatabase::Element& element) const;
  bool isAlternateRow(int page_row) const;
  bool drawPlainCell(QPainter* painter, const QStyleOptionViewItem& cell_option, const QModelIndex& cell) const;
  qint64 idFromLineEdit(qint64 fallback) const;

  void makeCurrent(const QModelIndex& index);
  void makeRowCurrent(int page_row);
  void setScrollValue(int value);
  void refillFromFirst();
  void toggle(const ViewerDatabase::Element& element);

  void keyUp();
  void keyDown();
  void keyLeft(const ViewerDatabase::Element& element);
  void keyRight(const ViewerDatabase::Element& element);
  void keyPageUp();
  void keyPageDown();
  void keyHome(Qt::KeyboardModifiers modifiers);
  void keyEnd(Qt::KeyboardModifiers modifiers);
  bool selectHoldingRow();

  QScrollBar* scroll_bar;
  ViewerDatabase* database;
  int rows = 0;
  qint64 first_id = 1;
  int first_row = 0;
  qint64 current_id = 1;
  int indentation = 20;
};
