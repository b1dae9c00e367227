#pragma once

#include <QProxyStyle>

class QStyleOptionButton;

// The application's look: a dark grey palette with light text fields, flat rounded
// buttons and fields that light up under the mouse, a red dotted focus frame, combo
// boxes and tool buttons drawn as buttons with a narrow arrow area, and one control
// height for buttons, combo boxes and line edits. Built over Fusion; whatever is not
// handled here is drawn by Fusion.
class Style : public QProxyStyle {
  Q_OBJECT

 public:
  Style();

  void polish(QPalette& palette) override;
  void polish(QWidget* widget) override;
  using QProxyStyle::polish;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget = nullptr) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                       SubControl sub_control, const QWidget* widget = nullptr) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents_size,
                         const QWidget* widget = nullptr) const override;
  int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                const QWidget* widget = nullptr, QStyleHintReturn* return_data = nullptr) const override;

 private:
  void drawDefaultButtonFrame(const QStyleOption* option, QPainter* painter) const;
  void drawFocusFrame(const QStyleOption* option, QPainter* painter) const;
  void drawButtonPanel(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
  void drawLineEditPanel(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
  void drawTreeBranch(const QStyleOption* option, QPainter* painter) const;
  void drawPushButton(const QStyleOptionButton* option, QPainter* painter, const QWidget* widget) const;
  void drawDockWidgetTitle(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
  void drawComboBox(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
  void drawToolButton(const QStyleOptionComplex* option, QPainter* painter, const QWidget* widget) const;
  void drawDownArrow(QStyleOption* option, const QRect& square, QPainter* painter,
                     const QWidget* widget) const;
  QPen panelPen(const QStyleOption* option) const;
};
