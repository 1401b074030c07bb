// The rules that turn the model into list rows and back: the feed list's row texts, the
// item list's line texts, and which rows make up a group.
#pragma once

#include <QString>

namespace skimbrook {

class TFeed;
class TFeedItem;
class TFeedList;

// ". " + title for a group heading; unread count, one blank and the title for a feed.
QString FeedRowText(const TFeed& Feed);
// "+" (unread) or "-" (read), the title, and " (date)" when the item has a date.
QString ItemLineText(const TFeedItem& Item);

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
