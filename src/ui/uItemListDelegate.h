// Paints the lines of the item list from their text alone: "+" (unread, bold) or "-"
// (read, regular) followed by the visible text.
#pragma once

#include <QStyledItemDelegate>

namespace skimbrook {

class TItemListDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
};

}  // namespace skimbrook
