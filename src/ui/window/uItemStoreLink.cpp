#include "ui/window/uItemStoreLink.h"

#include <QTimer>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/dialogs/uPrompts.h"
#include "ui/window/uPaneHost.h"

namespace skimbrook {

namespace {

// A full check reads every page of the file, so it waits until the start-up's own work is
// long done.
constexpr int kQuickCheckDelayMs = 60'000;

}  // namespace

TItemStoreLink::TItemStoreLink(TPaneHost& Host, QObject* Parent) : QObject(Parent), host_(Host) {
  RebuildTimer = new QTimer(this);
  RebuildTimer->setObjectName(QStringLiteral("StoreRebuildTimer"));
  // Zero time: one feed whenever the event queue is empty, so the window stays responsive.
  RebuildTimer->setInterval(0);
  connect(RebuildTimer, &QTimer::timeout, this, &TItemStoreLink::RebuildStep);
  QuickCheckTimer = new QTimer(this);
  QuickCheckTimer->setObjectName(QStringLiteral("StoreQuickCheckTimer"));
  QuickCheckTimer->setSingleShot(true);
  QuickCheckTimer->setInterval(kQuickCheckDelayMs);
  connect(QuickCheckTimer, &QTimer::timeout, this, &TItemStoreLink::QuickCheckTimerTimer);
}

TItemStoreLink::~TItemStoreLink() = default;

// ---------------------------------------------------------------------------------------
// Opening and faults

void TItemStoreLink::OpenSoon() {
  if (wanted_) return;
  wanted_ = true;
  QTimer::singleShot(0, this, [this] { Ready(); });
}

bool TItemStoreLink::Ready() {
  if (wanted_ && !opened_) OpenNow();
  return IsOpen();
}

void TItemStoreLink::OpenNow() {
  opened_ = true;
  TItemStoreOptions options;
  // The index holds UTF-8, whatever the feed's own encoding.
  options.Decoder = [](std::string_view Bytes, std::string_view Encoding) {
    const QByteArray text = ToDisplay(Bytes, Encoding).toUtf8();
    return std::string(text.constData(), static_cast<size_t>(text.size()));
  };
  store_ = std::make_unique<TItemStore>(std::move(options));
  const TOpenResult opened = store_->Open();
  if (!opened.Ok()) {
    host_.NoteStatus(ToDisplay(opened.Problem));
    return;
  }
  if (!opened.DamagedCopyPath.empty()) TellDamagedCopy(opened.DamagedCopyPath);
  if (opened.NeedsRebuild) StartRebuild();
  QuickCheckTimer->start();
}

bool TItemStoreLink::Report(const TStoreResult& Result) {
  if (Result.Ok()) return true;
  if (Result.Damaged) {
    SetAsideAndRebuild();
  } else {
    host_.NoteStatus(ToDisplay(Result.Problem));
  }
  return false;
}

void TItemStoreLink::NoteReadProblem() {
  if (!store_) return;
  if (store_->IsDamaged())
    SetAsideAndRebuild();
  else if (!store_->LastProblem().empty())
    host_.NoteStatus(ToDisplay(store_->LastProblem()));
}

void TItemStoreLink::SetAsideAndRebuild() {
  RebuildTimer->stop();
  const TOpenResult opened = store_->SetAsideDamaged();
  if (!opened.DamagedCopyPath.empty()) TellDamagedCopy(opened.DamagedCopyPath);
  if (!opened.Ok()) {
    host_.NoteStatus(ToDisplay(opened.Problem));
    return;
  }
  StartRebuild();
}

void TItemStoreLink::TellDamagedCopy(const std::string& Path) {
  if (told_) return;
  told_ = true;
  host_.Prompts().Information(QStringLiteral("Information"),
                              QStringLiteral("The item store items.db was damaged; a new one is being filled "
                                             "from the feeds' files.\nOlder items and stars may be missing. "
                                             "The damaged file was kept as:\n%1")
                                  .arg(ToDisplay(Path)));
}

bool TItemStoreLink::Rebuilding() const {
  return RebuildTimer->isActive();
}

void TItemStoreLink::StartRebuild() {
  rebuildRow_ = 0;
  RebuildTimer->start();
}

void TItemStoreLink::RebuildStep() {
  TFeedList& list = host_.FeedList();
  // The list may have changed since the last tick; a row done twice costs a look-up only.
  while (IsOpen() && rebuildRow_ >= 0 && rebuildRow_ < list.Count()) {
    const std::shared_ptr<TFeed> feed = list.Feeds(rebuildRow_++);
    if (feed->XmlUrl.empty()) continue;
    Report(store_->StoreFeedIfAbsent(*feed, host_.EncodingOf(*feed)));
    return;
  }
  RebuildTimer->stop();
  rebuildRow_ = -1;
}

void TItemStoreLink::QuickCheckTimerTimer() {
  if (IsOpen() && !Rebuilding()) Report(store_->QuickCheck());
}

// ---------------------------------------------------------------------------------------
// Filling

void TItemStoreLink::FeedDownloaded(TFeed& Feed, const std::string& AddressBefore) {
  if (!Ready() || Feed.XmlUrl.empty()) return;
  if (!AddressBefore.empty() && AddressBefore != Feed.XmlUrl) FeedMoved(AddressBefore, Feed.XmlUrl);
  Report(store_->StoreFeed(Feed, host_.EncodingOf(Feed)));
}

void TItemStoreLink::FeedLoaded(TFeed& Feed) {
  if (!Ready() || Feed.XmlUrl.empty() || Feed.ItemCount() < 0) return;
  Report(store_->StoreFeedIfAbsent(Feed, host_.EncodingOf(Feed)));
}

void TItemStoreLink::FeedMoved(const std::string& OldUrl, const std::string& NewUrl) {
  if (Ready()) Report(store_->MoveFeed(OldUrl, NewUrl));
}

// ---------------------------------------------------------------------------------------
// Flags

void TItemStoreLink::ItemReadChanged(const TFeed& Feed, const TFeedItem& Item) {
  if (Ready() && !Feed.XmlUrl.empty()) Report(store_->SetRead(Feed.XmlUrl, Item));
}

void TItemStoreLink::FeedCaughtUp(const TFeed& Feed) {
  if (Ready() && !Feed.XmlUrl.empty()) Report(store_->CatchUp(Feed.XmlUrl));
}

void TItemStoreLink::SetRead(int64_t ItemId, bool Value) {
  if (Ready()) Report(store_->SetRead(ItemId, Value));
}

std::optional<TStoredItem> TItemStoreLink::Find(const TFeed& Feed, const TFeedItem& Item) {
  if (!Ready() || Feed.XmlUrl.empty()) return std::nullopt;
  auto found = store_->FindItem(Feed.XmlUrl, Item);
  if (!found) NoteReadProblem();
  return found;
}

bool TItemStoreLink::IsStarred(const TFeed& Feed, const TFeedItem& Item) {
  if (!Ready() || Feed.XmlUrl.empty()) return false;
  const auto found = store_->FindItem(Feed.XmlUrl, Item);
  return found && found->IsStarred;
}

bool TItemStoreLink::SetStarred(TFeed& Feed, const TFeedItem& Item, bool Value) {
  if (!Ready()) {
    host_.NoteStatus(QStringLiteral("The item store is not open; stars cannot be kept."));
    return false;
  }
  // A feed the store does not hold yet (its cache file was loaded before the store
  // opened) is stored first, so that its items can be starred at once.
  if (Feed.ItemCount() >= 0 && !store_->HoldsFeed(Feed.XmlUrl))
    Report(store_->StoreFeedIfAbsent(Feed, host_.EncodingOf(Feed)));
  return Report(store_->SetStarred(Feed.XmlUrl, Item, Value));
}

bool TItemStoreLink::SetStarred(int64_t ItemId, bool Value) {
  return Ready() && Report(store_->SetStarred(ItemId, Value));
}

// ---------------------------------------------------------------------------------------
// Reading

std::vector<TStoredItem> TItemStoreLink::OlderItems(const TFeed& Feed) {
  if (!Ready() || Feed.XmlUrl.empty()) return {};
  auto items = store_->OlderItems(Feed.XmlUrl);
  if (items.empty()) NoteReadProblem();
  return items;
}

int TItemStoreLink::OlderUnreadCount(const TFeed& Feed) {
  if (!Ready() || Feed.XmlUrl.empty()) return 0;
  return store_->OlderUnreadCount(Feed.XmlUrl);
}

std::vector<TStoredItem> TItemStoreLink::StarredItems() {
  if (!Ready()) return {};
  auto items = store_->StarredItems();
  if (items.empty()) NoteReadProblem();
  return items;
}

std::vector<TStoredItem> TItemStoreLink::Search(const QString& Words,
                                                const std::vector<std::string>& FeedUrls) {
  if (!Ready()) return {};
  const QByteArray typed = Words.toUtf8();
  auto items =
      store_->Search(std::string_view(typed.constData(), static_cast<size_t>(typed.size())), FeedUrls);
  if (items.empty()) NoteReadProblem();
  return items;
}

// ---------------------------------------------------------------------------------------
// Keeping it small

void TItemStoreLink::FeedRemoved(const std::string& Url) {
  if (Ready() && !Url.empty()) Report(store_->RemoveFeed(Url));
}

void TItemStoreLink::RunEnded(int KeepDays) {
  TFeedList& list = host_.FeedList();
  if (!Ready() || list.DefaultHeldBack()) return;
  std::vector<std::string> subscribed;
  for (int i = 0; i < list.Count(); ++i)
    if (!list.Feeds(i)->XmlUrl.empty()) subscribed.push_back(list.Feeds(i)->XmlUrl);
  Report(store_->Prune(subscribed, KeepDays));
}

}  // namespace skimbrook
