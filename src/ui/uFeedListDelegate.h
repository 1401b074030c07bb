// Paints the rows of the feed list from their text alone. A row text is a marker, one
// blank and a caption: ". Title" for a group heading, "<unread count> Title" for a feed.
#pragma once

#include <QStyledItemDelegate>

namespace skimbrook {

class TFeedListDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;

  // The left edge of a heading's caption: centred on the row, never left of Left + 4.
  static int HeadingCaptionLeft(int Left, int RightExclusive, int CaptionWidth);

 private:
  void PaintHeading(QPainter& Painter, const QStyleOptionViewItem& Option, const QString& Title) const;
  void PaintFeed(QPainter& Painter, const QStyleOptionViewItem& Option, const QString& Marker,
                 const QString& Title) const;
};

}  // namespace skimbrook
