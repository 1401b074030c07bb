// Menus drawn flat: a 24-pixel icon column, a sky-blue selection bar with a thin frame,
// system colours otherwise; the menu bar's open entry uses the same bar.
#pragma once

#include <QColor>
#include <QProxyStyle>

namespace skimbrook {

class TFlatMenuStyle : public QProxyStyle {
  Q_OBJECT

 public:
  static constexpr int kIconColumn = 24;
  // The selection bar's colour.
  static QColor SelectionColour() { return QColor(166, 202, 240); }

  TFlatMenuStyle();

  void drawControl(ControlElement Element, const QStyleOption* Option, QPainter* Painter,
                   const QWidget* Widget = nullptr) const override;
  void drawPrimitive(PrimitiveElement Element, const QStyleOption* Option, QPainter* Painter,
                     const QWidget* Widget = nullptr) const override;
  QSize sizeFromContents(ContentsType Type, const QStyleOption* Option, const QSize& Size,
                         const QWidget* Widget = nullptr) const override;
  int pixelMetric(PixelMetric Metric, const QStyleOption* Option = nullptr,
                  const QWidget* Widget = nullptr) const override;
};

}  // namespace skimbrook
