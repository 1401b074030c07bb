#include "ui/painting/uItemListDelegate.h"

#include <QPainter>

#include "ui/painting/uRowPainting.h"

namespace skimbrook {

namespace {

// Room right of the date, and between a title and the date.
constexpr int kDateRight = 4;
constexpr int kDateGap = 8;

}  // namespace

void TItemListDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                              const QModelIndex& Index) const {
  const QString date = Index.data(kItemDateRole).toString();
  const QString text = Index.data(date.isEmpty() ? Qt::DisplayRole : kItemTitleRole).toString();
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
    QColor pen = RowSelectedAndFocused(Option) ? RowCaptionText(Option) : RowText(Option);
    if (Index.data(kItemOlderRole).toBool() && !RowSelectedAndFocused(Option)) {
      // Halfway between the text and the background.
      pen.setRgb((pen.red() + background.red()) / 2, (pen.green() + background.green()) / 2,
                 (pen.blue() + background.blue()) / 2);
    }
    Painter->setPen(pen);
    QRect titleRect = Option.rect;
    if (!date.isEmpty()) {
      // The date in a regular face at the right end; the title stops short of it.
      Painter->save();
      Painter->setFont(Option.font);
      const QRect dateRect = Option.rect.adjusted(0, kRowTextTop, -kDateRight, 0);
      const QString shown =
          QFontMetrics(Option.font).elidedText(date, Qt::ElideRight, Option.rect.width() / 3);
      QRect used;
      Painter->drawText(dateRect, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, shown, &used);
      Painter->restore();
      titleRect.setRight(used.left() - kDateGap);
    }
    Painter->setClipRect(titleRect);
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
