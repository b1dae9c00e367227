#pragma once

#include <QHeaderView>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QStandardItemModel;

// Column header of the element tree: four fixed columns (name, offset, size,
// raw_value) that can be reordered and hidden, except the name column, which always
// stays first and visible. The arrangement is saved as one "key;width;position;hidden"
// text per column.
//
// The labels, keys and remembered widths live in a model of the header's own, so
// the header does not depend on the tree's item model.
class SqlTreeHeader : public QHeaderView {
  Q_OBJECT

 public:
  // `parent` must be the QTreeWidget this header is installed on.
  SqlTreeHeader(Qt::Orientation orientation, QWidget* parent);
  ~SqlTreeHeader() override;

  // One "key;width;visual index;hidden" entry per column, in logical order. A hidden
  // column reports the width it had before it was hidden.
  QStringList columnsState() const;
  // Applies entries made by columnsState(). Malformed entries and unknown keys are
  // ignored; the name column can be neither moved nor hidden; this only hides, never shows.
  void restoreColumns(const QStringList& entries);

 protected Q_SLOTS:
  void checkSectionMove(int logical_index, int old_visual_index, int new_visual_index);
  // Connected to the context menu's actions: true shows the action's column, false hides it.
  void hideSectionSlot(bool hide);
  void setDefaultColumnSizes();

 protected:
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void initColumns();
  QVariant savedWidth(int logical_index) const;
  void setSavedWidth(int logical_index, const QVariant& width);
  QString columnKey(int logical_index) const;

  QList<QPair<QString, QString>> columns;  // (key, title) in logical order
  bool firstShow = true;
  QStandardItemModel* header_model = nullptr;
};
