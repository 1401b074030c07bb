// Paints the rows of the feed list from their text alone. A row text is a marker, one
// blank and a caption: ". Title" for a group heading, "<unread count> Title" for a feed.
// A feed whose last download failed carries kFailedRole and gets a red mark at the row's
// right end (the row text stays as it is; the reason is the row's tooltip).
#pragma once

#include <QStyledItemDelegate>

namespace skimbrook {

class TFeedListDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  static constexpr int kFailedRole = Qt::UserRole + 1;

  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;

  // The left edge of a heading's caption: centred on the row, never left of Left + 4.
  static int HeadingCaptionLeft(int Left, int RightExclusive, int CaptionWidth);

 private:
  void PaintHeading(QPainter& Painter, const QStyleOptionViewItem& Option, const QString& Title) const;
  void PaintFeed(QPainter& Painter, const QStyleOptionViewItem& Option, const QString& Marker,
                 const QString& Title, bool Failed) const;
  // Paints the failure mark at the row's right end; returns the width it takes.
  int PaintFailureMark(QPainter& Painter, const QStyleOptionViewItem& Option) const;
};

}  // namespace skimbrook
