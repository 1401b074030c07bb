#include "ui/panes/uListRules.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <numeric>
#include <optional>

#include "display/uDisplayText.h"
#include "download/uFetchState.h"
#include "model/uFeedDate.h"
#include "model/uRSS.h"

namespace skimbrook {

namespace {

bool IsHeading(const TFeedList& List, int Row) {
  return List.Feeds(Row)->XmlUrl.empty();
}

// The item's date as a local time, when its text can be read as a date.
std::optional<QDateTime> ItemTime(const TFeedItem& Item) {
  const std::optional<std::chrono::sys_seconds> time = ParseFeedDate(Item.PubDate);
  if (!time) return std::nullopt;
  return QDateTime::fromSecsSinceEpoch(time->time_since_epoch().count()).toLocalTime();
}

// The desktop's short time of day, without seconds (some locales' short form has them).
QString ShortTime(const QLocale& Locale, const QTime& Time) {
  static const QRegularExpression seconds(QStringLiteral("[:.]ss?"));
  return Locale.toString(Time, Locale.timeFormat(QLocale::ShortFormat).remove(seconds));
}

}  // namespace

QString FeedRowText(const TFeed& Feed, const std::string& Encoding) {
  const QString title = ToDisplayTitle(Feed.Title, Encoding);
  if (Feed.XmlUrl.empty()) return QStringLiteral(". ") + title;
  return QString::number(Feed.UnreadCount) + QLatin1Char(' ') + title;
}

QString FeedRowSpoken(const QString& RowText, bool Failed) {
  if (RowText.startsWith(QLatin1String(". "))) return QStringLiteral("Group: ") + RowText.mid(2);
  const qsizetype blank = RowText.indexOf(QLatin1Char(' '));
  const int unread = RowText.left(blank).toInt();
  const QString title = RowText.mid(blank + 1);
  QString spoken = unread > 0 ? QStringLiteral("%1, %2 unread").arg(title).arg(unread) : title;
  if (Failed) spoken += QStringLiteral(", last download failed");
  return spoken;
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

QString StarMark() {
  return QString(QChar(0x2605)) + QLatin1Char(' ');
}

QString ItemLineText(const TFeedItem& Item, const std::string& Encoding) {
  QString line = QLatin1Char(Item.IsRead ? '-' : '+') + ItemTitleText(Item, Encoding);
  if (!Item.PubDate.empty())
    line += QStringLiteral(" (") + ToDisplay(Item.PubDate, Encoding) + QLatin1Char(')');
  return line;
}

QString ItemDateText(const TFeedItem& Item, const QDateTime& Now, const std::string& Encoding) {
  if (Item.PubDate.empty()) return {};
  const std::optional<QDateTime> time = ItemTime(Item);
  if (!time) return ToDisplayTitle(Item.PubDate, Encoding);
  const QLocale locale;
  const QDate day = time->date();
  const QDate today = Now.toLocalTime().date();
  if (day == today) return ShortTime(locale, time->time());
  if (day.year() == today.year()) return locale.toString(day, QStringLiteral("d MMM"));
  return locale.toString(day, QLocale::ShortFormat);
}

QString ItemLongDateText(const TFeedItem& Item, const std::string& Encoding) {
  if (Item.PubDate.empty()) return {};
  const std::optional<QDateTime> time = ItemTime(Item);
  if (!time) return ToDisplayTitle(Item.PubDate, Encoding);
  const QLocale locale;
  return locale.toString(time->date(), QLocale::LongFormat) + QLatin1Char(' ') +
         ShortTime(locale, time->time());
}

std::vector<int> ItemListOrder(const TFeed& Feed, bool NewestFirst) {
  std::vector<int> order(static_cast<std::size_t>(std::max(0, Feed.ItemCount())));
  std::iota(order.begin(), order.end(), 0);
  if (!NewestFirst) return order;
  std::vector<std::optional<std::chrono::sys_seconds>> times;
  times.reserve(order.size());
  for (int index : order) times.push_back(ParseFeedDate(Feed.Items(index).PubDate));
  // Stable, so that items of one date, and the items without one, keep the document's order.
  std::stable_sort(order.begin(), order.end(), [&](int A, int B) {
    const auto& a = times[static_cast<std::size_t>(A)];
    const auto& b = times[static_cast<std::size_t>(B)];
    if (a && b) return *a > *b;
    return a.has_value() && !b.has_value();
  });
  return order;
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
