// The item pane's lines from the item store: a feed's older items below its own, every
// starred item, and search results; the star of the current item.
#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTimer>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/browser/uFeedAddress.h"
#include "ui/painting/uItemListDelegate.h"
#include "ui/panes/uBulkUpdate.h"
#include "ui/panes/uCaptionPanel.h"
#include "ui/panes/uItemPane.h"
#include "ui/panes/uListRules.h"
#include "ui/window/uItemStoreLink.h"
#include "ui/window/uPaneHost.h"

namespace skimbrook {

namespace {

// An item as the store holds it, detached from any feed.
std::shared_ptr<TFeedItem> CopyOfStored(const TStoredItem& Stored) {
  auto item = std::make_shared<TFeedItem>();
  item->Title = Stored.Title;
  item->Link = Stored.Link;
  item->Description = Stored.Description;
  item->PubDate = Stored.PubDate;
  item->Enclosures = Stored.Enclosures;
  item->IsRead = Stored.IsRead;
  return item;
}

enum TSearchScope { kAllFeeds, kThisFeed, kThisGroup };

}  // namespace

int TItemPane::StoredIndexOfRow(int Row) const {
  const int index = Row - firstStoredRow_;
  if (Row < 0 || index < 0 || static_cast<size_t>(index) >= storedLines_.size()) return -1;
  return index;
}

void TItemPane::AppendStoredLines() {
  firstStoredRow_ = lbItems->count();
  for (size_t i = 0; i < storedLines_.size(); ++i) {
    lbItems->addItem(QString());
    WriteStoredLine(static_cast<int>(i));
  }
}

void TItemPane::WriteStoredLine(int Index) {
  QListWidgetItem* line = lbItems->item(firstStoredRow_ + Index);
  if (!line) return;
  const TStoredItem& stored = storedLines_[static_cast<size_t>(Index)];
  const std::shared_ptr<TFeedItem> item = CopyOfStored(stored);
  QString title = ItemTitleText(*item, stored.Encoding);
  if (stored.IsStarred) title.prepend(StarMark());
  // Lines of several feeds name their feed.
  if (!ShowsFeedItems())
    title += QStringLiteral("  \u2014 ") + ToDisplayTitle(stored.FeedTitle, stored.Encoding);
  const QChar marker = QLatin1Char(stored.IsRead ? '-' : '+');
  const QString date = ItemDateText(*item, QDateTime::currentDateTime(), stored.Encoding);
  line->setText(marker + title +
                (date.isEmpty() ? QString() : QStringLiteral(" (") + date + QLatin1Char(')')));
  line->setData(kItemTitleRole, marker + title);
  line->setData(kItemDateRole, date);
  line->setData(kItemOlderRole, !stored.IsCurrent);
  QString spoken = stored.IsCurrent ? title : QStringLiteral("older: ") + title;
  line->setData(Qt::AccessibleTextRole, stored.IsRead ? spoken : QStringLiteral("unread: ") + spoken);
  if (HasStandInTitle(*item)) {
    QFont italic = lbItems->font();
    italic.setItalic(true);
    line->setFont(italic);
  }
}

std::shared_ptr<TFeedItem> TItemPane::ItemOfStored(const TStoredItem& Stored) {
  const int row = Stored.IsCurrent ? host_.FeedList().IndexOfAddress(Stored.FeedUrl) : -1;
  if (row >= 0) {
    const std::shared_ptr<TFeed> feed = host_.FeedList().Feeds(row);
    if (feed->ItemCount() == -1) {
      feed->LoadCache();
      host_.ItemStore().FeedLoaded(*feed);
    }
    for (int i = 0; i < feed->ItemCount(); ++i)
      if (const auto found = host_.ItemStore().Find(*feed, feed->Items(i)); found && found->Id == Stored.Id)
        return feed->ItemPtr(i);
  }
  return CopyOfStored(Stored);
}

void TItemPane::SetItemRead(const std::shared_ptr<TFeedItem>& Item, bool Value) {
  if (Item->Feed) {
    Item->SetRead(Value);
    host_.ItemStore().ItemReadChanged(*Item->Feed, *Item);
  } else if (currentStored_ >= 0 && Item == currentItem_) {
    Item->IsRead = Value;
    host_.ItemStore().SetRead(storedLines_[static_cast<size_t>(currentStored_)].Id, Value);
  }
  if (currentStored_ >= 0 && Item == currentItem_) {
    storedLines_[static_cast<size_t>(currentStored_)].IsRead = Value;
    WriteStoredLine(currentStored_);
    UpdateOlderCount();
  }
}

void TItemPane::UpdateOlderCount() {
  const std::shared_ptr<TFeed> feed = host_.CurrentFeed();
  const int unread = ShowsFeedItems() && feed ? host_.ItemStore().OlderUnreadCount(*feed) : 0;
  plFeedTitle->SetSideText(unread > 0 ? QStringLiteral("%1 older unread").arg(unread) : QString());
}

std::string TItemPane::CurrentEncoding() const {
  if (currentStored_ >= 0) return storedLines_[static_cast<size_t>(currentStored_)].Encoding;
  const std::shared_ptr<TFeed>& feed = host_.CurrentFeed();
  return feed ? host_.EncodingOf(*feed) : std::string();
}

QUrl TItemPane::CurrentBaseUrl() const {
  if (currentStored_ >= 0) return FeedBaseUrl(storedLines_[static_cast<size_t>(currentStored_)].FeedUrl);
  const std::shared_ptr<TFeed>& feed = host_.CurrentFeed();
  return feed ? FeedBaseUrl(feed->XmlUrl) : QUrl();
}

// ---------------------------------------------------------------------------------------
// Commands

bool TItemPane::ShowOlderItems() const {
  return miViewShowOlderItems->isChecked();
}

void TItemPane::SetShowOlderItems(bool Shown) {
  miViewShowOlderItems->setChecked(Shown);
}

void TItemPane::miViewShowOlderItemsClick() {
  if (!ShowsFeedItems()) return;
  if (currentItem_ && currentStored_ < 0) SelectItemOnNextFill(ItemIdentity(*currentItem_));
  FillItemList();
}

void TItemPane::miViewStarredItemsClick() {
  if (!miViewStarredItems->isChecked()) {
    ShowFeedItems();
    return;
  }
  LeaveSearch();
  ShowStoredList(TListKind::Starred, host_.ItemStore().StarredItems());
}

void TItemPane::miViewFindItemsClick() {
  plSearch->show();
  edSearch->setFocus();
  edSearch->selectAll();
  if (!edSearch->text().trimmed().isEmpty()) RunSearch();
}

void TItemPane::miToolsStarItemClick() {
  const std::shared_ptr<TFeedItem> item = currentItem_;
  if (!item) return;
  if (currentStored_ >= 0) {
    TStoredItem& stored = storedLines_[static_cast<size_t>(currentStored_)];
    if (!host_.ItemStore().SetStarred(stored.Id, !stored.IsStarred)) return;
    stored.IsStarred = !stored.IsStarred;
    WriteStoredLine(currentStored_);
    return;
  }
  if (!item->Feed) return;
  const bool starred = host_.ItemStore().IsStarred(*item->Feed, *item);
  // The line shows the star once the store holds it.
  if (host_.ItemStore().SetStarred(*item->Feed, *item, !starred)) item->Changed();
}

void TItemPane::ShowStoredList(TListKind Kind, std::vector<TStoredItem> Items) {
  MarkAsReadTimer->stop();
  keptUnread_.reset();
  currentItem_.reset();
  if (const std::shared_ptr<TFeed>& feed = host_.CurrentFeed()) UnhookItems(*feed);
  {
    const QSignalBlocker blocker(lbItems);
    const TBulkUpdate bulk(*lbItems);
    ClearItemLines();
    listKind_ = Kind;
    storedLines_ = std::move(Items);
    AppendStoredLines();
  }
  // Nothing is opened until the user picks a line: a line opened by itself would be
  // marked read while the user is still typing.
  UpdateFeedAndItemView();
  UpdateOlderCount();
}

void TItemPane::LeaveStoredLists() {
  miViewStarredItems->setChecked(false);
  LeaveSearch();
  if (ShowsFeedItems()) return;
  listKind_ = TListKind::FeedItems;
  MarkAsReadTimer->stop();
  currentItem_.reset();
  ClearItemLines();
}

void TItemPane::ShowFeedItems() {
  const bool wasStored = !ShowsFeedItems();
  LeaveStoredLists();
  if (wasStored) FillItemList();
}

void TItemPane::LeaveSearch() {
  plSearch->hide();
}

std::vector<std::string> TItemPane::SearchScope() const {
  const std::shared_ptr<TFeed>& current = host_.CurrentFeed();
  const int scope = cbSearchScope->currentIndex();
  if (scope == kAllFeeds || !current) return {};
  if (scope == kThisFeed && !current->XmlUrl.empty()) return {current->XmlUrl};
  // A group heading chosen as "this feed" stands for its group.
  std::vector<std::string> urls;
  const TFeedList& list = host_.FeedList();
  const TRowRange range = GroupRange(list, list.IndexOf(*current));
  for (int i = range.First; i < range.Last; ++i)
    if (!list.Feeds(i)->XmlUrl.empty()) urls.push_back(list.Feeds(i)->XmlUrl);
  return urls;
}

void TItemPane::RunSearch() {
  if (plSearch->isHidden()) return;
  miViewStarredItems->setChecked(false);
  const QString words = edSearch->text().trimmed();
  const std::vector<std::string> scope = SearchScope();
  // A group without feeds has nothing to search; an empty scope would mean every feed.
  const bool nothingToSearch =
      words.isEmpty() || (cbSearchScope->currentIndex() != kAllFeeds && scope.empty());
  ShowStoredList(TListKind::Results,
                 nothingToSearch ? std::vector<TStoredItem>() : host_.ItemStore().Search(words, scope));
  if (nothingToSearch) return;
  const int found = lbItems->count();
  host_.NoteStatus(found == 1 ? QStringLiteral("1 item found.")
                              : QStringLiteral("%1 items found.").arg(found));
}

}  // namespace skimbrook
