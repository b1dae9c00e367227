#include "Style.h"

#include <QApplication>
#include <QDockWidget>
#include <QFormLayout>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolButton>

namespace {

constexpr int control_height = 28;
constexpr int corner_radius = 3;
constexpr int arrow_area_width = 16;
constexpr int arrow_size = 8;
constexpr int contents_padding = 16;
constexpr int tool_button_arrow_padding = 12;
constexpr int tool_button_minimum_width = 44;
constexpr int button_icon_size = 16;
constexpr int label_spacing = 4;

bool isHovered(const QStyleOption* option) {
  return option->state.testFlag(QStyle::State_Enabled) && option->state.testFlag(QStyle::State_MouseOver);
}

QRect rightmostStrip(const QRect& rect) {
  return QRect(rect.right() - arrow_area_width + 1, rect.top(), arrow_area_width, rect.height());
}

QRect withoutRightmostStrip(const QRect& rect) {
  return rect.adjusted(0, 0, -arrow_area_width, 0);
}

QRect squareCentredOn(const QPoint& centre) {
  QRect square(0, 0, arrow_size, arrow_size);
  square.moveCenter(centre);
  return square;
}

// The popup mode decides the tool button's geometry; without a widget the option
// still tells whether a separate menu part exists.
QToolButton::ToolButtonPopupMode popupModeOf(const QStyleOption* option, const QWidget* widget) {
  if (auto* tool_button = qobject_cast<const QToolButton*>(widget))
    return tool_button->popupMode();
  auto* tool_option = qstyleoption_cast<const QStyleOptionToolButton*>(option);
  if (tool_option && tool_option->features.testFlag(QStyleOptionToolButton::MenuButtonPopup))
    return QToolButton::MenuButtonPopup;
  return QToolButton::DelayedPopup;
}

QPalette menuPalette() {
  QPalette palette = QApplication::palette();
  palette.setBrush(QPalette::Window, QColor(110, 110, 110));
  palette.setBrush(QPalette::Disabled, QPalette::ButtonText, QColor(140, 140, 140));
  palette.setBrush(QPalette::Highlight, QColor(190, 190, 190));
  palette.setBrush(QPalette::HighlightedText, QColor(0, 0, 0));
  return palette;
}

}  // namespace

Style::Style() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void Style::polish(QPalette& palette) {
  QProxyStyle::polish(palette);
  palette.setBrush(QPalette::Window, QColor(80, 80, 80));
  palette.setBrush(QPalette::WindowText, QColor(240, 240, 240));
  palette.setBrush(QPalette::Base, QColor(230, 230, 230));
  palette.setBrush(QPalette::AlternateBase, QColor(210, 210, 210));
  palette.setBrush(QPalette::ToolTipBase, QColor(Qt::lightGray));
  palette.setBrush(QPalette::ToolTipText, QColor(0, 0, 0));
  palette.setBrush(QPalette::Text, QColor(0, 0, 0));
  palette.setBrush(QPalette::Button, QColor(80, 80, 80));
  palette.setBrush(QPalette::ButtonText, QColor(240, 240, 240));
  palette.setBrush(QPalette::Disabled, QPalette::ButtonText, QColor(110, 110, 110));
  palette.setBrush(QPalette::BrightText, QColor(240, 240, 240));
  palette.setBrush(QPalette::Light, QColor(110, 110, 110));
  palette.setBrush(QPalette::Midlight, QColor(95, 95, 95));
  palette.setBrush(QPalette::Dark, QColor(40, 40, 40));
  palette.setBrush(QPalette::Mid, QColor(60, 60, 60));
  palette.setBrush(QPalette::Shadow, QColor(0, 0, 0));
  palette.setBrush(QPalette::Highlight, QColor(130, 130, 130));
  palette.setBrush(QPalette::HighlightedText, QColor(240, 240, 240));
}

void Style::polish(QWidget* widget) {
  if (widget->inherits("QMenuBar")) {
    widget->setPalette(QApplication::palette());
  } else if (widget->inherits("QMenu")) {
    // Menus stand out from the dark window behind them.
    widget->setPalette(menuPalette());
  } else if (widget->inherits("QToolButton")) {
    widget->setPalette(QApplication::palette());
    widget->setAutoFillBackground(true);
    widget->setAttribute(Qt::WA_Hover);
  } else if (widget->inherits("QLineEdit")) {
    widget->setAttribute(Qt::WA_Hover);
  } else if (widget->inherits("QGroupBox")) {
    widget->setPalette(QApplication::palette());
  } else {
    QProxyStyle::polish(widget);
  }
}

void Style::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                          const QWidget* widget) const {
  switch (element) {
    case PE_FrameDefaultButton:
      drawDefaultButtonFrame(option, painter);
      return;
    case PE_FrameFocusRect:
      drawFocusFrame(option, painter);
      return;
    case PE_PanelButtonCommand:
      drawButtonPanel(option, painter, widget);
      return;
    case PE_PanelLineEdit:
      drawLineEditPanel(option, painter, widget);
      return;
    case PE_IndicatorBranch:
      drawTreeBranch(option, painter);
      return;
    default:
      QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
}

// The base style draws only arrows in a tree's branch cells; the element tree needs
// the lines too, to show which rows belong together when parents are off the page.
void Style::drawTreeBranch(const QStyleOption* option, QPainter* painter) const {
  const QRect cell = option->rect;
  const QPoint centre = cell.center();
  const QColor ink = option->palette.color(QPalette::Text);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);

  QPen dotted(ink, 1, Qt::DotLine);
  painter->setPen(dotted);
  if (option->state & (State_Item | State_Sibling)) {
    // A last child's line ends at its own row; a sibling's line runs on down.
    const int bottom = (option->state & State_Sibling) ? cell.bottom() : centre.y();
    painter->drawLine(centre.x(), cell.top(), centre.x(), bottom);
  }
  if (option->state & State_Item)
    painter->drawLine(centre.x(), centre.y(), cell.right(), centre.y());

  if (option->state & State_Children) {
    QRect box(0, 0, 9, 9);
    box.moveCenter(centre);
    painter->setPen(QPen(ink, 1));
    painter->setBrush(option->palette.brush(QPalette::Base));
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    painter->drawLine(box.left() + 2, centre.y(), box.right() - 2, centre.y());
    if (!(option->state & State_Open))
      painter->drawLine(centre.x(), box.top() + 2, centre.x(), box.bottom() - 2);
  }
  painter->restore();
}

void Style::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                        const QWidget* widget) const {
  switch (element) {
    case CE_PushButton:
      if (auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
        drawPushButton(button, painter, widget);
        return;
      }
      break;
    case CE_HeaderLabel:
      if (auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option)) {
        // Horizontal header labels always look plain: no pressed or hovered states.
        QStyleOptionHeader plain(*header);
        if (plain.orientation != Qt::Vertical)
          plain.state = State_Enabled;
        QProxyStyle::drawControl(element, &plain, painter, widget);
        return;
      }
      break;
    case CE_DockWidgetTitle:
      drawDockWidgetTitle(option, painter, widget);
      return;
    case CE_ComboBoxLabel:
      if (auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option)) {
        QStyleOptionComboBox sunken(*combo);
        sunken.state |= State_Sunken;
        QProxyStyle::drawControl(element, &sunken, painter, widget);
        return;
      }
      break;
    default:
      break;
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

void Style::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                               QPainter* painter, const QWidget* widget) const {
  if (control == CC_ComboBox && qstyleoption_cast<const QStyleOptionComboBox*>(option)) {
    drawComboBox(option, painter, widget);
    return;
  }
  if (control == CC_ToolButton && qobject_cast<const QToolButton*>(widget) &&
      qstyleoption_cast<const QStyleOptionToolButton*>(option)) {
    drawToolButton(option, painter, widget);
    return;
  }
  QProxyStyle::drawComplexControl(control, option, painter, widget);
}

QRect Style::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                            SubControl sub_control, const QWidget* widget) const {
  if (control == CC_ComboBox) {
    if (sub_control == SC_ComboBoxFrame)
      return withoutRightmostStrip(option->rect);
    if (sub_control == SC_ComboBoxArrow)
      return rightmostStrip(option->rect);
  }
  if (control == CC_ToolButton && qobject_cast<const QToolButton*>(widget)) {
    const bool split = popupModeOf(option, widget) == QToolButton::MenuButtonPopup;
    if (sub_control == SC_ToolButton)
      return split ? withoutRightmostStrip(option->rect) : option->rect;
    if (sub_control == SC_ToolButtonMenu)
      return split ? rightmostStrip(option->rect) : option->rect;
  }
  return QProxyStyle::subControlRect(control, option, sub_control, widget);
}

int Style::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
  if (metric == PM_ButtonIconSize)
    return button_icon_size;
  return QProxyStyle::pixelMetric(metric, option, widget);
}

QSize Style::sizeFromContents(ContentsType type, const QStyleOption* option,
                              const QSize& contents_size, const QWidget* widget) const {
  int width = contents_size.width() + contents_padding;
  int minimum_width = control_height;
  switch (type) {
    case CT_PushButton:
    case CT_LineEdit:
      break;
    case CT_ComboBox:
      width += arrow_area_width;
      break;
    case CT_ToolButton:
      if (popupModeOf(option, widget) != QToolButton::MenuButtonPopup)
        width += tool_button_arrow_padding;
      minimum_width = tool_button_minimum_width;
      break;
    default:
      return QProxyStyle::sizeFromContents(type, option, contents_size, widget);
  }
  return QSize(qMax(width, minimum_width), control_height);
}

int Style::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                     QStyleHintReturn* return_data) const {
  if (hint == SH_FormLayoutFieldGrowthPolicy)
    return QFormLayout::AllNonFixedFieldsGrow;
  if (hint == SH_FormLayoutLabelAlignment)
    return Qt::AlignLeft;
  return QProxyStyle::styleHint(hint, option, widget, return_data);
}

void Style::drawDefaultButtonFrame(const QStyleOption* option, QPainter* painter) const {
  painter->save();
  painter->setPen(option->palette.color(QPalette::Shadow));
  painter->drawRoundedRect(option->rect.adjusted(1, 1, -1, -1), corner_radius, corner_radius);
  painter->restore();
}

void Style::drawFocusFrame(const QStyleOption* option, QPainter* painter) const {
  painter->save();
  QColor colour(Qt::red);
  colour.setAlpha(128);
  QPen pen(colour, 2);
  pen.setDashPattern({1, 1});
  pen.setCapStyle(Qt::FlatCap);
  painter->setPen(pen);
  painter->setBrush(Qt::NoBrush);
  const QRect& r = option->rect;
  painter->drawRect(QRect(QPoint(r.left() + 1, r.top() + 1), QPoint(r.right() - 1, r.bottom() - 1)));
  painter->restore();
}

QPen Style::panelPen(const QStyleOption* option) const {
  if (!isHovered(option))
    return QPen(option->palette.color(QPalette::Light));
  QColor glow = option->palette.color(QPalette::Highlight);
  glow.setAlpha(64);
  return QPen(glow, 3);
}

void Style::drawButtonPanel(const QStyleOption* option, QPainter* painter, const QWidget* widget) const {
  QPalette::ColorRole fill = QPalette::Button;
  if (option->state.testFlag(State_Sunken))
    fill = QPalette::Dark;
  else if (isHovered(option))
    fill = QPalette::Light;
  QRect shape = subElementRect(SE_PushButtonContents, option, widget);
  // Callers that pass no button option get no contents rectangle: use the whole one.
  if (!shape.isValid())
    shape = option->rect;
  painter->save();
  painter->setBrush(option->palette.brush(fill));
  painter->setPen(panelPen(option));
  painter->drawRoundedRect(shape, corner_radius, corner_radius);
  painter->restore();
}

void Style::drawLineEditPanel(const QStyleOption* option, QPainter* painter, const QWidget* widget) const {
  QRect shape = subElementRect(SE_LineEditContents, option, widget);
  if (!shape.isValid())
    shape = option->rect;
  painter->save();
  painter->setBrush(option->palette.brush(QPalette::Base));
  painter->setPen(panelPen(option));
  painter->drawRoundedRect(shape, corner_radius, corner_radius);
  painter->restore();
  if (option->state.testFlag(State_HasFocus))
    drawFocusFrame(option, painter);
}

void Style::drawPushButton(const QStyleOptionButton* option, QPainter* painter, const QWidget* widget) const {
  QRect r = subElementRect(SE_PushButtonContents, option, widget);
  drawPrimitive(PE_PanelButtonCommand, option, painter, widget);

  const bool has_icon = !option->icon.isNull();
  const bool has_text = !option->text.isEmpty();
  int label_width = 0;
  if (has_icon)
    label_width += option->iconSize.width();
  if (has_text)
    label_width += option->fontMetrics.size(Qt::TextShowMnemonic, option->text).width();
  if (has_icon && has_text)
    label_width += label_spacing;
  r.setLeft(r.left() + (r.width() - label_width) / 2);
  r.setRight(r.left() + label_width - 1);

  if (has_icon) {
    const QPixmap pixmap = generatedIconPixmap(
        option->state.testFlag(State_Enabled) ? QIcon::Normal : QIcon::Disabled,
        option->icon.pixmap(option->iconSize, QIcon::Normal, QIcon::Off), option);
    drawItemPixmap(painter, r, Qt::AlignLeft | Qt::AlignVCenter, pixmap);
  }
  if (has_text) {
    drawItemText(painter, r, Qt::AlignRight | Qt::AlignVCenter | Qt::TextShowMnemonic, option->palette,
                 option->state.testFlag(State_Enabled), option->text, QPalette::ButtonText);
  }
  if (option->state.testFlag(State_HasFocus))
    drawPrimitive(PE_FrameFocusRect, option, painter, widget);
  auto* push_button = qobject_cast<const QPushButton*>(widget);
  if (push_button && push_button->isDefault())
    drawPrimitive(PE_FrameDefaultButton, option, painter, widget);
}

void Style::drawDockWidgetTitle(const QStyleOption* option, QPainter* painter, const QWidget* widget) const {
  const QRect& r = option->rect;
  painter->save();
  QPen pen(option->palette.color(QPalette::Dark), 2);
  pen.setCapStyle(Qt::RoundCap);
  painter->setPen(pen);
  const int y = r.top() + r.height() / 2;
  painter->drawLine(r.left() + 8, y, r.right() - 40, y);
  painter->restore();

  auto* dock = qobject_cast<const QDockWidget*>(widget);
  if (!dock)
    return;
  const QString title = dock->windowTitle();
  const QSize text_size = dock->fontMetrics().size(Qt::TextSingleLine, title);
  QRect box(0, 0, text_size.width() + 2 * 8, text_size.height());
  box.moveCenter(r.center());
  painter->fillRect(box, option->palette.brush(QPalette::Window));
  drawItemText(painter, r, Qt::AlignHCenter | Qt::AlignVCenter, option->palette,
               option->state.testFlag(State_Enabled), title, QPalette::WindowText);
}

void Style::drawComboBox(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const {
  auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
  const QRect arrow = subControlRect(CC_ComboBox, option, SC_ComboBoxArrow, widget);

  QStyleOptionButton button;
  static_cast<QStyleOption&>(button) = *option;
  button.iconSize = combo->iconSize;
  drawControl(CE_PushButton, &button, painter, widget);

  painter->save();
  painter->setPen(QPen(option->palette.color(QPalette::Light), 1));
  const int top = subElementRect(SE_PushButtonContents, &button, widget).top();
  painter->drawLine(arrow.left(), top, arrow.left(), top + arrow.height() - 1);
  painter->restore();

  drawDownArrow(&button, squareCentredOn(arrow.center()), painter, widget);
}

void Style::drawToolButton(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const {
  auto* tool = qstyleoption_cast<const QStyleOptionToolButton*>(option);
  const QRect button_rect = subControlRect(CC_ToolButton, option, SC_ToolButton, widget);
  const QRect menu_rect = subControlRect(CC_ToolButton, option, SC_ToolButtonMenu, widget);

  QStyleOptionButton button;
  static_cast<QStyleOption&>(button) = *option;
  button.rect = button_rect;
  button.iconSize = tool->iconSize;
  // Show only what the tool button's own style asks for, as its size hint does.
  if (tool->toolButtonStyle != Qt::ToolButtonTextOnly)
    button.icon = tool->icon;
  if (tool->toolButtonStyle != Qt::ToolButtonIconOnly || tool->icon.isNull())
    button.text = tool->text;
  drawControl(CE_PushButton, &button, painter, widget);
  button.icon = QIcon();
  button.text.clear();

  QRect arrow_square;
  switch (popupModeOf(option, widget)) {
    case QToolButton::MenuButtonPopup:
      button.rect = menu_rect;
      drawControl(CE_PushButton, &button, painter, widget);
      arrow_square = squareCentredOn(subElementRect(SE_PushButtonContents, &button, widget).center());
      break;
    case QToolButton::InstantPopup:
      arrow_square = QRect(button_rect.right() - arrow_size + 1 - 4, button_rect.bottom() - arrow_size + 1 - 4,
                           arrow_size, arrow_size);
      break;
    case QToolButton::DelayedPopup:
      return;
  }
  drawDownArrow(&button, arrow_square, painter, widget);
}

void Style::drawDownArrow(QStyleOption* option, const QRect& square, QPainter* painter,
                          const QWidget* widget) const {
  option->rect = square;
  option->state |= State_Sunken;
  QProxyStyle::drawPrimitive(PE_IndicatorArrowDown, option, painter, widget);
}
