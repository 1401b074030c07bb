// The item store's flags, reads and clean-up.
#include <charconv>

#include "store/uItemStore.h"
#include "store/uItemStore_internal.h"
#include "store/uSearchText.h"
#include "store/uSqlite.h"

namespace skimbrook {

namespace {

void PackField(std::string& Out, std::string_view Field) {
  Out += std::to_string(Field.size());
  Out += ':';
  Out.append(Field);
}

// The field at Packed[At] (see PackField), moving At past it; nullopt when cut short.
std::optional<std::string> UnpackField(std::string_view Packed, size_t& At) {
  const size_t colon = Packed.find(':', At);
  size_t size = 0;
  if (colon == std::string_view::npos) return std::nullopt;
  const auto [end, error] = std::from_chars(Packed.data() + At, Packed.data() + colon, size);
  if (error != std::errc() || end != Packed.data() + colon || size > Packed.size() - colon - 1)
    return std::nullopt;
  At = colon + 1 + size;
  return std::string(Packed.substr(colon + 1, size));
}

std::chrono::sys_seconds AsTime(int64_t Seconds) {
  return std::chrono::sys_seconds(std::chrono::seconds(Seconds));
}

// "?2, ?3, ..." for Count parameters numbered from First.
std::string Placeholders(size_t First, size_t Count) {
  std::string list;
  for (size_t i = 0; i < Count; ++i) list += (i ? ", ?" : "?") + std::to_string(First + i);
  return list;
}

}  // namespace

std::string PackEnclosures(const std::vector<TEnclosure>& Enclosures) {
  std::string packed;
  for (const TEnclosure& enclosure : Enclosures) {
    PackField(packed, enclosure.Url);
    PackField(packed, enclosure.Type);
    PackField(packed, enclosure.Length);
  }
  return packed;
}

std::vector<TEnclosure> UnpackEnclosures(std::string_view Packed) {
  std::vector<TEnclosure> enclosures;
  for (size_t at = 0; at < Packed.size();) {
    auto url = UnpackField(Packed, at), type = UnpackField(Packed, at), length = UnpackField(Packed, at);
    if (!url || !type || !length) break;
    enclosures.push_back({std::move(*url), std::move(*type), std::move(*length)});
  }
  return enclosures;
}

// ---------------------------------------------------------------------------------------
// Flags

TStoreResult TItemStore::SetRead(std::string_view FeedUrl, const TFeedItem& Item) {
  return Guarded([&](TStoreResult&) {
    Prepared(
        "UPDATE items SET is_read = ?3 WHERE feed = (SELECT id FROM feeds WHERE url = ?1) AND identity = ?2")
        .Reset()
        .BindBytes(1, FeedAddressKey(FeedUrl))
        .BindBytes(2, ItemIdentity(Item))
        .BindInt(3, Item.IsRead)
        .Run();
  });
}

TStoreResult TItemStore::SetRead(int64_t ItemId, bool Value) {
  return Guarded([&](TStoreResult&) {
    Prepared("UPDATE items SET is_read = ?2 WHERE id = ?1")
        .Reset()
        .BindInt(1, ItemId)
        .BindInt(2, Value)
        .Run();
  });
}

TStoreResult TItemStore::CatchUp(std::string_view FeedUrl) {
  return Guarded([&](TStoreResult&) {
    Prepared(
        "UPDATE items SET is_read = 1 WHERE feed = (SELECT id FROM feeds WHERE url = ?1) AND is_read = 0")
        .Reset()
        .BindBytes(1, FeedAddressKey(FeedUrl))
        .Run();
  });
}

TStoreResult TItemStore::SetStarred(std::string_view FeedUrl, const TFeedItem& Item, bool Value) {
  return Guarded([&](TStoreResult& Result) {
    Prepared(
        "UPDATE items SET starred = ?3 WHERE feed = (SELECT id FROM feeds WHERE url = ?1) AND identity = ?2")
        .Reset()
        .BindBytes(1, FeedAddressKey(FeedUrl))
        .BindBytes(2, ItemIdentity(Item))
        .BindInt(3, Value)
        .Run();
    if (db_->Changes() == 0) Result.Problem = "The item is not in the item store yet.";
  });
}

TStoreResult TItemStore::SetStarred(int64_t ItemId, bool Value) {
  return Guarded([&](TStoreResult&) {
    Prepared("UPDATE items SET starred = ?2 WHERE id = ?1")
        .Reset()
        .BindInt(1, ItemId)
        .BindInt(2, Value)
        .Run();
  });
}

// ---------------------------------------------------------------------------------------
// Reading

std::vector<TStoredItem> TItemStore::ReadItems(TSqliteStatement& Query) {
  std::vector<TStoredItem> items;
  while (Query.Step()) {
    TStoredItem& item = items.emplace_back();
    item.Id = Query.Int(0);
    item.FeedUrl = Query.Bytes(1);
    item.FeedTitle = Query.Bytes(2);
    item.Encoding = Query.Bytes(3);
    item.Title = Query.Bytes(4);
    item.Link = Query.Bytes(5);
    item.Description = Query.Bytes(6);
    item.PubDate = Query.Bytes(7);
    if (!Query.IsNull(8)) item.Date = AsTime(Query.Int(8));
    item.Enclosures = UnpackEnclosures(Query.Bytes(9));
    item.FirstSeen = AsTime(Query.Int(10));
    item.LastSeen = AsTime(Query.Int(11));
    item.IsCurrent = Query.Int(12) != 0;
    item.IsRead = Query.Int(13) != 0;
    item.IsStarred = Query.Int(14) != 0;
  }
  return items;
}

std::optional<TStoredItem> TItemStore::FindItem(std::string_view FeedUrl, const TFeedItem& Item) {
  return GuardedRead<std::optional<TStoredItem>>([&]() -> std::optional<TStoredItem> {
    TSqliteStatement& query = Prepared(std::string(kItemColumns) + "WHERE f.url = ?1 AND i.identity = ?2");
    query.Reset().BindBytes(1, FeedAddressKey(FeedUrl)).BindBytes(2, ItemIdentity(Item));
    std::vector<TStoredItem> found = ReadItems(query);
    if (found.empty()) return std::nullopt;
    return std::move(found.front());
  });
}

std::vector<TStoredItem> TItemStore::OlderItems(std::string_view FeedUrl) {
  return GuardedRead<std::vector<TStoredItem>>([&] {
    TSqliteStatement& query =
        Prepared(std::string(kItemColumns) +
                 "WHERE f.url = ?1 AND i.current = 0 ORDER BY i.sort_time DESC, i.id DESC");
    query.Reset().BindBytes(1, FeedAddressKey(FeedUrl));
    return ReadItems(query);
  });
}

int TItemStore::OlderUnreadCount(std::string_view FeedUrl) {
  return GuardedRead<int>([&] {
    TSqliteStatement& query = Prepared(
        "SELECT count(*) FROM items WHERE feed = (SELECT id FROM feeds WHERE url = ?1) AND current = 0 "
        "AND is_read = 0");
    query.Reset().BindBytes(1, FeedAddressKey(FeedUrl));
    return query.Step() ? static_cast<int>(query.Int(0)) : 0;
  });
}

std::vector<TStoredItem> TItemStore::StarredItems() {
  return GuardedRead<std::vector<TStoredItem>>([&] {
    TSqliteStatement& query =
        Prepared(std::string(kItemColumns) + "WHERE i.starred = 1 ORDER BY i.sort_time DESC, i.id DESC");
    query.Reset();
    return ReadItems(query);
  });
}

std::vector<TStoredItem> TItemStore::Search(std::string_view Words, const std::vector<std::string>& FeedUrls,
                                            int Limit) {
  const std::string match = MatchExpression(Words);
  if (match.empty()) return {};
  return GuardedRead<std::vector<TStoredItem>>([&] {
    // The matching rows are ordered by their times alone, read from a narrow index rather
    // than from the rows with their texts, and only the first page is read whole.
    std::string sql =
        "WITH hits AS (SELECT i.id, i.sort_time FROM item_text t JOIN items i INDEXED BY items_order "
        "ON i.id = t.rowid ";
    if (!FeedUrls.empty())
      sql += "JOIN feeds f ON f.id = i.feed AND f.url IN (" + Placeholders(3, FeedUrls.size()) + ") ";
    sql += "WHERE item_text MATCH ?1 ORDER BY i.sort_time DESC, i.id DESC LIMIT ?2) " +
           std::string(kItemColumns) + "JOIN hits h ON h.id = i.id ORDER BY h.sort_time DESC, h.id DESC";
    TSqliteStatement query(*db_, sql);
    query.BindText(1, match).BindInt(2, Limit);
    for (size_t i = 0; i < FeedUrls.size(); ++i)
      query.BindBytes(static_cast<int>(3 + i), FeedAddressKey(FeedUrls[i]));
    return ReadItems(query);
  });
}

// ---------------------------------------------------------------------------------------
// Keeping it small

void TItemStore::DeleteItemsWhere(const std::string& Condition, int64_t Value) {
  TSqliteStatement unindex(
      *db_, "DELETE FROM item_text WHERE rowid IN (SELECT id FROM items WHERE " + Condition + ")");
  unindex.BindInt(1, Value).Run();
  TSqliteStatement remove(*db_, "DELETE FROM items WHERE " + Condition);
  remove.BindInt(1, Value).Run();
}

TStoreResult TItemStore::RemoveFeed(std::string_view FeedUrl) {
  return Guarded([&](TStoreResult&) {
    const std::optional<int64_t> feed = FeedId(FeedUrl);
    if (!feed) return;
    TTransaction transaction(*db_);
    DeleteItemsWhere("feed = ?1 AND starred = 0", *feed);
    // Starred items stay, as older items of a feed no longer followed.
    Prepared("UPDATE items SET current = 0 WHERE feed = ?1").Reset().BindInt(1, *feed).Run();
    Prepared("UPDATE feeds SET filled = 0 WHERE id = ?1").Reset().BindInt(1, *feed).Run();
    Prepared("DELETE FROM feeds WHERE id = ?1 AND NOT EXISTS (SELECT 1 FROM items WHERE feed = ?1)")
        .Reset()
        .BindInt(1, *feed)
        .Run();
    transaction.Commit();
  });
}

TStoreResult TItemStore::Prune(const std::vector<std::string>& SubscribedUrls, int KeepDays) {
  return Guarded([&](TStoreResult&) {
    TTransaction transaction(*db_);
    db_->Execute("CREATE TEMP TABLE IF NOT EXISTS subscribed(url BLOB PRIMARY KEY); DELETE FROM subscribed;");
    for (const std::string& url : SubscribedUrls)
      Prepared("INSERT OR IGNORE INTO subscribed VALUES(?1)").Reset().BindBytes(1, FeedAddressKey(url)).Run();
    db_->Execute(
        "UPDATE feeds SET filled = 0 WHERE url NOT IN (SELECT url FROM subscribed);"
        "UPDATE items SET current = 0 WHERE feed IN (SELECT id FROM feeds WHERE filled = 0);");
    DeleteItemsWhere("starred = 0 AND feed IN (SELECT id FROM feeds WHERE filled = 0)", 0);
    const int64_t cutoff = (Now() - std::chrono::days(KeepDays)).time_since_epoch().count();
    DeleteItemsWhere("starred = 0 AND current = 0 AND last_seen < ?1", cutoff);
    db_->Execute("DELETE FROM feeds WHERE filled = 0 AND id NOT IN (SELECT feed FROM items);");
    transaction.Commit();
    db_->Execute("PRAGMA incremental_vacuum");
  });
}

}  // namespace skimbrook
