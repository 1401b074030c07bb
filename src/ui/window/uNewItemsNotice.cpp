#include "ui/window/uNewItemsNotice.h"

#include "model/uRSS.h"

namespace skimbrook {

TUnreadSnapshot::TUnreadSnapshot(const TFeedList& List) {
  for (int i = 0; i < List.Count(); ++i) {
    const TFeed& feed = *List.Feeds(i);
    if (!feed.XmlUrl.empty()) unread_[&feed] = feed.UnreadCount;
  }
}

TUnreadSnapshot::TGain TUnreadSnapshot::GainSince(const TFeedList& List) const {
  TGain gain;
  for (int i = 0; i < List.Count(); ++i) {
    const TFeed& feed = *List.Feeds(i);
    if (feed.XmlUrl.empty()) continue;
    auto before = unread_.find(&feed);
    const int grown = feed.UnreadCount - (before == unread_.end() ? 0 : before->second);
    if (grown <= 0) continue;
    gain.Items += grown;
    gain.Feeds += 1;
  }
  return gain;
}

QString NewItemsText(int Items, int Feeds) {
  return QStringLiteral("%1 new %2 in %3 %4")
      .arg(Items)
      .arg(Items == 1 ? QStringLiteral("item") : QStringLiteral("items"))
      .arg(Feeds)
      .arg(Feeds == 1 ? QStringLiteral("feed") : QStringLiteral("feeds"));
}

bool ShouldNotify(const TUnreadSnapshot::TGain& Gain, bool StartedByItself, bool ShowNotifications,
                  bool WindowActive) {
  return StartedByItself && ShowNotifications && !WindowActive && Gain.Items > 0;
}

int TotalUnread(const TFeedList& List) {
  int total = 0;
  for (int i = 0; i < List.Count(); ++i) {
    const TFeed& feed = *List.Feeds(i);
    if (!feed.XmlUrl.empty() && feed.UnreadCount > 0) total += feed.UnreadCount;
  }
  return total;
}

QString TrayHint(int TotalUnread) {
  if (TotalUnread <= 0) return QStringLiteral("Skimbrook");
  return QStringLiteral("Skimbrook: %1 unread").arg(TotalUnread);
}

}  // namespace skimbrook
