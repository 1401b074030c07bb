// A thin owner of an SQLite connection and its prepared statements, for the item store.
// Every failure becomes a TSqliteError that keeps SQLite's result code, so that callers can
// tell a full disk, a locked file and a damaged file apart.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace skimbrook {

// An SQLite failure: the message names what was being done and SQLite's own words.
class TSqliteError : public std::runtime_error {
 public:
  TSqliteError(int Code, const std::string& Message) : std::runtime_error(Message), code_(Code) {}
  // SQLite's primary result code (SQLITE_FULL, SQLITE_BUSY, SQLITE_CORRUPT, ...).
  int Code() const { return code_ & 0xff; }
  // True for the codes that say the file is not a sound database.
  bool IsDamage() const { return Code() == SQLITE_CORRUPT || Code() == SQLITE_NOTADB; }

 private:
  int code_;
};

// One open database file; closed with the object.
class TSqliteDatabase {
 public:
  // Opens (creating when missing) the file at Path through the VFS named Vfs (empty: the
  // default one). Throws TSqliteError.
  TSqliteDatabase(const std::string& Path, const std::string& Vfs = {});
  ~TSqliteDatabase();
  TSqliteDatabase(const TSqliteDatabase&) = delete;
  TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

  sqlite3* Handle() const { return db_; }
  // Runs one or more statements that return nothing the caller needs.
  void Execute(const char* Sql);
  // The first column of the first row of Sql, as text; empty when there is no row.
  std::string QueryText(const char* Sql);
  int64_t Changes() const { return sqlite3_changes64(db_); }
  // Throws the error that SQLite reported for Code, prefixed by What.
  [[noreturn]] void Fail(int Code, std::string_view What) const;

 private:
  sqlite3* db_ = nullptr;
};

// A prepared statement, reset before each use so that it can be kept and run again.
class TSqliteStatement {
 public:
  TSqliteStatement(TSqliteDatabase& Db, std::string_view Sql);
  ~TSqliteStatement();
  TSqliteStatement(const TSqliteStatement&) = delete;
  TSqliteStatement& operator=(const TSqliteStatement&) = delete;

  // Clears the previous run and its bindings; returns *this for chaining binds.
  TSqliteStatement& Reset();
  // Parameters are numbered from 1. Bytes are bound as a blob: the store keeps a feed's
  // text as its bytes, which need not be valid UTF-8.
  TSqliteStatement& BindBytes(int Index, std::string_view Bytes);
  TSqliteStatement& BindText(int Index, std::string_view Text);
  TSqliteStatement& BindInt(int Index, int64_t Value);
  TSqliteStatement& BindNull(int Index);
  TSqliteStatement& BindOptional(int Index, std::optional<int64_t> Value);
  // Runs to the next row: true when there is one, false when done. Throws TSqliteError.
  bool Step();
  // Runs a statement that returns no rows.
  void Run();

  // Columns are numbered from 0.
  std::string Bytes(int Column) const;
  int64_t Int(int Column) const;
  bool IsNull(int Column) const;

 private:
  TSqliteDatabase& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace skimbrook
