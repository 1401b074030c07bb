#include "ui/painting/uFeedListDelegate.h"

#include <QPainter>
#include <algorithm>

#include "ui/painting/uRowPainting.h"

namespace skimbrook {

namespace {

QFont Bold(QFont Font) {
  Font.setBold(true);
  return Font;
}

// The dotted rule of a heading runs through the middle of the row.
constexpr int kRuleOffset = 8;
// Room kept free at the right end of a row.
constexpr int kRightMargin = 2;
// Room on each side of the failure mark's sign.
constexpr int kFailureMarkPadding = 3;

// Text, shortened with an ellipsis to fit Width in the painter's font.
QString Fitted(const QPainter& Painter, const QString& Text, int Width) {
  return Painter.fontMetrics().elidedText(Text, Qt::ElideRight, std::max(Width, 0));
}

}  // namespace

int TFeedListDelegate::HeadingCaptionLeft(int Left, int RightExclusive, int CaptionWidth) {
  const int centred = (Left + RightExclusive) / 2 - CaptionWidth / 2;
  return std::max(centred, Left + kRowTextLeft);
}

void TFeedListDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                              const QModelIndex& Index) const {
  const QString text = Index.data(Qt::DisplayRole).toString();
  const qsizetype blank = text.indexOf(QLatin1Char(' '));
  const QString marker = blank < 0 ? text : text.left(blank);
  const QString caption = blank < 0 ? QString() : text.mid(blank + 1);

  Painter->save();
  Painter->fillRect(Option.rect, RowBackground(Option));
  if (marker == QLatin1String("."))
    PaintHeading(*Painter, Option, caption);
  else
    PaintFeed(*Painter, Option, marker, caption, Index.data(kFailedRole).toBool());
  Painter->restore();
  DrawRowFocus(*Painter, Option);
}

void TFeedListDelegate::PaintHeading(QPainter& Painter, const QStyleOptionViewItem& Option,
                                     const QString& Title) const {
  const QRect& row = Option.rect;
  const int rightExclusive = row.left() + row.width();
  const QColor colour = RowSelected(Option) ? RowCaptionText(Option)
                                            : Option.palette.color(QPalette::Disabled, QPalette::WindowText);
  Painter.setPen(QPen(colour, 1, Qt::DotLine));
  const int y = row.top() + kRuleOffset;
  Painter.drawLine(row.left() + 1, y, rightExclusive - 2, y);

  Painter.setFont(Bold(Option.font));
  const QString caption =
      Fitted(Painter, QLatin1Char(' ') + Title + QLatin1Char(' '), row.width() - kRowTextLeft - kRightMargin);
  const int width = Painter.fontMetrics().horizontalAdvance(caption);
  Painter.setPen(colour);
  DrawOpaqueText(Painter, HeadingCaptionLeft(row.left(), rightExclusive, width), row.top() + kRowTextTop,
                 caption, RowBackground(Option));
}

void TFeedListDelegate::PaintFeed(QPainter& Painter, const QStyleOptionViewItem& Option,
                                  const QString& Marker, const QString& Title, bool Failed) const {
  const QRect& row = Option.rect;
  const QColor background = RowBackground(Option);
  const bool highlighted = RowSelectedAndFocused(Option);
  const int x = row.left() + kRowTextLeft;
  const int y = row.top() + kRowTextTop;

  int room = row.width() - kRowTextLeft - kRightMargin;
  if (Failed) room -= PaintFailureMark(Painter, Option);
  Painter.setPen(highlighted ? RowCaptionText(Option) : RowText(Option));
  if (Marker == QLatin1String("0")) {
    Painter.setFont(Option.font);
    DrawOpaqueText(Painter, x, y, Fitted(Painter, Title, room), background);
    return;
  }
  Painter.setFont(Bold(Option.font));
  // A title too long for the row is shortened, so that its count stays in view.
  const QString count = QLatin1Char('(') + Marker + QLatin1Char(')');
  const int countRoom = Painter.fontMetrics().horizontalAdvance(count) + (8 - kRowTextLeft);
  const QString title = Fitted(Painter, Title, room - countRoom);
  const int width = Painter.fontMetrics().horizontalAdvance(title);
  DrawOpaqueText(Painter, x, y, title, background);
  Painter.setPen(highlighted ? RowCaptionText(Option) : QColor(0, 0, 255));
  DrawOpaqueText(Painter, row.left() + 8 + width, y, count, background);
}

int TFeedListDelegate::PaintFailureMark(QPainter& Painter, const QStyleOptionViewItem& Option) const {
  const QRect& row = Option.rect;
  Painter.setFont(Bold(Option.font));
  const QString mark = QStringLiteral("!");
  const int width = Painter.fontMetrics().horizontalAdvance(mark) + 2 * kFailureMarkPadding;
  const QRect box(row.left() + row.width() - kRightMargin - width, row.top() + 1, width, row.height() - 2);
  Painter.fillRect(box, QColor(200, 30, 30));
  Painter.setPen(Qt::white);
  Painter.drawText(box, Qt::AlignCenter, mark);
  return width + kFailureMarkPadding;
}

QSize TFeedListDelegate::sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
  return QSize(QStyledItemDelegate::sizeHint(Option, Index).width(), kRowHeight);
}

}  // namespace skimbrook
