#include "ui/painting/uRowPainting.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QWidget>

namespace skimbrook {

bool RowSelected(const QStyleOptionViewItem& Option) {
  return Option.state & QStyle::State_Selected;
}

bool RowSelectedAndFocused(const QStyleOptionViewItem& Option) {
  return RowSelected(Option) && (Option.state & QStyle::State_HasFocus);
}

QColor RowBackground(const QStyleOptionViewItem& Option) {
  if (RowSelectedAndFocused(Option)) return Option.palette.color(QPalette::Active, QPalette::Highlight);
  if (RowSelected(Option)) return Option.palette.color(QPalette::Active, QPalette::Button);
  return Option.palette.color(QPalette::Active, QPalette::Base);
}

QColor RowCaptionText(const QStyleOptionViewItem& Option) {
  return Option.palette.color(QPalette::Active, QPalette::HighlightedText);
}

QColor RowText(const QStyleOptionViewItem& Option) {
  constexpr int kDarkBelow = 128;
  if (RowBackground(Option).lightness() < kDarkBelow)
    return Option.palette.color(QPalette::Active, QPalette::Text);
  return QColor(0, 0, 0);
}

void DrawOpaqueText(QPainter& Painter, int X, int Y, const QString& Text, const QColor& Background) {
  const QFontMetrics metrics(Painter.font());
  const QRect box(X, Y, metrics.horizontalAdvance(Text), metrics.height());
  Painter.fillRect(box, Background);
  Painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Text);
}

void DrawRowFocus(QPainter& Painter, const QStyleOptionViewItem& Option) {
  if (!(Option.state & QStyle::State_HasFocus)) return;
  QStyleOptionFocusRect focus;
  focus.QStyleOption::operator=(Option);
  focus.backgroundColor = RowBackground(Option);
  const QStyle* style = Option.widget ? Option.widget->style() : QApplication::style();
  style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &Painter, Option.widget);
}

}  // namespace skimbrook
