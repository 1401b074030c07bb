// The owner-drawn rows, painted into images and measured.
#include <gtest/gtest.h>

#include <QImage>
#include <QListWidget>
#include <QPainter>

#include "ui/painting/uFeedListDelegate.h"
#include "ui/painting/uItemListDelegate.h"

namespace skimbrook::test {

namespace {

constexpr int kRowWidth = 250;

// Paints Text as the only row of a list, Width pixels wide, in the given state.
QImage PaintRow(QStyledItemDelegate& Delegate, const QString& Text, int Width = kRowWidth,
                QStyle::State State = QStyle::State_Enabled) {
  QListWidget list;
  QFont font = list.font();
  font.setPixelSize(11);
  list.setFont(font);
  list.addItem(Text);
  QImage image(Width, 16, QImage::Format_RGB32);
  image.fill(Qt::magenta);
  QPainter painter(&image);
  QStyleOptionViewItem option;
  option.initFrom(&list);
  option.rect = QRect(0, 0, Width, 16);
  option.state = State;
  option.font = list.font();
  Delegate.paint(&painter, option, list.model()->index(0, 0));
  return image;
}

bool IsBlue(QRgb Pixel) {
  return qBlue(Pixel) > 180 && qRed(Pixel) < 90 && qGreen(Pixel) < 90;
}
bool IsInk(QRgb Pixel) {
  return qGray(Pixel) < 160 && !IsBlue(Pixel);
}

// The leftmost and rightmost columns in rows [Top, Bottom) holding a pixel that Test accepts.
template <class TTest>
std::pair<int, int> Extent(const QImage& Image, int Top, int Bottom, TTest Test) {
  int left = Image.width(), right = -1;
  for (int y = Top; y < Bottom; ++y)
    for (int x = 0; x < Image.width(); ++x)
      if (Test(Image.pixel(x, y))) left = std::min(left, x), right = std::max(right, x);
  return {left, right};
}

int BoldWidth(const QString& Text) {
  QFont font = QListWidget().font();
  font.setPixelSize(11);
  font.setBold(true);
  return QFontMetrics(font).horizontalAdvance(Text);
}

TEST(FeedRowPainting, UnreadCountIsBlueAfterTheBoldTitle) {
  TFeedListDelegate delegate;
  const QImage unread = PaintRow(delegate, "12 Example News");
  const QImage read = PaintRow(delegate, "0 Example News");
  const auto blue = Extent(unread, 0, 16, IsBlue);
  ASSERT_GE(blue.second, 0) << "no blue count drawn";
  EXPECT_GE(blue.first, 8 + BoldWidth("Example News") - 1);
  EXPECT_EQ(Extent(read, 0, 16, IsBlue).second, -1) << "no count for a read feed";

  const auto boldTitle = Extent(unread, 0, 16, IsInk);
  const auto regularTitle = Extent(read, 0, 16, IsInk);
  EXPECT_GE(boldTitle.first, 4);
  EXPECT_GT(boldTitle.second, regularTitle.second) << "the title of a feed with unread items is bold";
  EXPECT_EQ(unread.pixel(kRowWidth - 1, 0), QListWidget().palette().color(QPalette::Base).rgb());
}

TEST(FeedRowPainting, HeadingIsCentredOnADottedRule) {
  TFeedListDelegate delegate;
  const QImage heading = PaintRow(delegate, ". Sports");
  const auto letters = Extent(heading, 1, 7, [](QRgb P) { return qGray(P) < 200; });
  ASSERT_GE(letters.second, 0);
  EXPECT_NEAR((letters.first + letters.second) / 2.0, kRowWidth / 2.0, 4.0);
  int dots = 0;
  for (int x = 1; x < 30; ++x) dots += qGray(heading.pixel(x, 8)) < 230 ? 1 : 0;
  EXPECT_GT(dots, 5) << "the rule is drawn";
  EXPECT_LT(dots, 29) << "the rule is dotted";
  const int middle = (letters.first + letters.second) / 2;
  EXPECT_GT(qGray(heading.pixel(middle, 15)), 200) << "nothing below the caption";
}

TEST(FeedRowPainting, AHeadingWiderThanTheRowStartsAtTheLeftMargin) {
  EXPECT_EQ(TFeedListDelegate::HeadingCaptionLeft(0, 60, 200), 4);
  EXPECT_EQ(TFeedListDelegate::HeadingCaptionLeft(0, 250, 51), 125 - 25);
  TFeedListDelegate delegate;
  const QImage narrow = PaintRow(delegate, ". A rather long group heading", 60);
  const auto letters = Extent(narrow, 1, 7, [](QRgb P) { return qGray(P) < 200; });
  EXPECT_GE(letters.first, 4);
  EXPECT_LE(letters.first, 4 + BoldWidth(" ") + 2);
}

TEST(FeedRowPainting, ALongTitleIsShortenedSoThatItsCountStaysInView) {
  TFeedListDelegate delegate;
  const QString title = "A feed whose title is far too long for the feed list pane to show whole";
  ASSERT_GT(BoldWidth(title), 150);
  const QImage row = PaintRow(delegate, "28 " + title, 150);
  const auto blue = Extent(row, 0, 16, IsBlue);
  ASSERT_GE(blue.first, 0) << "the count is drawn";
  EXPECT_GE(blue.first, 8 + BoldWidth("A") - 1);
  EXPECT_LE(blue.second, 150 - 2) << "the whole count lies inside the row";
  EXPECT_GE(blue.second - blue.first + 1, BoldWidth("(28)") - 2) << "the count is drawn whole";

  const auto heading =
      Extent(PaintRow(delegate, ". " + title, 150), 1, 7, [](QRgb P) { return qGray(P) < 200; });
  EXPECT_LE(heading.second, 150 - 2) << "a heading too wide for the list is shortened too";
}

TEST(FeedRowPainting, SelectedAndFocusedRowUsesTheHighlightColours) {
  TFeedListDelegate delegate;
  const QImage row = PaintRow(delegate, "3 Feed", kRowWidth,
                              QStyle::State_Enabled | QStyle::State_Selected | QStyle::State_HasFocus);
  const QPalette palette = QListWidget().palette();
  EXPECT_EQ(row.pixel(kRowWidth / 2, 8), palette.color(QPalette::Active, QPalette::Highlight).rgb());
  EXPECT_EQ(Extent(row, 0, 16, IsBlue).second, -1) << "the count is not blue on a highlighted row";
}

TEST(ItemLinePainting, UnreadIsBoldReadIsRegularOtherMarkersShowOnlyTheBackground) {
  TItemListDelegate delegate;
  const auto unread = Extent(PaintRow(delegate, "+Budget (2004-05-01)"), 0, 16, IsInk);
  const auto read = Extent(PaintRow(delegate, "-Budget (2004-05-01)"), 0, 16, IsInk);
  EXPECT_GE(read.first, 4);
  EXPECT_GT(unread.second, read.second);
  EXPECT_EQ(Extent(PaintRow(delegate, "*Budget"), 0, 16, IsInk).second, -1);
}

}  // namespace

}  // namespace skimbrook::test
