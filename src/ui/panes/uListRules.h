// The rules that turn the model into list rows and back: the feed list's row texts, the
// item list's line texts, and which rows make up a group.
#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QDateTime;

namespace skimbrook {

struct TFetchRecord;
class TFeed;
class TFeedItem;
class TFeedList;

// ". " + title for a group heading; unread count, one blank and the title for a feed. The
// title is shown in the feed's Encoding (empty: none known).
QString FeedRowText(const TFeed& Feed, const std::string& Encoding = {});
// "+" (unread) or "-" (read), the title, and " (date)" when the item has a date; in the
// feed's Encoding.
QString ItemLineText(const TFeedItem& Item, const std::string& Encoding = {});
// What a screen reader says of a feed row whose text (FeedRowText) is RowText: "Tech news,
// 12 unread", "Group: Sports", and that the last download failed.
QString FeedRowSpoken(const QString& RowText, bool Failed);
// What stands before the title of a starred item in the item list.
QString StarMark();
// An item without a title is shown by the first words of its text instead (tags removed,
// about 80 characters), in italics, so that it reads as a stand-in.
bool HasStandInTitle(const TFeedItem& Item);
QString ItemTitleText(const TFeedItem& Item, const std::string& Encoding = {});
// An item's date as the item list's date column shows it, in local time: the time of day
// for a date of Now's day, day and month for one of Now's year, the full date otherwise.
// A date that cannot be read is shown as written; no date gives an empty text.
QString ItemDateText(const TFeedItem& Item, const QDateTime& Now, const std::string& Encoding = {});
// The long form of an item's date for the item's heading panel, in local time; written
// text when it cannot be read.
QString ItemLongDateText(const TFeedItem& Item, const std::string& Encoding = {});
// The order in which the item list shows Feed's items, as indexes into its items: the
// document's order, or newest first by date (items whose date cannot be read after the
// dated ones, in the document's order).
std::vector<int> ItemListOrder(const TFeed& Feed, bool NewestFirst);
// A channel's title or description as a panel shows it: character references shown as
// characters, tags removed, blanks folded.
QString PanelText(const std::string& Text, const std::string& Encoding = {});
// A time of the fetch state (seconds since 1970) as the window shows it: "yyyy-MM-dd
// hh:mm", local time.
QString LocalTime(std::int64_t Time);
// The tooltip of a feed whose last download failed: the reason with its time, and the
// last success.
QString FailureTooltip(const TFetchRecord& Record);

// The rows [First, Last) of the feeds in the group of the selected row: a heading's own
// feeds, or the feeds around a selected feed up to the headings before and after it
// (from row 0 when no heading stands before it).
struct TRowRange {
  int First = 0;
  int Last = 0;
  bool Empty() const { return First >= Last; }
};
TRowRange GroupRange(const TFeedList& List, int SelectedRow);

}  // namespace skimbrook
