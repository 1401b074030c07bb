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

bool HasStandInTitle(const TFeedItem& Item) {
  return Trim(Item.Title).empty() && !Trim(StripTags(Item.Description)).empty();
}

QString ItemTitleText(const TFeedItem& Item, const std::string& Encoding) {
  if (!HasStandInTitle(Item)) return ToDisplayTitle(Item.Title, Encoding);
  constexpr qsizetype kStandInLength = 80;
  const QString text = ToDisplayTitle(StripTags(Item.Description), Encoding).simplified();
  if (text.size() <= kStandInLength) return text;
  // Cut at the last blank within the length, so that no word is cut in two.
  const qsizetype blank = text.lastIndexOf(QLatin1Char(' '), kStandInLength);
  return text.left(blank > kStandInLength / 2 ? blank : kStandInLength) + QChar(0x2026);
}

QString PanelText(const std::string& Text, const std::string& Encoding) {
  return ToDisplayTitle(StripTags(Text), Encoding).simplified();
}

QString ItemLineText(const TFeedItem& Item, const std::string& Encoding) {
  QString line = QLatin1Char(Item.IsRead ? '-' : '+') + ItemTitleText(Item, Encoding);
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
