#include "ui/uListRules.h"

#include "display/uDisplayText.h"
#include "model/uRSS.h"

namespace skimbrook {

namespace {

bool IsHeading(const TFeedList& List, int Row) {
  return List.Feeds(Row)->XmlUrl.empty();
}

}  // namespace

QString FeedRowText(const TFeed& Feed) {
  const QString title = ToDisplay(Feed.Title);
  if (Feed.XmlUrl.empty()) return QStringLiteral(". ") + title;
  return QString::number(Feed.UnreadCount) + QLatin1Char(' ') + title;
}

QString ItemLineText(const TFeedItem& Item) {
  QString line = QLatin1Char(Item.IsRead ? '-' : '+') + ToDisplay(Item.Title);
  if (!Item.PubDate.empty()) line += QStringLiteral(" (") + ToDisplay(Item.PubDate) + QLatin1Char(')');
  return line;
}

TRowRange GroupRange(const TFeedList& List, int SelectedRow) {
  if (SelectedRow < 0 || SelectedRow >= List.Count()) return {};
  int stop = SelectedRow;
  while (stop > 0 && !IsHeading(List, stop)) --stop;
  TRowRange range;
  range.First = IsHeading(List, stop) ? stop + 1 : stop;
  range.Last = range.First;
  while (range.Last < List.Count() && !IsHeading(List, range.Last)) ++range.Last;
  return range;
}

}  // namespace skimbrook
