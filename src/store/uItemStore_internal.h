// Pieces shared by the sources of the item store.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/uRSS.h"
#include "store/uItemStore.h"
#include "store/uSqlite.h"

namespace skimbrook {

// The select list and joins that read a TStoredItem (see ReadItems); the items are "i",
// their feeds "f".
inline constexpr std::string_view kItemColumns =
    "SELECT i.id, f.url, f.title, f.encoding, i.title, i.link, i.description, i.date_text, i.date, "
    "i.enclosures, i.first_seen, i.last_seen, i.current, i.is_read, i.starred "
    "FROM items i JOIN feeds f ON f.id = i.feed ";

// Enclosures as one blob: each field as its length in decimal digits, ':' and its bytes,
// three fields per enclosure. Lengths make any byte safe inside a field.
std::string PackEnclosures(const std::vector<TEnclosure>& Enclosures);
// The enclosures of a blob made by PackEnclosures; a blob cut short gives those before the cut.
std::vector<TEnclosure> UnpackEnclosures(std::string_view Packed);

// BEGIN IMMEDIATE takes the write lock at once, so a locked file fails the step before any
// work; a transaction not committed is rolled back when it goes out of scope.
class TItemStore::TTransaction {
 public:
  explicit TTransaction(TSqliteDatabase& Db) : db_(Db) { db_.Execute("BEGIN IMMEDIATE"); }
  ~TTransaction() {
    if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    db_.Execute("COMMIT");
    open_ = false;
  }

 private:
  TSqliteDatabase& db_;
  bool open_ = true;
};

// A read that fails leaves its reason in LastProblem() and gives an empty value.
template <class TValue>
TValue TItemStore::GuardedRead(const std::function<TValue()>& Read) {
  lastProblem_.clear();
  if (!db_) {
    lastProblem_ = "The item store is not open.";
    return TValue();
  }
  try {
    return Read();
  } catch (const std::exception& error) {
    TStoreResult result;
    NoteFailure(error, result);
    lastProblem_ = result.Problem;
    return TValue();
  }
}

}  // namespace skimbrook
