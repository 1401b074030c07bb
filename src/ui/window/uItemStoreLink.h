// The window's side of the item store (items.db): it owns the store, opens it once the
// window has been shown, fills it from the cache files in idle time when it is new or was
// damaged, and turns what the panes and the download runs do into the store's steps. A
// step that fails is a status-bar note; nothing else depends on the store, so a closed or
// failing store costs older items, stars and search only.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/uItemStore.h"

class QTimer;

namespace skimbrook {

class TFeed;
class TFeedItem;
class TPaneHost;

class TItemStoreLink : public QObject {
  Q_OBJECT

 public:
  explicit TItemStoreLink(TPaneHost& Host, QObject* Parent = nullptr);
  ~TItemStoreLink() override;

  // The window has been shown: the store opens once the events already waiting have been
  // handled, so that opening never holds up the window's first paint.
  void OpenSoon();
  // Opens the store now when the window asked for it and it has not been opened yet (a
  // download may end before the posted opening has run); true when it is open.
  bool Ready();
  bool IsOpen() const { return store_ && store_->IsOpen(); }
  // True while feeds of the list are still being stored from their cache files.
  bool Rebuilding() const;
  // The store itself, or none before it was opened.
  TItemStore* Store() { return IsOpen() ? store_.get() : nullptr; }

  // ---- Filling
  // A download merged Feed's new document; AddressBefore is its address when the run
  // started (the run moves a subscription that has moved for good before it merges).
  void FeedDownloaded(TFeed& Feed, const std::string& AddressBefore);
  // Feed's cache file was loaded: its items are stored unless the store holds them.
  void FeedLoaded(TFeed& Feed);
  // The subscription moved from OldUrl to NewUrl.
  void FeedMoved(const std::string& OldUrl, const std::string& NewUrl);

  // ---- Flags
  // Item's read flag changed (the model has written the cache file).
  void ItemReadChanged(const TFeed& Feed, const TFeedItem& Item);
  void FeedCaughtUp(const TFeed& Feed);
  void SetRead(int64_t ItemId, bool Value);
  bool IsStarred(const TFeed& Feed, const TFeedItem& Item);
  // Stars or unstars Item; false when the store could not.
  bool SetStarred(TFeed& Feed, const TFeedItem& Item, bool Value);
  bool SetStarred(int64_t ItemId, bool Value);
  // The stored item of Feed's Item, when the store has it.
  std::optional<TStoredItem> Find(const TFeed& Feed, const TFeedItem& Item);

  // ---- Reading (nothing while the store is closed)
  std::vector<TStoredItem> OlderItems(const TFeed& Feed);
  int OlderUnreadCount(const TFeed& Feed);
  std::vector<TStoredItem> StarredItems();
  // Items whose titles or texts hold every typed word as a word's start, newest first; of
  // the feeds at FeedUrls, or of all feeds when it is empty.
  std::vector<TStoredItem> Search(const QString& Words, const std::vector<std::string>& FeedUrls);

  // ---- Keeping it small
  void FeedRemoved(const std::string& Url);
  // The clean-up at a download run's end: older items not seen for KeepDays days and the
  // items of feeds no longer subscribed go. Skipped while the list on the disk was not
  // read, since the list in memory is then not the user's whole list.
  void RunEnded(int KeepDays);

 private:
  void OpenNow();
  // Shows a failed step's problem in the status bar and mends a damaged file; true when
  // the step succeeded.
  bool Report(const TStoreResult& Result);
  // Copies a damaged file aside, starts a new store and fills it from the cache files.
  void SetAsideAndRebuild();
  // Tells the user, once per run of the program, where the damaged file was copied.
  void TellDamagedCopy(const std::string& Path);
  void StartRebuild();
  // Stores one feed of the list that the store does not hold; one per idle tick.
  void RebuildStep();
  void QuickCheckTimerTimer();
  void NoteReadProblem();

  TPaneHost& host_;
  std::unique_ptr<TItemStore> store_;
  bool wanted_ = false;
  bool opened_ = false;
  bool told_ = false;
  int rebuildRow_ = -1;
  QTimer* RebuildTimer = nullptr;
  QTimer* QuickCheckTimer = nullptr;
};

}  // namespace skimbrook
