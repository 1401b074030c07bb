#include "ui/uListRules.h"

#include <QDateTime>

#include "display/uDisplayText.h"
#include "download/uFetchState.h"
#include "model/uRSS.h"

namespace skimbrook {

namespace {

bool IsHeading(const TFeedList& List, int Row) {
  return List.Feeds(Row)->XmlUrl.empty();
}

}  // namespace

QString FeedRowText(const TFeed& Feed, const std::string& Encoding) {
  const QString title = ToDisplayTitle(Feed.Title, Encoding);
  if (Feed.XmlUrl.empty()) return QStringLiteral(". ") + title;
  return QString::number(Feed.UnreadCount) + QLatin1Char(' ') + title;
}

QString ItemLineText(const TFeedItem& Item, const std::string& Encoding) {
  QString line = QLatin1Char(Item.IsRead ? '-' : '+') + ToDisplayTitle(Item.Title, Encoding);
  if (!Item.PubDate.empty())
    line += QStringLiteral(" (") + ToDisplay(Item.PubDate, Encoding) + QLatin1Char(')');
  return line;
}

QString LocalTime(std::int64_t Time) {
  return QDateTime::fromSecsSinceEpoch(Time).toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

QString FailureTooltip(const TFetchRecord& Record) {
  QString text = QStringLiteral("Last download failed: %1").arg(ToDisplay(Record.LastFailure));
  if (Record.LastFailureTime != 0) text += QStringLiteral(" (%1)").arg(LocalTime(Record.LastFailureTime));
  text += Record.LastSuccess != 0 ? QStringLiteral("\nLast success: %1").arg(LocalTime(Record.LastSuccess))
                                  : QStringLiteral("\nNever downloaded successfully");
  return text;
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
