// Paints the lines of the item list: "+" (unread, bold) or "-" (read, regular) followed by
// the visible text. A line that carries a date column's text paints its marker and title
// from kItemTitleRole and the date right-aligned at the line's end. An older item's line is
// greyed.
#pragma once

#include <QStyledItemDelegate>

namespace skimbrook {

// The line's marker and title without the date, and the date column's text.
inline constexpr int kItemTitleRole = Qt::UserRole + 1;
inline constexpr int kItemDateRole = Qt::UserRole + 2;
// True for a line of an item that has left its feed's document: its text is greyed.
inline constexpr int kItemOlderRole = Qt::UserRole + 3;

class TItemListDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
};

}  // namespace skimbrook
