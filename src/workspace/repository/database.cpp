// The workspace database connection, its statement cache and write transactions.
#include "workspace/repository/database.h"

#include <fmt/core.h>
#include <sqlite3.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "workspace/repository/schema.h"

namespace svregistration::workspace {

namespace {

// SQLITE_TRANSIENT without the old-style cast of SQLite's macro: SQLite copies the bound text.
const sqlite3_destructor_type kCopyBoundText = reinterpret_cast<sqlite3_destructor_type>(-1);

// The SQL text as error messages show it: whitespace runs folded, long texts cut.
std::string ShortSql(std::string_view sql) {
  constexpr std::size_t kMaxLength = 120;
  std::string text;
  bool space = false;
  for (char c : sql) {
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
      space = !text.empty();
      continue;
    }
    if (space) text += ' ';
    space = false;
    text += c;
    if (text.size() > kMaxLength) {
      text += "...";
      break;
    }
  }
  return text;
}

// Removes a database file with its write-ahead log and shared-memory index; failures ignored.
void RemoveDatabaseFiles(const std::string& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::filesystem::remove(path + suffix, ignored);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Statement

Statement::Statement(Database* database, sqlite3_stmt* statement, bool* busy, std::string_view sql)
    : database_(database), statement_(statement), busy_(busy), sql_(sql) {
  if (busy_ != nullptr) *busy_ = true;
}

Statement::Statement(Statement&& other) noexcept
    : database_(other.database_),
      statement_(std::exchange(other.statement_, nullptr)),
      busy_(std::exchange(other.busy_, nullptr)),
      sql_(other.sql_) {}

Statement::~Statement() {
  if (statement_ == nullptr) return;
  if (busy_ == nullptr) {
    sqlite3_finalize(statement_);
    return;
  }
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
  *busy_ = false;
}

void Statement::Fail(std::string_view what) const {
  throw database_->Failure(fmt::format("{} '{}'", what, ShortSql(sql_)));
}

Statement& Statement::Bind(int index, std::string_view text) {
  if (sqlite3_bind_text64(statement_, index, text.data(), text.size(), kCopyBoundText,
                          SQLITE_UTF8) != SQLITE_OK) {
    Fail(fmt::format("binding parameter {} of", index));
  }
  return *this;
}

Statement& Statement::Bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(statement_, index, static_cast<sqlite3_int64>(value)) != SQLITE_OK) {
    Fail(fmt::format("binding parameter {} of", index));
  }
  return *this;
}

Statement& Statement::Bind(int index, const std::optional<std::string>& text) {
  if (text) return Bind(index, std::string_view(*text));
  if (sqlite3_bind_null(statement_, index) != SQLITE_OK) {
    Fail(fmt::format("binding parameter {} of", index));
  }
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail("running");
}

void Statement::Run() {
  while (Step()) {
  }
}

std::int64_t Statement::Int(int column) const {
  return static_cast<std::int64_t>(sqlite3_column_int64(statement_, column));
}

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_, column);
  if (text == nullptr) return {};
  int size = sqlite3_column_bytes(statement_, column);
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

// ---------------------------------------------------------------------------------------------
// Database

Database::Database(sqlite3* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

Database::~Database() {
  for (auto& [sql, cached] : cache_) sqlite3_finalize(cached.statement);
  sqlite3_close_v2(handle_);
}

Error Database::Failure(std::string_view step) const {
  return Failure(step, sqlite3_errmsg(handle_));
}

Error Database::Failure(std::string_view step, std::string_view message) const {
  return Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
               fmt::format("{} failed in the workspace database '{}': {}", step, path_, message));
}

std::shared_ptr<Database> Database::Connect(const std::string& path, int flags) {
  sqlite3* handle = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &handle, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc);
    sqlite3_close_v2(handle);
    throw Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
                fmt::format("cannot open the workspace database '{}': {}", path, message));
  }
  return std::shared_ptr<Database>(new Database(handle, path));
}

void Database::Configure() {
  sqlite3_busy_timeout(handle_, kBusyTimeoutMilliseconds);
  // Attributes, relations and generated entries are removed with their object.
  Execute("PRAGMA foreign_keys = ON");
}

std::shared_ptr<Database> Database::Create(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    throw Error(kFileAlreadyExists, kDatabaseErrorSource,
                fmt::format("the workspace database '{}' already exists", path));
  }
  std::shared_ptr<Database> database;
  try {
    database = Connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    database->Configure();
    CreateSchema(*database);
  } catch (...) {
    database.reset();
    RemoveDatabaseFiles(path);
    throw;
  }
  return database;
}

std::shared_ptr<Database> Database::Open(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    throw Error(error_number::kFileNotFound, kDatabaseErrorSource,
                fmt::format("the workspace database '{}' does not exist", path));
  }
  if (std::filesystem::is_directory(path, ec)) {
    throw Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
                fmt::format("the workspace database '{}' is a folder, not a file", path));
  }
  std::shared_ptr<Database> database = Connect(path, SQLITE_OPEN_READWRITE);
  database->Configure();
  VerifySchema(*database);
  return database;
}

Statement Database::Prepare(std::string_view sql) {
  auto [it, inserted] = cache_.try_emplace(std::string(sql));
  CachedStatement& cached = it->second;
  if (cached.statement != nullptr && !cached.busy) {
    return Statement(this, cached.statement, &cached.busy, it->first);
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(handle_, sql.data(), static_cast<int>(sql.size()),
                         SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
    if (inserted) cache_.erase(it);
    throw Failure(fmt::format("preparing '{}'", ShortSql(sql)));
  }
  if (cached.statement == nullptr) {
    cached.statement = statement;
    return Statement(this, statement, &cached.busy, it->first);
  }
  // The cached statement is in use further up the stack: this use gets its own.
  return Statement(this, statement, nullptr, it->first);
}

void Database::Execute(std::string_view sql) {
  std::string text(sql);
  char* message = nullptr;
  if (sqlite3_exec(handle_, text.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string why = message != nullptr ? message : sqlite3_errmsg(handle_);
    sqlite3_free(message);
    throw Failure(fmt::format("running '{}'", ShortSql(sql)), why);
  }
}

bool Database::InTransaction() const { return sqlite3_get_autocommit(handle_) == 0; }

std::int64_t Database::LastInsertRowId() const {
  return static_cast<std::int64_t>(sqlite3_last_insert_rowid(handle_));
}

int Database::Changes() const { return sqlite3_changes(handle_); }

// ---------------------------------------------------------------------------------------------
// Transaction

void Database::BeginBatch(std::chrono::milliseconds window, bool commit_when_asked) {
  if (batching_) return;
  Execute("BEGIN IMMEDIATE");
  batching_ = true;
  commit_when_asked_ = commit_when_asked;
  window_ = window;
  batch_started_ = std::chrono::steady_clock::now();
}

bool Database::CommitBatchIfDue() {
  if (!batching_ || depth_ != 0) return false;
  if (std::chrono::steady_clock::now() - batch_started_ < window_) return false;
  CommitOrRollBack();
  Execute("BEGIN IMMEDIATE");
  batch_started_ = std::chrono::steady_clock::now();
  return true;
}

void Database::EndBatch() {
  if (!batching_) return;
  batching_ = false;
  if (InTransaction()) CommitOrRollBack();
}

// A COMMIT that fails (a full disk, say) may leave the transaction open: it is rolled back, so
// that nothing of the batch is taken for kept, and the failure is raised.
void Database::CommitOrRollBack() {
  try {
    Execute("COMMIT");
  } catch (const Error&) {
    batching_ = false;
    try {
      if (InTransaction()) Execute("ROLLBACK");
    } catch (const Error&) {
      // SQLite has rolled back by itself; the COMMIT's failure is the one to report.
    }
    throw;
  }
}

void Database::ChangeCommitted() {
  if (!commit_when_asked_) CommitBatchIfDue();
}

Transaction::Transaction(Database& database, std::string what)
    : database_(database), what_(std::move(what)), nested_(database.InTransaction()) {
  try {
    database_.Execute(nested_ ? "SAVEPOINT nested" : "BEGIN IMMEDIATE");
  } catch (const Error& error) {
    throw Error(error.number(), error.source(),
                fmt::format("{}: cannot start the change: {}", what_, error.description()));
  }
  ++database_.depth_;
}

Transaction::~Transaction() {
  if (!open_) return;
  --database_.depth_;
  try {
    database_.Execute(nested_ ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK");
  } catch (const Error&) {
    // SQLite may already have rolled the transaction back itself (after an I/O error, for
    // example); there is nothing more to undo.
  }
}

void Transaction::Commit() {
  try {
    database_.Execute(nested_ ? "RELEASE nested" : "COMMIT");
  } catch (const Error& error) {
    throw Error(error.number(), error.source(),
                fmt::format("{}: cannot commit the change: {}", what_, error.description()));
  }
  open_ = false;
  --database_.depth_;
  database_.ChangeCommitted();
}

}  // namespace svregistration::workspace
