#include "SqlTreeHeader.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFont>
#include <QFontMetrics>
#include <QMap>
#include <QMenu>
#include <QSettings>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeWidget>

#include "settings.h"

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kSavedWidthRole = Qt::UserRole + 1;

}  // namespace

SqlTreeHeader::SqlTreeHeader(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent) {
  // The header keeps the application's font when the tree changes its own.
  setFont(QApplication::font());
  initColumns();
  firstShow = true;

  header_model = new QStandardItemModel(0, columns.size(), this);
  setModel(header_model);
  for (int i = 0; i < columns.size(); ++i) {
    header_model->setHeaderData(i, orientation, columns.at(i).second, Qt::DisplayRole);
    header_model->setHeaderData(i, orientation, columns.at(i).first, kKeyRole);
    // Size 0 marks "no width chosen yet" for setDefaultColumnSizes.
    resizeSection(i, 0);
  }

  if (auto* tree = qobject_cast<QTreeWidget*>(parent))
    tree->setColumnCount(columns.size());

  setSectionsMovable(true);
  connect(this, &QHeaderView::sectionMoved, this, &SqlTreeHeader::checkSectionMove);
}

SqlTreeHeader::~SqlTreeHeader() = default;

void SqlTreeHeader::initColumns() {
  columns.clear();
  columns.append({QStringLiteral("name"), tr("name")});
  columns.append({QStringLiteral("offset"), tr("offset")});
  columns.append({QStringLiteral("size"), tr("size")});
  columns.append({QStringLiteral("raw_value"), tr("raw_value")});
}

QVariant SqlTreeHeader::savedWidth(int logical_index) const {
  return header_model->headerData(logical_index, orientation(), kSavedWidthRole);
}

void SqlTreeHeader::setSavedWidth(int logical_index, const QVariant& width) {
  header_model->setHeaderData(logical_index, orientation(), width, kSavedWidthRole);
}

QString SqlTreeHeader::columnKey(int logical_index) const {
  return header_model->headerData(logical_index, orientation(), kKeyRole).toString();
}

void SqlTreeHeader::showEvent(QShowEvent* event) {
  if (firstShow) {
    firstShow = false;
    // Deferred so that the first layout has given the header its real width.
    QTimer::singleShot(0, this, &SqlTreeHeader::setDefaultColumnSizes);
  }
  QHeaderView::showEvent(event);
}

void SqlTreeHeader::setDefaultColumnSizes() {
  const double font_size = settings()->value("main/tree_viewer/font_size", 10.0).toDouble();
  QFont font(QStringLiteral("Monospace"));
  font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
  font.setPointSize(qMax(1, static_cast<int>(font_size)));
  const int u = QFontMetrics(font).horizontalAdvance(QStringLiteral("0"));
  const int w = width();

  bool any_unsized = false;
  for (int i = 0; i < count(); ++i)
    any_unsized = any_unsized || sectionSize(i) == 0;

  if (any_unsized) {
    resizeSection(1, 10 * u);
    resizeSection(2, 10 * u);
    resizeSection(3, 30 * u);
    resizeSection(0, w - 50 * u);
    if (sectionSize(0) < sectionSize(3)) {
      resizeSection(3, 10 * u);
      resizeSection(0, w - 30 * u);
    }
    if (sectionSize(0) < sectionSize(3)) {
      resizeSection(0, 10 * u);
      const int share = (w - sectionSize(0)) / 3;
      resizeSection(1, share);
      resizeSection(2, share);
      resizeSection(3, share);
    }
  }

  for (int i = 0; i < columns.size(); ++i) {
    if (sectionSize(i) == 0)
      resizeSection(i, 10 * u);
  }
}

void SqlTreeHeader::contextMenuEvent(QContextMenuEvent* event) {
  auto* menu = new QMenu(this);
  for (int i = 0; i < columns.size(); ++i) {
    QAction* action = menu->addAction(columns.at(i).second);
    action->setCheckable(true);
    action->setChecked(!isSectionHidden(i));
    action->setData(i);
    action->setEnabled(i != 0);
    connect(action, &QAction::triggered, this, &SqlTreeHeader::hideSectionSlot);
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void SqlTreeHeader::hideSectionSlot(bool hide) {
  auto* action = qobject_cast<QAction*>(sender());
  if (!action)
    return;
  const int i = action->data().toInt();
  if (i <= 0 || i >= count())
    return;
  if (hide) {
    resizeSection(i, savedWidth(i).toInt());
    setSavedWidth(i, QVariant());
  } else if (!isSectionHidden(i)) {
    setSavedWidth(i, sectionSize(i));
  }
  setSectionHidden(i, !hide);
}

void SqlTreeHeader::checkSectionMove(int logical_index, int old_visual_index, int new_visual_index) {
  if (logical_index != 0 && old_visual_index != 0 && new_visual_index != 0)
    return;
  // Moving back silently: the refused move must not look like a new one.
  const bool was_blocked = blockSignals(true);
  moveSection(new_visual_index, old_visual_index);
  blockSignals(was_blocked);
}

QStringList SqlTreeHeader::columnsState() const {
  QStringList entries;
  for (int i = 0; i < header_model->columnCount(); ++i) {
    const QVariant saved = savedWidth(i);
    const QString width_text = saved.isValid() ? saved.toString() : QString::number(sectionSize(i));
    entries.append(QStringLiteral("%1;%2;%3;%4")
                       .arg(columnKey(i), width_text, QString::number(visualIndex(i)),
                            QString::number(isSectionHidden(i) ? 1 : 0)));
  }
  return entries;
}

void SqlTreeHeader::restoreColumns(const QStringList& entries) {
  QMap<QString, QStringList> by_key;
  for (const QString& entry : entries) {
    const QStringList parts = entry.split(QLatin1Char(';'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() == 4)
      by_key.insert(parts.at(0), parts);
  }
  if (by_key.isEmpty())
    return;

  for (int i = 0; i < count(); ++i) {
    const auto found = by_key.constFind(columnKey(i));
    if (found == by_key.constEnd())
      continue;
    const QStringList& parts = found.value();
    const int width = parts.at(1).toInt();
    const int visual = parts.at(2).toInt();
    if (visualIndex(i) != visual)
      moveSection(visualIndex(i), visual);  // checkSectionMove refuses moves of the name column
    // The name column is never hidden, whatever a saved entry says.
    if (parts.at(3).toInt() != 0 && i != 0) {
      setSavedWidth(i, width);
      setSectionHidden(i, true);
    } else {
      resizeSection(i, width);
    }
  }
}
