// The item store: every item the program has read from each feed's documents, with its
// read and starred flags, kept in one SQLite database (items.db in the data folder) beside
// the cache files. The cache file holds what a feed's document holds now; the store also
// remembers the items that have left it (older items), the stars, and a full-text index
// over titles and texts of all of them.
//
// The store is an addition: the cache files and default.opml never depend on it, so a
// store that cannot be written, or is lost, costs older items and stars only. Every step
// that changes it is one transaction and reports a failure as a value, never by throwing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/uRSS.h"

namespace skimbrook {

class TSqliteDatabase;
class TSqliteStatement;

// Turns a feed's bytes into UTF-8 for the full-text index, given the feed's encoding (as
// the fetch state knows it; may be empty).
using TTextDecoder = std::function<std::string(std::string_view Bytes, std::string_view Encoding)>;
// The current time, for the times an item was first and last seen.
using TStoreClock = std::function<std::chrono::sys_seconds()>;

struct TItemStoreOptions {
  std::string Path;  // empty: DataFolder() + "items.db"
  // Empty: the bytes are indexed as they are, which suits feeds in UTF-8.
  TTextDecoder Decoder;
  TStoreClock Clock;  // empty: the system clock
  // How long a step waits for another program that holds the file before it fails.
  int BusyTimeoutMs = 250;
  std::string Vfs;  // the SQLite VFS to open the file through; empty: the default
};

// The outcome of a step that changes the store.
struct TStoreResult {
  // Empty when the step succeeded; otherwise a sentence for the status bar.
  std::string Problem;
  // The file proved damaged; SetAsideDamaged and a rebuild mend it.
  bool Damaged = false;
  // Items that came back to their feed's document and took the read flag the store held.
  int RestoredReadFlags = 0;
  bool Ok() const { return Problem.empty(); }
};

// The outcome of opening the store.
struct TOpenResult {
  std::string Problem;  // empty when the store is open
  // Where a damaged file was copied before a new store replaced it; the user is told once.
  std::string DamagedCopyPath;
  // The store was made new (first start, deleted or damaged file): it should be filled
  // from the cache files (RebuildFromCacheFiles).
  bool NeedsRebuild = false;
  bool Ok() const { return Problem.empty(); }
};

// One item as the store holds it. Text fields are the feed's bytes.
struct TStoredItem {
  int64_t Id = 0;
  std::string FeedUrl;  // FeedAddressKey of the feed's XmlUrl (see TFeedList::IndexOfAddress)
  std::string FeedTitle;
  std::string Encoding;  // the feed's encoding when it was last stored
  std::string Title;
  std::string Link;
  std::string Description;
  std::string PubDate;                           // as the document wrote it
  std::optional<std::chrono::sys_seconds> Date;  // PubDate read by ParseFeedDate
  std::vector<TEnclosure> Enclosures;
  std::chrono::sys_seconds FirstSeen{};  // when a document first held the item
  std::chrono::sys_seconds LastSeen{};   // when a document last held it
  bool IsCurrent = false;                // the feed's document holds it now
  bool IsRead = false;
  bool IsStarred = false;
};

class TItemStore {
 public:
  explicit TItemStore(TItemStoreOptions Options = {});
  ~TItemStore();
  TItemStore(const TItemStore&) = delete;
  TItemStore& operator=(const TItemStore&) = delete;

  // ---- Opening and faults

  // Opens the file, making it when missing. Cheap: reads no item, checks no page. A file
  // that is no database is copied aside (items.db.damaged-YYYYMMDD-HHMMSS) and replaced by
  // an empty store.
  TOpenResult Open();
  bool IsOpen() const { return db_ != nullptr; }
  void Close();
  const std::string& Path() const { return path_; }
  // A step found the file damaged since it was opened.
  bool IsDamaged() const { return damaged_; }
  // Reads every page of the file; slow on a large store, so for idle time. A damage found
  // is reported as Damaged.
  TStoreResult QuickCheck();
  // Copies the file aside as Open does for a damaged one and starts an empty store.
  TOpenResult SetAsideDamaged();
  // StoreFeedIfAbsent for every feed of List; EncodingOf gives each feed's encoding.
  TStoreResult RebuildFromCacheFiles(const TFeedList& List,
                                     const std::function<std::string(const TFeed&)>& EncodingOf);

  // ---- Filling

  // Records the items of Feed (loaded) as its document holds them now, in one transaction:
  // new items are added with their read flag; items still in the document take the flag
  // the feed gives them; items that come back after leaving the document keep the flag
  // the store holds, which is written back to Feed (its cache file, unread count and
  // Changed()); items no longer in the document become older items. A feed whose items
  // are not loaded is refused.
  TStoreResult StoreFeed(TFeed& Feed, std::string_view Encoding);
  // True when the store holds the items of the feed at FeedUrl.
  bool HoldsFeed(std::string_view FeedUrl);
  // StoreFeed for a feed the store does not hold yet; when Feed's items are not loaded,
  // they are read from its cache file for the store alone. Nothing for a held feed.
  TStoreResult StoreFeedIfAbsent(TFeed& Feed, std::string_view Encoding);
  // The subscription moved from OldUrl to NewUrl: its items follow, unless the store holds
  // items for NewUrl already.
  TStoreResult MoveFeed(std::string_view OldUrl, std::string_view NewUrl);

  // ---- Flags

  // Stores Item.IsRead for the item of the feed at FeedUrl.
  TStoreResult SetRead(std::string_view FeedUrl, const TFeedItem& Item);
  TStoreResult SetRead(int64_t ItemId, bool Value);
  // Marks every item of the feed read, the older ones included.
  TStoreResult CatchUp(std::string_view FeedUrl);
  TStoreResult SetStarred(std::string_view FeedUrl, const TFeedItem& Item, bool Value);
  TStoreResult SetStarred(int64_t ItemId, bool Value);

  // ---- Reading. A read that fails gives nothing and leaves its reason in LastProblem().

  std::optional<TStoredItem> FindItem(std::string_view FeedUrl, const TFeedItem& Item);
  // The items that have left the feed's document, newest first (by date, else by when
  // first seen).
  std::vector<TStoredItem> OlderItems(std::string_view FeedUrl);
  int OlderUnreadCount(std::string_view FeedUrl);
  // Every starred item of every feed, newest first.
  std::vector<TStoredItem> StarredItems();
  // The items, current and older, whose title or text hold every word of Words (UTF-8)
  // as the start of a word, newest first, at most Limit; of the feeds at FeedUrls, or of
  // every feed when FeedUrls is empty.
  std::vector<TStoredItem> Search(std::string_view Words, const std::vector<std::string>& FeedUrls = {},
                                  int Limit = 200);
  const std::string& LastProblem() const { return lastProblem_; }

  // ---- Keeping it small

  // The subscription was removed: its items go, except starred ones.
  TStoreResult RemoveFeed(std::string_view FeedUrl);
  // The clean-up at the end of a download run: older items not seen for KeepDays days go,
  // and so do the items of feeds that are no longer among SubscribedUrls; starred items
  // stay. The freed pages go back to the file system. SubscribedUrls must be the whole
  // list as read from default.opml: an empty list removes every item not starred.
  TStoreResult Prune(const std::vector<std::string>& SubscribedUrls, int KeepDays);

 private:
  class TTransaction;
  void OpenFile();
  void CreateSchema();
  bool HoldsNoFeed();
  TSqliteStatement& Prepared(const std::string& Sql);
  // Runs Step, turning what it throws into the result's problem.
  TStoreResult Guarded(const std::function<void(TStoreResult&)>& Step);
  template <class TValue>
  TValue GuardedRead(const std::function<TValue()>& Read);
  void NoteFailure(const std::exception& Error, TStoreResult& Result);
  std::chrono::sys_seconds Now() const;
  std::string IndexTextOf(std::string_view Bytes, std::string_view Encoding) const;
  std::optional<int64_t> FeedId(std::string_view FeedUrl);
  int64_t UpsertFeed(const TFeed& Feed, std::string_view Encoding);
  // Stores one item of a feed being filled; true when the item came back and Restored
  // holds the flag the store kept for it.
  bool StoreItem(int64_t Feed, const TFeedItem& Item, const std::string& Identity, std::string_view Encoding,
                 bool& Restored);
  void InsertItem(int64_t Feed, const TFeedItem& Item, const std::string& Identity,
                  std::string_view Encoding);
  void ReindexItem(int64_t Id, const TFeedItem& Item, std::string_view Encoding);
  // Deletes the items (and their index rows) that Condition selects, with ?1 (when it
  // has one) bound to Value.
  void DeleteItemsWhere(const std::string& Condition, int64_t Value);
  std::vector<TStoredItem> ReadItems(TSqliteStatement& Query);

  TItemStoreOptions options_;
  std::string path_;
  std::unique_ptr<TSqliteDatabase> db_;
  std::unordered_map<std::string, std::unique_ptr<TSqliteStatement>> statements_;
  std::string lastProblem_;
  bool damaged_ = false;
};

}  // namespace skimbrook
