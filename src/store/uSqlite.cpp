#include "store/uSqlite.h"

namespace skimbrook {

TSqliteDatabase::TSqliteDatabase(const std::string& Path, const std::string& Vfs) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(Path.c_str(), &db_, flags, Vfs.empty() ? nullptr : Vfs.c_str());
  if (rc != SQLITE_OK) {
    // The handle exists even when opening failed, and holds the message.
    const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw TSqliteError(rc, "Cannot open " + Path + ": " + message);
  }
  sqlite3_extended_result_codes(db_, 1);
}

TSqliteDatabase::~TSqliteDatabase() {
  sqlite3_close_v2(db_);
}

void TSqliteDatabase::Execute(const char* Sql) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db_, Sql, nullptr, nullptr, &message);
  if (rc == SQLITE_OK) return;
  const std::string text = message ? message : sqlite3_errstr(rc);
  sqlite3_free(message);
  throw TSqliteError(rc, text);
}

std::string TSqliteDatabase::QueryText(const char* Sql) {
  TSqliteStatement statement(*this, Sql);
  return statement.Step() ? statement.Bytes(0) : std::string();
}

void TSqliteDatabase::Fail(int Code, std::string_view What) const {
  throw TSqliteError(Code, std::string(What) + ": " + sqlite3_errmsg(db_));
}

TSqliteStatement::TSqliteStatement(TSqliteDatabase& Db, std::string_view Sql) : db_(Db) {
  const int rc = sqlite3_prepare_v3(Db.Handle(), Sql.data(), static_cast<int>(Sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  if (rc != SQLITE_OK) Db.Fail(rc, "Cannot prepare a statement of the item store");
}

TSqliteStatement::~TSqliteStatement() {
  sqlite3_finalize(stmt_);
}

TSqliteStatement& TSqliteStatement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  return *this;
}

TSqliteStatement& TSqliteStatement::BindBytes(int Index, std::string_view Bytes) {
  // A zero-length blob rather than NULL, so that an empty text reads back as empty.
  sqlite3_bind_blob64(stmt_, Index, Bytes.empty() ? "" : Bytes.data(), Bytes.size(), SQLITE_TRANSIENT);
  return *this;
}

TSqliteStatement& TSqliteStatement::BindText(int Index, std::string_view Text) {
  sqlite3_bind_text64(stmt_, Index, Text.data(), Text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

TSqliteStatement& TSqliteStatement::BindInt(int Index, int64_t Value) {
  sqlite3_bind_int64(stmt_, Index, Value);
  return *this;
}

TSqliteStatement& TSqliteStatement::BindNull(int Index) {
  sqlite3_bind_null(stmt_, Index);
  return *this;
}

TSqliteStatement& TSqliteStatement::BindOptional(int Index, std::optional<int64_t> Value) {
  return Value ? BindInt(Index, *Value) : BindNull(Index);
}

bool TSqliteStatement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  // The statement is reset at once so that it holds no read lock while the error travels.
  sqlite3_reset(stmt_);
  db_.Fail(rc, "The item store failed");
}

void TSqliteStatement::Run() {
  while (Step()) {
  }
}

std::string TSqliteStatement::Bytes(int Column) const {
  const void* data = sqlite3_column_blob(stmt_, Column);
  const int size = sqlite3_column_bytes(stmt_, Column);
  return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size)) : std::string();
}

int64_t TSqliteStatement::Int(int Column) const {
  return sqlite3_column_int64(stmt_, Column);
}

bool TSqliteStatement::IsNull(int Column) const {
  return sqlite3_column_type(stmt_, Column) == SQLITE_NULL;
}

}  // namespace skimbrook
