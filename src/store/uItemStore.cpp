#include "store/uItemStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <unordered_set>

#include "base/uFiles.h"
#include "model/uFeedDate.h"
#include "store/uItemStore_internal.h"
#include "store/uSearchText.h"
#include "store/uSqlite.h"

namespace skimbrook {

namespace {

// The layout of the file; a store written by a later layout is not touched.
constexpr int kSchemaVersion = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE feeds(
  id INTEGER PRIMARY KEY,
  url BLOB NOT NULL UNIQUE,
  title BLOB NOT NULL DEFAULT x'',
  encoding TEXT NOT NULL DEFAULT '',
  filled INTEGER NOT NULL DEFAULT 0);
CREATE TABLE items(
  id INTEGER PRIMARY KEY,
  feed INTEGER NOT NULL,
  identity BLOB NOT NULL,
  title BLOB NOT NULL,
  link BLOB NOT NULL,
  description BLOB NOT NULL,
  date_text BLOB NOT NULL,
  date INTEGER,
  enclosures BLOB NOT NULL,
  first_seen INTEGER NOT NULL,
  last_seen INTEGER NOT NULL,
  sort_time INTEGER NOT NULL,
  current INTEGER NOT NULL,
  is_read INTEGER NOT NULL,
  starred INTEGER NOT NULL DEFAULT 0,
  UNIQUE(feed, identity));
CREATE INDEX items_of_feed ON items(feed, current, sort_time);
CREATE INDEX items_starred ON items(sort_time) WHERE starred = 1;
-- Search orders its matches by time through this narrow index instead of the wide rows.
CREATE INDEX items_order ON items(id, sort_time, feed);
-- Words of two and three letters are indexed as prefixes too, so that the first letters
-- typed find their items at once rather than by merging every word that starts so.
CREATE VIRTUAL TABLE item_text USING fts5(title, body, tokenize = 'unicode61 remove_diacritics 2', prefix = '2 3');
)sql";

int64_t Seconds(std::chrono::sys_seconds Time) {
  return Time.time_since_epoch().count();
}

std::optional<int64_t> ParsedDate(const TFeedItem& Item) {
  const auto date = ParseFeedDate(Item.PubDate);
  return date ? std::optional<int64_t>(Seconds(*date)) : std::nullopt;
}

// The file is made readable by its owner alone before SQLite first writes it: it holds
// the addresses of feeds and items. SQLite gives its -wal and -shm files the same mode.
void CreatePrivateFile(const std::string& Path) {
  const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);
}

void RemoveStoreFiles(const std::string& Path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::remove((Path + suffix).c_str());
}

std::string ReasonOf(const TSqliteError& Error) {
  switch (Error.Code()) {
    case SQLITE_FULL:
      return "the disk is full";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "the file is in use by another program";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return "the file is damaged";
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
      return "the file cannot be written";
    default:
      return Error.what();
  }
}

}  // namespace

TItemStore::TItemStore(TItemStoreOptions Options)
    : options_(std::move(Options)),
      path_(options_.Path.empty() ? DataFolder() + "items.db" : options_.Path) {}

TItemStore::~TItemStore() {
  Close();
}

// ---------------------------------------------------------------------------------------
// Opening and faults

TOpenResult TItemStore::Open() {
  Close();
  try {
    OpenFile();
    TOpenResult result;
    result.NeedsRebuild = HoldsNoFeed();
    return result;
  } catch (const TSqliteError& error) {
    Close();
    if (error.IsDamage()) return SetAsideDamaged();
    TOpenResult result;
    result.Problem = "The item store " + path_ + " cannot be opened: " + ReasonOf(error);
    return result;
  }
}

void TItemStore::OpenFile() {
  damaged_ = false;
  CreatePrivateFile(path_);
  db_ = std::make_unique<TSqliteDatabase>(path_, options_.Vfs);
  sqlite3_busy_timeout(db_->Handle(), options_.BusyTimeoutMs);
  const std::string stored = db_->QueryText("PRAGMA user_version");
  const int version = stored.empty() ? 0 : std::stoi(stored);
  if (version > kSchemaVersion)
    throw TSqliteError(SQLITE_ERROR, "it was written by a later version of Skimbrook");
  // Pages freed by the clean-up go back to the file system; this must precede the tables.
  if (version == 0) db_->Execute("PRAGMA auto_vacuum = INCREMENTAL");
  // WAL: a kill loses at most the transaction under way, and readers never wait for the
  // writer. NORMAL syncs at checkpoints only: a commit survives a killed process, and
  // only a power cut can take the last few back.
  if (db_->QueryText("PRAGMA journal_mode = WAL") != "wal")
    throw TSqliteError(SQLITE_ERROR, "it cannot be put in write-ahead mode");
  db_->Execute("PRAGMA synchronous = NORMAL");
  // Searches read scattered rows of a file far larger than SQLite's page cache; mapped,
  // they cost no system call each (searching 100,000 items took four times as long).
  db_->Execute("PRAGMA mmap_size = 268435456");
  if (version == 0) CreateSchema();
}

void TItemStore::CreateSchema() {
  TTransaction transaction(*db_);
  db_->Execute(kSchema);
  db_->Execute(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  transaction.Commit();
}

void TItemStore::Close() {
  statements_.clear();
  db_.reset();
}

bool TItemStore::HoldsNoFeed() {
  return !Prepared("SELECT 1 FROM feeds WHERE filled = 1 LIMIT 1").Reset().Step();
}

TOpenResult TItemStore::SetAsideDamaged() {
  Close();
  TOpenResult result;
  try {
    result.DamagedCopyPath = KeepDamagedCopy(path_);
    // The log of the last transactions belongs with the copy: together they are the store.
    if (FileExists(path_ + "-wal"))
      WritePrivateFileAtomic(result.DamagedCopyPath + "-wal", ReadFileBytes(path_ + "-wal"));
  } catch (const std::exception& error) {
    // Without a copy the damaged file stays as it is, and the store stays closed.
    result.Problem = std::string("The damaged item store could not be copied aside: ") + error.what();
    return result;
  }
  RemoveStoreFiles(path_);
  try {
    OpenFile();
  } catch (const TSqliteError& error) {
    Close();
    result.Problem = "A new item store " + path_ + " cannot be made: " + ReasonOf(error);
  }
  result.NeedsRebuild = true;
  return result;
}

TStoreResult TItemStore::QuickCheck() {
  return Guarded([&](TStoreResult& Result) {
    TSqliteStatement check(*db_, "PRAGMA quick_check");
    if (check.Step() && check.Bytes(0) != "ok") {
      damaged_ = true;
      Result.Damaged = true;
      Result.Problem = "The item store is damaged: " + check.Bytes(0);
    }
  });
}

TStoreResult TItemStore::RebuildFromCacheFiles(const TFeedList& List,
                                               const std::function<std::string(const TFeed&)>& EncodingOf) {
  TStoreResult total;
  for (int i = 0; i < List.Count(); ++i) {
    TFeed& feed = *List.Feeds(i);
    if (feed.XmlUrl.empty()) continue;
    TStoreResult step = StoreFeedIfAbsent(feed, EncodingOf ? EncodingOf(feed) : std::string());
    if (total.Problem.empty()) total.Problem = step.Problem;
    total.Damaged = total.Damaged || step.Damaged;
  }
  return total;
}

// ---------------------------------------------------------------------------------------
// Shared helpers

TSqliteStatement& TItemStore::Prepared(const std::string& Sql) {
  auto& statement = statements_[Sql];
  if (!statement) statement = std::make_unique<TSqliteStatement>(*db_, Sql);
  return *statement;
}

void TItemStore::NoteFailure(const std::exception& Error, TStoreResult& Result) {
  const auto* sqlite = dynamic_cast<const TSqliteError*>(&Error);
  Result.Damaged = sqlite && sqlite->IsDamage();
  damaged_ = damaged_ || Result.Damaged;
  Result.Problem =
      "The item store was not updated: " + (sqlite ? ReasonOf(*sqlite) : std::string(Error.what()));
}

TStoreResult TItemStore::Guarded(const std::function<void(TStoreResult&)>& Step) {
  TStoreResult result;
  if (!db_) {
    result.Problem = "The item store is not open.";
    return result;
  }
  try {
    Step(result);
  } catch (const std::exception& error) {
    NoteFailure(error, result);
  }
  return result;
}

std::chrono::sys_seconds TItemStore::Now() const {
  if (options_.Clock) return options_.Clock();
  return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

std::string TItemStore::IndexTextOf(std::string_view Bytes, std::string_view Encoding) const {
  return IndexText(options_.Decoder ? options_.Decoder(Bytes, Encoding) : std::string(Bytes));
}

std::optional<int64_t> TItemStore::FeedId(std::string_view FeedUrl) {
  TSqliteStatement& query = Prepared("SELECT id FROM feeds WHERE url = ?1");
  query.Reset().BindBytes(1, FeedAddressKey(FeedUrl));
  return query.Step() ? std::optional<int64_t>(query.Int(0)) : std::nullopt;
}

// ---------------------------------------------------------------------------------------
// Filling

TStoreResult TItemStore::StoreFeed(TFeed& Feed, std::string_view Encoding) {
  // A feed whose items are not loaded would look as if every item had left it.
  if (Feed.ItemCount() < 0) {
    TStoreResult result;
    result.Problem = "The items of " + AddressWithoutPassword(Feed.XmlUrl) + " are not loaded.";
    return result;
  }
  std::vector<std::pair<TFeedItem*, bool>> restored;
  TStoreResult result = Guarded([&](TStoreResult&) {
    TTransaction transaction(*db_);
    const int64_t feed = UpsertFeed(Feed, Encoding);
    // Current items are marked pending; those the document still holds become current
    // again below, the rest are older items from now on.
    Prepared("UPDATE items SET current = 2 WHERE feed = ?1 AND current = 1").Reset().BindInt(1, feed).Run();
    std::unordered_set<std::string> seen;
    for (int i = 0; i < Feed.ItemCount(); ++i) {
      TFeedItem& item = Feed.Items(i);
      std::string identity = ItemIdentity(item);
      if (!seen.insert(identity).second) continue;  // a repeated item counts once, as first given
      bool storedFlag = false;
      if (StoreItem(feed, item, identity, Encoding, storedFlag)) restored.emplace_back(&item, storedFlag);
    }
    Prepared("UPDATE items SET current = 0 WHERE feed = ?1 AND current = 2").Reset().BindInt(1, feed).Run();
    transaction.Commit();
  });
  if (!result.Ok() || restored.empty()) return result;
  // Only what the store committed goes back to the feed and its cache file.
  for (auto& [item, flag] : restored) item->IsRead = flag;
  result.RestoredReadFlags = static_cast<int>(restored.size());
  Feed.UnreadCount = Feed.CountUnread();
  try {
    Feed.SaveCache();
  } catch (const std::exception& error) {
    result.Problem = std::string("The read flags of returning items were not saved: ") + error.what();
  }
  Feed.Changed();
  return result;
}

int64_t TItemStore::UpsertFeed(const TFeed& Feed, std::string_view Encoding) {
  Prepared(
      "INSERT INTO feeds(url, title, encoding, filled) VALUES(?1, ?2, ?3, 1) "
      "ON CONFLICT(url) DO UPDATE SET title = ?2, encoding = ?3, filled = 1")
      .Reset()
      .BindBytes(1, FeedAddressKey(Feed.XmlUrl))
      .BindBytes(2, Feed.Title)
      .BindText(3, Encoding)
      .Run();
  return *FeedId(Feed.XmlUrl);
}

bool TItemStore::StoreItem(int64_t Feed, const TFeedItem& Item, const std::string& Identity,
                           std::string_view Encoding, bool& Restored) {
  TSqliteStatement& find = Prepared(
      "SELECT id, current, is_read, title, description FROM items WHERE feed = ?1 AND identity = ?2");
  find.Reset().BindInt(1, Feed).BindBytes(2, Identity);
  if (!find.Step()) {
    InsertItem(Feed, Item, Identity, Encoding);
    return false;
  }
  const int64_t id = find.Int(0);
  const bool returning = find.Int(1) == 0;
  const bool storedRead = find.Int(2) != 0;
  const bool textChanged = find.Bytes(3) != Item.Title || find.Bytes(4) != Item.Description;
  find.Reset();
  // An item still in the document follows the feed's flag; one that comes back keeps the
  // flag it had when it left, which the feed lost with it.
  const bool isRead = returning ? storedRead : Item.IsRead;
  Prepared(
      "UPDATE items SET title = ?2, link = ?3, description = ?4, date_text = ?5, date = ?6, enclosures = ?7, "
      "last_seen = ?8, sort_time = coalesce(?6, first_seen), current = 1, is_read = ?9 WHERE id = ?1")
      .Reset()
      .BindInt(1, id)
      .BindBytes(2, Item.Title)
      .BindBytes(3, Item.Link)
      .BindBytes(4, Item.Description)
      .BindBytes(5, Item.PubDate)
      .BindOptional(6, ParsedDate(Item))
      .BindBytes(7, PackEnclosures(Item.Enclosures))
      .BindInt(8, Seconds(Now()))
      .BindInt(9, isRead)
      .Run();
  if (textChanged) ReindexItem(id, Item, Encoding);
  Restored = storedRead;
  return returning && storedRead != Item.IsRead;
}

void TItemStore::InsertItem(int64_t Feed, const TFeedItem& Item, const std::string& Identity,
                            std::string_view Encoding) {
  const std::optional<int64_t> date = ParsedDate(Item);
  const int64_t now = Seconds(Now());
  Prepared(
      "INSERT INTO items(feed, identity, title, link, description, date_text, date, enclosures, first_seen, "
      "last_seen, sort_time, current, is_read) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?9, ?10, 1, ?11)")
      .Reset()
      .BindInt(1, Feed)
      .BindBytes(2, Identity)
      .BindBytes(3, Item.Title)
      .BindBytes(4, Item.Link)
      .BindBytes(5, Item.Description)
      .BindBytes(6, Item.PubDate)
      .BindOptional(7, date)
      .BindBytes(8, PackEnclosures(Item.Enclosures))
      .BindInt(9, now)
      .BindInt(10, date.value_or(now))
      .BindInt(11, Item.IsRead)
      .Run();
  Prepared("INSERT INTO item_text(rowid, title, body) VALUES(?1, ?2, ?3)")
      .Reset()
      .BindInt(1, sqlite3_last_insert_rowid(db_->Handle()))
      .BindText(2, IndexTextOf(Item.Title, Encoding))
      .BindText(3, IndexTextOf(Item.Description, Encoding))
      .Run();
}

void TItemStore::ReindexItem(int64_t Id, const TFeedItem& Item, std::string_view Encoding) {
  Prepared("UPDATE item_text SET title = ?2, body = ?3 WHERE rowid = ?1")
      .Reset()
      .BindInt(1, Id)
      .BindText(2, IndexTextOf(Item.Title, Encoding))
      .BindText(3, IndexTextOf(Item.Description, Encoding))
      .Run();
}

bool TItemStore::HoldsFeed(std::string_view FeedUrl) {
  return GuardedRead<bool>([&] {
    TSqliteStatement& query = Prepared("SELECT filled FROM feeds WHERE url = ?1");
    query.Reset().BindBytes(1, FeedAddressKey(FeedUrl));
    return query.Step() && query.Int(0) != 0;
  });
}

TStoreResult TItemStore::StoreFeedIfAbsent(TFeed& Feed, std::string_view Encoding) {
  if (!db_ || HoldsFeed(Feed.XmlUrl)) return Guarded([](TStoreResult&) {});
  if (Feed.ItemCount() >= 0) return StoreFeed(Feed, Encoding);
  // The feed's own items stay unloaded, as the program loads them only when shown.
  TFeed scratch(Feed.Title, Feed.HtmlUrl, Feed.XmlUrl, Feed.Description);
  const std::string cache = Feed.CacheFileName();
  if (!FileExists(cache)) return {};
  try {
    scratch.LoadFromFile(cache);
  } catch (const std::exception& error) {
    TStoreResult result;
    result.Problem =
        "The items of " + AddressWithoutPassword(Feed.XmlUrl) + " were not stored: " + error.what();
    return result;
  }
  scratch.Title = Feed.Title;
  return StoreFeed(scratch, Encoding);
}

TStoreResult TItemStore::MoveFeed(std::string_view OldUrl, std::string_view NewUrl) {
  return Guarded([&](TStoreResult&) {
    if (FeedAddressKey(OldUrl) == FeedAddressKey(NewUrl) || FeedId(NewUrl)) return;
    Prepared("UPDATE feeds SET url = ?2 WHERE url = ?1")
        .Reset()
        .BindBytes(1, FeedAddressKey(OldUrl))
        .BindBytes(2, FeedAddressKey(NewUrl))
        .Run();
  });
}

}  // namespace skimbrook
