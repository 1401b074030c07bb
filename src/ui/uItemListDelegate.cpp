#include "ui/uItemListDelegate.h"

#include <QPainter>

#include "ui/uRowPainting.h"

namespace skimbrook {

void TItemListDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                              const QModelIndex& Index) const {
  const QString text = Index.data(Qt::DisplayRole).toString();
  const QColor background = RowBackground(Option);

  Painter->save();
  Painter->fillRect(Option.rect, background);
  const QChar marker = text.isEmpty() ? QChar() : text.front();
  if (marker == QLatin1Char('+') || marker == QLatin1Char('-')) {
    QFont font = Option.font;
    font.setBold(marker == QLatin1Char('+'));
    // A line that stands in for a missing title is in italics.
    if (const QVariant own = Index.data(Qt::FontRole); own.isValid())
      font.setItalic(own.value<QFont>().italic());
    Painter->setFont(font);
    Painter->setPen(RowSelectedAndFocused(Option) ? RowCaptionText(Option) : QColor(0, 0, 0));
    DrawOpaqueText(*Painter, Option.rect.left() + kRowTextLeft, Option.rect.top() + kRowTextTop, text.mid(1),
                   background);
  }
  Painter->restore();
  DrawRowFocus(*Painter, Option);
}

QSize TItemListDelegate::sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
  return QSize(QStyledItemDelegate::sizeHint(Option, Index).width(), kRowHeight);
}

}  // namespace skimbrook
