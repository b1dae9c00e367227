#include "SqlTree.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QWheelEvent>

#include <limits>

#include "BitsText.h"
#include "SqlTreeHeader.h"

namespace {

const QString kGarbageName = QStringLiteral("d771bd4e-a2e6-46e3-ad1c-1aafa1b60c87");

// Keeps the view from moving sideways while rows are rebuilt or made current.
class HorizontalPositionKeeper {
 public:
  explicit HorizontalPositionKeeper(QScrollBar* bar) : bar(bar), value(bar->value()) {}
  ~HorizontalPositionKeeper() {
    if (!bar->isHidden())
      bar->setValue(value);
  }
  HorizontalPositionKeeper(const HorizontalPositionKeeper&) = delete;
  HorizontalPositionKeeper& operator=(const HorizontalPositionKeeper&) = delete;

 private:
  QScrollBar* bar;
  int value;
};

}  // namespace

SqlTree::SqlTree(ViewerDatabase* database, QScrollBar* scroll_bar, QWidget* parent)
    : QTreeWidget(parent), scroll_bar(scroll_bar), database(database) {
  ViewerDatabase::registerElementMetaType();
  indentation = 20;
  current_id = 1;
  setHeader(new SqlTreeHeader(Qt::Horizontal, this));
  setIndentation(indentation);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setAlternatingRowColors(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The page always fits the viewport; the view must never scroll inside it on its own.
  setAutoScroll(false);
  // Every row is one text line high (the size hint of column 0). Saying so spares the
  // layout of each new page from measuring every cell's text.
  setUniformRowHeights(true);

  QFont tree_font(QStringLiteral("Monospace"));
  // Every text the tree shows is printable ASCII, which needs no shaping; skipping it
  // makes painting a fresh page about twice as fast.
  tree_font.setStyleHint(QFont::TypeWriter,
                         QFont::StyleStrategy(QFont::PreferDefault | QFont::PreferNoShaping));
  tree_font.setPointSize(10);
  setFont(tree_font);
}

SqlTree::~SqlTree() = default;

int SqlTree::rowHeight() const {
  return QFontMetrics(font()).height() + 4;
}

ViewerDatabase::Element SqlTree::elementOf(const QModelIndex& index) {
  if (!index.isValid())
    return ViewerDatabase::Element(-1, -1, -1);
  return index.sibling(index.row(), 0).data(Qt::UserRole).value<ViewerDatabase::Element>();
}

QTreeWidgetItem* SqlTree::makeItem(const ViewerDatabase::Element& element) const {
  auto* item = new QTreeWidgetItem(QTreeWidgetItem::Type);
  const bool garbage = element.name == kGarbageName;
  item->setText(0, garbage ? tr("GARBAGE") : element.name);
  item->setText(1, corvanta::bitsText(element.offset));
  item->setText(2, corvanta::bitsText(element.size));
  item->setText(3, element.raw_value);
  item->setData(0, Qt::UserRole, QVariant::fromValue(element));
  const int side = rowHeight();
  item->setSizeHint(0, QSize(side, side));
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  if (garbage) {
    item->setForeground(0, QColor(Qt::darkRed));
    // Only the weight is set, so the painted font is the view's font in bold.
    QFont bold;
    bold.setWeight(QFont::Bold);
    item->setFont(0, bold);
  }
  return item;
}

void SqlTree::fillTree(qint64 requested_first_id, int page_rows, bool update_hex_scroll_pos) {
  page_rows = qMax(page_rows, 0);
  QModelIndex current_index;
  {
    HorizontalPositionKeeper keeper(horizontalScrollBar());
    clear();

    qint64 first = requested_first_id;
    const qint64 bottom_first = database->moveBy(database->lastId(), -page_rows);
    if (bottom_first > 0 && bottom_first < first)
      first = bottom_first;

    QList<ViewerDatabase::Element> elements;
    database->fetchRows(first, page_rows, elements);

    QList<QTreeWidgetItem*> items;
    items.reserve(elements.size());
    for (const ViewerDatabase::Element& element : elements)
      items.append(makeItem(element));
    addTopLevelItems(items);

    for (int row = 0; row < items.size(); ++row) {
      const ViewerDatabase::Element& element = elements.at(row);
      if (element.id == current_id) {
        current_index = indexFromItem(items.at(row), 0);
        setCurrentIndex(current_index);
      }
      if (element.is_open)
        items.at(row)->setExpanded(true);
    }

    rows = page_rows;
    first_id = first;
    // The row of the first id itself: -1 when it is hidden, and the page then starts
    // at the next visible element, whose colours count from -1.
    first_row = database->rowOf(first);
  }
  if (current_index.isValid())
    emit clicked(current_index, update_hex_scroll_pos);
  // Paint the new page before returning. The rows' layout is otherwise left to the
  // paint event, which then finds the viewport clean and paints the page only on a
  // later turn of the event loop. Frame and header did not change.
  executeDelayedItemsLayout();
  viewport()->repaint();
}

void SqlTree::updateScrollBar() {
  const QSignalBlocker blocker(scroll_bar);
  scroll_bar->setRange(0, qMax(database->visibleCount() - rows - 1, 0));
  scroll_bar->setPageStep(rows);
  scroll_bar->setEnabled(scroll_bar->minimum() != scroll_bar->maximum());
}

bool SqlTree::isCurrentInView() const {
  const int count = topLevelItemCount();
  const ViewerDatabase::Element first = elementOf(model()->index(0, 0));
  const ViewerDatabase::Element last = elementOf(model()->index(count - 1, 0));
  return first.id <= current_id && current_id <= last.id;
}

qint64 SqlTree::idFromLineEdit(qint64 fallback) const {
  auto* edit = qobject_cast<QLineEdit*>(sender());
  if (!edit)
    return fallback;
  static const QRegularExpression non_digits(QStringLiteral("[^0-9]"));
  QString text = edit->text();
  text.remove(non_digits);
  edit->setText(text);
  if (text.isEmpty())
    return 0;
  bool ok = false;
  const qint64 id = text.toLongLong(&ok);
  // Digits too many for a 64-bit id still mean "far down": the end of the tree.
  return ok ? id : std::numeric_limits<qint64>::max();
}

void SqlTree::goToId(qint64 id, bool force_open, bool update_hex_scroll_pos) {
  id = idFromLineEdit(id);
  const qint64 last_id = database->lastId();
  if (id > last_id)
    id = last_id;
  if (id < 1) {
    if (last_id < 1) {
      // Nothing to go to: show the (empty) database as it is.
      updateScrollBar();
      fillTree(1, rows, update_hex_scroll_pos);
      return;
    }
    // No element has an id below 1; the nearest one is the first.
    id = 1;
  }

  if (force_open)
    database->openPath(id);
  updateScrollBar();
  current_id = id;
  first_id = id;
  {
    const QSignalBlocker blocker(scroll_bar);
    scroll_bar->setValue(database->rowOf(id));
  }
  fillTree(id, rows, update_hex_scroll_pos);
}

// ---------------------------------------------------------------------------
// Painting

bool SqlTree::isAlternateRow(int page_row) const {
  return ((first_row + page_row) & 1) == 0;
}

void SqlTree::paintEvent(QPaintEvent* event) {
  QTreeWidget::paintEvent(event);
}

void SqlTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index) const {
  const ViewerDatabase::Element element = elementOf(index);
  const bool row_selected = selectionModel() && selectionModel()->isSelected(index.sibling(index.row(), 0));
  const bool reverse = isRightToLeft();
  const QModelIndex current = currentIndex();
  const bool show_focus = hasFocus() && current.isValid() && current.row() == index.row();

  QStyleOptionViewItem row_option = option;
  row_option.state &= ~QStyle::State_MouseOver;
  if (isAlternateRow(index.row()))
    row_option.features |= QStyleOptionViewItem::Alternate;
  else
    row_option.features &= ~QStyleOptionViewItem::Alternate;

  const QHeaderView* columns = header();
  const int top = option.rect.y();
  const int height = option.rect.height();
  int last_visual = -1;
  int first_visual = -1;
  for (int visual = 0; visual < columns->count(); ++visual) {
    if (columns->isSectionHidden(columns->logicalIndex(visual)))
      continue;
    if (first_visual < 0)
      first_visual = visual;
    last_visual = visual;
  }

  for (int visual = 0; visual < columns->count(); ++visual) {
    const int logical = columns->logicalIndex(visual);
    if (columns->isSectionHidden(logical))
      continue;
    const int position = columns->sectionViewportPosition(logical);
    const int width = columns->sectionSize(logical);
    if (width <= 0 || position + width < 0 || position > viewport()->width())
      continue;

    const QModelIndex cell = index.sibling(index.row(), logical);
    QStyleOptionViewItem cell_option = row_option;
    cell_option.rect = QRect(position, top, width, height);
    if (first_visual == last_visual)
      cell_option.viewItemPosition = QStyleOptionViewItem::OnlyOne;
    else if (visual == first_visual)
      cell_option.viewItemPosition = QStyleOptionViewItem::Beginning;
    else if (visual == last_visual)
      cell_option.viewItemPosition = QStyleOptionViewItem::End;
    else
      cell_option.viewItemPosition = QStyleOptionViewItem::Middle;
    if (row_selected)
      cell_option.state |= QStyle::State_Selected;
    else
      cell_option.state &= ~QStyle::State_Selected;
    if (cell.flags() & Qt::ItemIsEnabled) {
      cell_option.state |= QStyle::State_Enabled;
      cell_option.palette.setCurrentColorGroup((cell_option.state & QStyle::State_Active) ? QPalette::Normal
                                                                                           : QPalette::Inactive);
    } else {
      cell_option.state &= ~QStyle::State_Enabled;
      cell_option.palette.setCurrentColorGroup(QPalette::Disabled);
    }
    if (show_focus && !allColumnsShowFocus() && cell == current)
      cell_option.state |= QStyle::State_HasFocus;
    else
      cell_option.state &= ~QStyle::State_HasFocus;

    QStyleOptionViewItem unselected = cell_option;
    unselected.state &= ~QStyle::State_Selected;

    if (logical == 0) {
      const int branch_width = indentation * (element.level + 1);
      const QRect cell_rect = cell_option.rect;
      const QRect branch_rect(reverse ? position + width - branch_width : position, top, branch_width, height);
      painter->save();
      painter->setClipRect(cell_rect, Qt::IntersectClip);
      QStyleOptionViewItem branch_option = cell_option;
      branch_option.rect = branch_rect.intersected(cell_rect);
      style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &branch_option, painter, this);
      drawBranches(painter, branch_rect, index);
      painter->restore();

      const int text_width = width - branch_width;
      if (text_width <= 0)
        continue;
      cell_option.rect = QRect(reverse ? position : position + branch_width, top, text_width, height);
      unselected.rect = cell_option.rect;
    }
    style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &unselected, painter, this);
    if (!drawPlainCell(painter, cell_option, cell))
      itemDelegateForIndex(cell)->paint(painter, cell_option, cell);
  }

  if (show_focus && allColumnsShowFocus()) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(row_option);
    focus.state |= QStyle::State_KeyboardFocusChange;
    focus.backgroundColor = row_option.palette.color(row_selected ? QPalette::Highlight : QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, this);
  }
}

// Paints a cell exactly as the standard delegate and the style's item painting would,
// with one text layout instead of their three (one to size the text, one to elide it,
// one to draw it), which made up most of the cost of showing a page. Only the common
// case is done here: an unselected cell without focus, showing one line of text with
// no icon or check box. Everything else goes through the delegate; false says so.
bool SqlTree::drawPlainCell(QPainter* painter, const QStyleOptionViewItem& cell_option,
                            const QModelIndex& cell) const {
  if ((cell_option.state & (QStyle::State_Selected | QStyle::State_HasFocus)) ||
      (cell_option.features & QStyleOptionViewItem::WrapText))
    return false;
  const QAbstractItemDelegate* delegate = itemDelegateForIndex(cell);
  if (!delegate || delegate->metaObject() != &QStyledItemDelegate::staticMetaObject)
    return false;
  if (cell.data(Qt::CheckStateRole).isValid() || cell.data(Qt::DecorationRole).isValid())
    return false;
  // The delegate turns a newline into a line break, and U+009C separates variants of
  // a text for eliding; both are left to it.
  const QString text = cell.data(Qt::DisplayRole).toString();
  if (text.isEmpty() || text.contains(QLatin1Char('\n')) || text.contains(QChar(0x9c)))
    return false;

  // The option as the delegate completes it from the item.
  QStyleOptionViewItem option = cell_option;
  const QVariant font = cell.data(Qt::FontRole);
  if (font.isValid())
    option.font = qvariant_cast<QFont>(font).resolve(option.font);
  const QVariant alignment = cell.data(Qt::TextAlignmentRole);
  if (alignment.isValid())
    option.displayAlignment = Qt::Alignment(alignment.toInt());
  const QVariant foreground = cell.data(Qt::ForegroundRole);
  if (foreground.canConvert<QBrush>())
    option.palette.setBrush(QPalette::Text, qvariant_cast<QBrush>(foreground));
  option.backgroundBrush = qvariant_cast<QBrush>(cell.data(Qt::BackgroundRole));
  option.features |= QStyleOptionViewItem::HasDisplay;
  option.text = text;

  // One line, laid out as the style lays out item text.
  const QWidget* widget = option.widget ? option.widget : this;
  QStyle* cell_style = widget->style();
  const int margin = cell_style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
  const QRect text_rect = option.rect.adjusted(margin, 0, -margin, 0);
  QTextOption text_option;
  text_option.setWrapMode(QTextOption::ManualWrap);
  text_option.setTextDirection(option.direction);
  text_option.setAlignment(QStyle::visualAlignment(option.direction, option.displayAlignment));
  QTextLayout layout(text, option.font);
  layout.setTextOption(text_option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLineWidth(text_rect.width());
  line.setPosition(QPointF(0, 0));
  const bool single_line = !layout.createLine().isValid();
  layout.endLayout();
  const bool elide = line.naturalTextWidth() > text_rect.width();
  if (!single_line || (elide && option.textElideMode == Qt::ElideNone))
    return false;
  const QRect layout_rect = QStyle::alignedRect(Qt::LayoutDirectionAuto, option.displayAlignment,
                                                layout.boundingRect().size().toSize(), text_rect);
  const QPointF position(text_rect.x(), layout_rect.top());

  painter->save();
  if (painter->hasClipping())
    painter->setClipRect(option.rect, Qt::IntersectClip);
  else
    painter->setClipRect(option.rect);
  cell_style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, widget);
  QPalette::ColorGroup group = (option.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
  if (group == QPalette::Normal && !(option.state & QStyle::State_Active))
    group = QPalette::Inactive;
  painter->setPen(option.palette.color(group, QPalette::Text));
  if (elide) {
    const QString elided = QFontMetrics(option.font).elidedText(text, option.textElideMode, text_rect.width());
    QTextLayout elided_layout(elided, option.font);
    elided_layout.setTextOption(text_option);
    elided_layout.beginLayout();
    QTextLine elided_line = elided_layout.createLine();
    elided_line.setLineWidth(text_rect.width());
    elided_line.setPosition(QPointF(0, 0));
    elided_layout.endLayout();
    elided_layout.draw(painter, position);
  } else {
    layout.draw(painter, position);
  }
  painter->restore();
  return true;
}

void SqlTree::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
  const ViewerDatabase::Element element = elementOf(index);
  const bool reverse = isRightToLeft();

  QStyleOptionViewItem option;
  initViewItemOption(&option);
  QStyle::State base_state = QStyle::State_None;
  if (isEnabled())
    base_state |= QStyle::State_Enabled;
  if (window()->isActiveWindow())
    base_state |= QStyle::State_Active;
  if (selectionModel() && selectionModel()->isSelected(index.sibling(index.row(), 0)))
    base_state |= QStyle::State_Selected;
  if (isAlternateRow(index.row()))
    option.features |= QStyleOptionViewItem::Alternate;
  else
    option.features &= ~QStyleOptionViewItem::Alternate;

  const QPoint old_brush_origin = painter->brushOrigin();
  if (verticalScrollMode() == QAbstractItemView::ScrollPerPixel)
    painter->setBrushOrigin(QPoint(0, verticalOffset()));

  const int outermost_level = rootIsDecorated() ? 0 : 1;
  const int step = reverse ? indentation : -indentation;
  int x = reverse ? rect.left() : rect.right() + 1 - indentation;
  if (element.level >= outermost_level) {
    option.rect = QRect(x, rect.top(), indentation, rect.height());
    option.state = base_state | QStyle::State_Item;
    if (!element.is_last)
      option.state |= QStyle::State_Sibling;
    if (element.has_children)
      option.state |= QStyle::State_Children;
    if (isExpanded(index.sibling(index.row(), 0)))
      option.state |= QStyle::State_Open;
    style()->drawPrimitive(QStyle::PE_IndicatorBranch, &option, painter, this);
  }
  // Every ancestor level gets a vertical line: the row knows no more about its ancestors.
  for (int level = element.level - 1; level >= outermost_level; --level) {
    x += step;
    option.rect = QRect(x, rect.top(), indentation, rect.height());
    option.state = base_state | QStyle::State_Sibling;
    style()->drawPrimitive(QStyle::PE_IndicatorBranch, &option, painter, this);
  }

  painter->setBrushOrigin(old_brush_origin);
}

// ---------------------------------------------------------------------------
// Input

void SqlTree::makeCurrent(const QModelIndex& index) {
  HorizontalPositionKeeper keeper(horizontalScrollBar());
  setCurrentIndex(index);
}

void SqlTree::makeRowCurrent(int page_row) {
  const QModelIndex index = model()->index(page_row, 0);
  if (!index.isValid())
    return;
  makeCurrent(index);
  current_id = elementOf(index).id;
  emit clicked(index, true);
}

void SqlTree::setScrollValue(int value) {
  scroll_bar->setValue(value);
}

void SqlTree::refillFromFirst() {
  fillTree(first_id, rows, true);
}

void SqlTree::toggle(const ViewerDatabase::Element& element) {
  if (element.is_open)
    database->closeElement(element.id);
  else
    database->openElement(element.id);
  updateScrollBar();
  refillFromFirst();
}

void SqlTree::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  QModelIndex index = indexAt(pos);
  if (!index.isValid()) {
    emit clicked(QModelIndex(), true);
    return;
  }
  index = index.sibling(index.row(), 0);
  const ViewerDatabase::Element element = elementOf(index);
  const int zone_left = indentation * element.level;
  const int zone_right = zone_left + visualRect(index).left();
  const bool in_marker_zone = pos.x() > zone_left && pos.x() < zone_right;

  makeCurrent(index);
  current_id = element.id;

  if (event->type() == QEvent::MouseButtonDblClick && element.has_children)
    toggle(element);
  if (in_marker_zone) {
    if (!element.has_children)
      return;
    // Judged by the state before any toggle above, so a double click on the
    // marker is refused here and the element toggles once per event.
    toggle(element);
  }
  // A toggle rebuilt the rows: the element's new row is the current one.
  emit clicked(currentIndex(), true);
}

void SqlTree::mouseMoveEvent(QMouseEvent* event) {
  // Only a drag selects; a pointer merely passing over the rows changes nothing.
  if (event->buttons() == Qt::NoButton)
    return;
  QModelIndex index = indexAt(event->position().toPoint());
  if (!index.isValid()) {
    const QModelIndexList selected = selectionModel()->selectedRows(0);
    if (selected.isEmpty())
      return;
    index = selected.first();
  }
  index = index.sibling(index.row(), 0);
  const ViewerDatabase::Element element = elementOf(index);
  if (element.id == current_id)
    return;
  current_id = element.id;

  const int page_row = index.row();
  if (page_row == 0 || page_row == topLevelItemCount() - 1) {
    const QSignalBlocker blocker(this);
    setScrollValue(scroll_bar->value() + (page_row == 0 ? -1 : 1));
  }
  // After a scroll this row holds the neighbouring element, which becomes current.
  makeRowCurrent(page_row);
}

void SqlTree::wheelEvent(QWheelEvent* event) {
  event->accept();
  const QPoint angle = event->angleDelta();
  const int delta = angle.y() != 0 ? angle.y() : angle.x();
  if (delta == 0)
    return;
  const int step = 3 * scroll_bar->singleStep();
  const QSignalBlocker blocker(this);
  setScrollValue(scroll_bar->value() + (delta < 0 ? step : -step));
}

void SqlTree::keyPressEvent(QKeyEvent* event) {
  event->accept();
  if (!isCurrentInView()) {
    setScrollValue(database->rowOf(current_id));
    return;
  }
  const QModelIndex current = currentIndex();
  switch (event->key()) {
    case Qt::Key_Up:
      keyUp();
      break;
    case Qt::Key_Down:
      keyDown();
      break;
    case Qt::Key_Left:
      if (current.isValid() || selectHoldingRow())
        keyLeft(elementOf(currentIndex()));
      break;
    case Qt::Key_Right:
      if (current.isValid() || selectHoldingRow())
        keyRight(elementOf(currentIndex()));
      break;
    case Qt::Key_PageUp:
      keyPageUp();
      break;
    case Qt::Key_PageDown:
      keyPageDown();
      break;
    case Qt::Key_Home:
      keyHome(event->modifiers());
      break;
    case Qt::Key_End:
      keyEnd(event->modifiers());
      break;
    default:
      break;
  }
}

void SqlTree::keyUp() {
  const QModelIndex current = currentIndex();
  if (current.isValid() && current.row() == 0)
    setScrollValue(scroll_bar->value() - 1);
  const QModelIndex moved = currentIndex();
  if (moved.isValid())
    makeRowCurrent(moved.row() - 1);
}

void SqlTree::keyDown() {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) {
    makeRowCurrent(0);
    return;
  }
  if (current.row() == topLevelItemCount() - 1)
    setScrollValue(scroll_bar->value() + 1);
  const QModelIndex moved = currentIndex();
  if (moved.isValid())
    makeRowCurrent(moved.row() + 1);
}

void SqlTree::keyLeft(const ViewerDatabase::Element& element) {
  if (element.has_children && element.is_open) {
    current_id = element.id;
    database->closeElement(element.id);
    updateScrollBar();
    refillFromFirst();
  } else if (element.parent_id != 0) {
    current_id = element.parent_id;
    refillFromFirst();
  }
}

void SqlTree::keyRight(const ViewerDatabase::Element& element) {
  if (!element.has_children)
    return;
  if (!element.is_open) {
    current_id = element.id;
    database->openElement(element.id);
    updateScrollBar();
  } else {
    current_id = element.id + 1;  // the first child, by the pre-order numbering
  }
  refillFromFirst();
}

// The current element lies within the page but inside a closed element: the row of
// that closed element (its nearest visible ancestor, the last row not after it)
// becomes current, and Left or Right then acts on it. False when there is no such row.
bool SqlTree::selectHoldingRow() {
  int holder = -1;
  for (int row = 0; row < topLevelItemCount(); ++row) {
    if (elementOf(model()->index(row, 0)).id > current_id)
      break;
    holder = row;
  }
  if (holder < 0)
    return false;
  makeRowCurrent(holder);
  return true;
}

void SqlTree::keyPageUp() {
  setScrollValue(scroll_bar->value() - scroll_bar->pageStep());
  makeRowCurrent(0);
}

void SqlTree::keyPageDown() {
  setScrollValue(scroll_bar->value() + scroll_bar->pageStep());
  makeRowCurrent(topLevelItemCount() - 1);
}

void SqlTree::keyHome(Qt::KeyboardModifiers modifiers) {
  if (modifiers == Qt::ControlModifier)
    setScrollValue(scroll_bar->minimum());
  makeRowCurrent(0);
}

void SqlTree::keyEnd(Qt::KeyboardModifiers modifiers) {
  if (modifiers == Qt::ControlModifier)
    setScrollValue(scroll_bar->maximum());
  makeRowCurrent(topLevelItemCount() - 1);
}
