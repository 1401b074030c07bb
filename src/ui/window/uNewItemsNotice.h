// What a download run brought: the feeds whose unread count grew and by how much, the
// notification that tells it, and the notification-area icon's hint with the total unread.
#pragma once

#include <QString>

#include <map>

namespace skimbrook {

class TFeed;
class TFeedList;

// The unread counts of every feed at the start of a run, to compare with at its end.
class TUnreadSnapshot {
 public:
  TUnreadSnapshot() = default;
  explicit TUnreadSnapshot(const TFeedList& List);
  // Items the feeds of List have gained since the snapshot, and in how many feeds. A feed
  // added since counts from 0; a feed whose count fell (read meanwhile) counts nothing.
  struct TGain {
    int Items = 0;
    int Feeds = 0;
  };
  TGain GainSince(const TFeedList& List) const;

 private:
  std::map<const TFeed*, int> unread_;
};

// "12 new items in 3 feeds", "1 new item in 1 feed".
QString NewItemsText(int Items, int Feeds);

// Whether a run's gain is told: only for a run that started by itself, with the option on,
// when something came and the main window is not the one the user is working in.
bool ShouldNotify(const TUnreadSnapshot::TGain& Gain, bool StartedByItself, bool ShowNotifications,
                  bool WindowActive);

// The sum of the unread counts of List's feeds (group headings count nothing).
int TotalUnread(const TFeedList& List);
// The icon's hint: "Skimbrook: 12 unread", or "Skimbrook" with nothing unread.
QString TrayHint(int TotalUnread);

}  // namespace skimbrook
