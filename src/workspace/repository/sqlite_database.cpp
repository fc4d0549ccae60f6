// The SQLite workspace database: its statements, the busy handler and the writers' queue.
#include "workspace/repository/sqlite_database.h"

#include <fcntl.h>
#include <fmt/core.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "workspace/repository/schema.h"

namespace svregistration::workspace {

namespace {

// SQLITE_TRANSIENT without the old-style cast of SQLite's macro: SQLite copies the bound text.
const sqlite3_destructor_type kCopyBoundText = reinterpret_cast<sqlite3_destructor_type>(-1);

constexpr std::string_view kRowLock = " FOR UPDATE";

// Removes a database file with its write-ahead log and shared-memory index; failures ignored.
void RemoveDatabaseFiles(const std::string& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::filesystem::remove(path + suffix, ignored);
  }
}

// Holds the writers' queue file shared while it lives (nothing when there is no queue file).
class PlaceInQueue {
 public:
  explicit PlaceInQueue(int fd) : fd_(fd) {
    if (fd_ >= 0) ::flock(fd_, LOCK_SH);
  }
  ~PlaceInQueue() {
    if (fd_ >= 0) ::flock(fd_, LOCK_UN);
  }
  PlaceInQueue(const PlaceInQueue&) = delete;
  PlaceInQueue& operator=(const PlaceInQueue&) = delete;

 private:
  int fd_;
};

class SqliteStatement final : public PreparedStatement {
 public:
  SqliteStatement(const SqliteDatabase& database, sqlite3_stmt* statement, std::string_view sql)
      : database_(database), statement_(statement), sql_(sql) {}
  ~SqliteStatement() override { sqlite3_finalize(statement_); }

  void BindText(int index, std::string_view text) override {
    Check(sqlite3_bind_text64(statement_, index, text.data(), text.size(), kCopyBoundText,
                              SQLITE_UTF8),
          index);
  }
  void BindInt(int index, std::int64_t value) override {
    Check(sqlite3_bind_int64(statement_, index, static_cast<sqlite3_int64>(value)), index);
  }
  void BindNull(int index) override { Check(sqlite3_bind_null(statement_, index), index); }

  bool Step() override {
    int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw database_.Failure(fmt::format("running '{}'", ShortSql(sql_)));
  }
  std::int64_t Int(int column) const override {
    return static_cast<std::int64_t>(sqlite3_column_int64(statement_, column));
  }
  std::string Text(int column) const override {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    if (text == nullptr) return {};
    int size = sqlite3_column_bytes(statement_, column);
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
  }
  bool IsNull(int column) const override {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
  }
  void Reset() override {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }

 private:
  void Check(int rc, int index) const {
    if (rc != SQLITE_OK) {
      throw database_.Failure(fmt::format("binding parameter {} of '{}'", index, ShortSql(sql_)));
    }
  }

  const SqliteDatabase& database_;
  sqlite3_stmt* statement_;
  std::string sql_;
};

}  // namespace

std::shared_ptr<Database> Database::Create(const std::string& path) {
  return SqliteDatabase::CreateFile(path);
}

std::shared_ptr<Database> Database::Open(const std::string& path) {
  return SqliteDatabase::OpenFile(path);
}

SqliteDatabase::SqliteDatabase(sqlite3* handle, std::string path)
    : Database(std::move(path), Dialect::kSqlite), handle_(handle) {}

SqliteDatabase::~SqliteDatabase() {
  ClearStatementCache();
  for (auto& [text, statement] : executables_) sqlite3_finalize(statement);
  sqlite3_close_v2(handle_);
  if (queue_fd_ >= 0) ::close(queue_fd_);
}

Error SqliteDatabase::Failure(std::string_view step) const {
  return Database::Failure(step, sqlite3_errmsg(handle_));
}

std::shared_ptr<SqliteDatabase> SqliteDatabase::Connect(const std::string& path, int flags) {
  sqlite3* handle = nullptr;
  // A connection is used by one thread at a time (the host's objects are not shared between
  // threads): SQLite need not take its own lock around every call.
  int rc = sqlite3_open_v2(path.c_str(), &handle, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc);
    sqlite3_close_v2(handle);
    throw Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
                fmt::format("cannot open the workspace database '{}': {}", path, message));
  }
  return std::shared_ptr<SqliteDatabase>(new SqliteDatabase(handle, path));
}

void SqliteDatabase::Configure() {
  sqlite3_busy_handler(handle_, &SqliteDatabase::WaitWhileBusy, this);
  // A folder where the queue file cannot be made (read-only) still lets the workspace be read.
  queue_fd_ = ::open((path() + "-writers").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  // Attributes, relations and generated entries are removed with their object.
  Execute("PRAGMA foreign_keys = ON");
}

std::shared_ptr<SqliteDatabase> SqliteDatabase::CreateFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    throw Error(kFileAlreadyExists, kDatabaseErrorSource,
                fmt::format("the workspace database '{}' already exists", path));
  }
  std::shared_ptr<SqliteDatabase> database;
  try {
    database = Connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    database->Configure();
    CreateSchema(*database);
  } catch (...) {
    database.reset();
    RemoveDatabaseFiles(path);
    std::filesystem::remove(path + "-writers", ec);
    throw;
  }
  return database;
}

std::shared_ptr<SqliteDatabase> SqliteDatabase::OpenFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    throw Error(error_number::kFileNotFound, kDatabaseErrorSource,
                fmt::format("the workspace database '{}' does not exist", path));
  }
  if (std::filesystem::is_directory(path, ec)) {
    throw Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
                fmt::format("the workspace database '{}' is a folder, not a file", path));
  }
  std::shared_ptr<SqliteDatabase> database = Connect(path, SQLITE_OPEN_READWRITE);
  database->Configure();
  VerifySchema(*database);
  return database;
}

std::unique_ptr<PreparedStatement> SqliteDatabase::PrepareStatement(std::string_view sql) {
  // The write transaction locks the whole file, so the row locks the shared SQL asks for are
  // already held.
  if (sql.size() > kRowLock.size() && sql.substr(sql.size() - kRowLock.size()) == kRowLock) {
    sql.remove_suffix(kRowLock.size());
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(handle_, sql.data(), static_cast<int>(sql.size()),
                         SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
    throw Failure(fmt::format("preparing '{}'", ShortSql(sql)));
  }
  return std::make_unique<SqliteStatement>(*this, statement, sql);
}

sqlite3_stmt* SqliteDatabase::ExecutableStatement(const std::string& text) {
  if (auto it = executables_.find(text); it != executables_.end()) return it->second;
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v3(handle_, text.c_str(), static_cast<int>(text.size()),
                         SQLITE_PREPARE_PERSISTENT, &statement, &tail) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return nullptr;  // sqlite3_exec reports the error
  }
  if (statement == nullptr ||
      std::string_view(tail).find_first_not_of(" \t\r\n;") != std::string_view::npos) {
    sqlite3_finalize(statement);
    statement = nullptr;  // several statements: always through sqlite3_exec
  }
  executables_.emplace(text, statement);
  return statement;
}

void SqliteDatabase::ExecuteText(std::string_view sql) {
  std::string text(sql);
  if (sqlite3_stmt* statement = ExecutableStatement(text)) {
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW) rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE) {
      throw Database::Failure(fmt::format("running '{}'", ShortSql(sql)), sqlite3_errmsg(handle_));
    }
    return;
  }
  char* message = nullptr;
  if (sqlite3_exec(handle_, text.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string why = message != nullptr ? message : sqlite3_errmsg(handle_);
    sqlite3_free(message);
    throw Database::Failure(fmt::format("running '{}'", ShortSql(sql)), why);
  }
}

bool SqliteDatabase::InTransaction() const { return sqlite3_get_autocommit(handle_) == 0; }

int SqliteDatabase::Changes() const { return sqlite3_changes(handle_); }

std::int64_t SqliteDatabase::LastInsertId() {
  return static_cast<std::int64_t>(sqlite3_last_insert_rowid(handle_));
}

// The write lock is taken at the start (BEGIN IMMEDIATE), waiting in the writers' queue.
void SqliteDatabase::BeginWrite() {
  PlaceInQueue place(queue_fd_);
  Execute("BEGIN IMMEDIATE");
}

void SqliteDatabase::BetweenBatches() {
  if (queue_fd_ < 0) return;
  // Granted once no writer is waiting any more: each one that was has taken the write lock.
  ::flock(queue_fd_, LOCK_EX);
  ::flock(queue_fd_, LOCK_UN);
}

// SQLite's own timeout sleeps longer and longer and gives up after a fixed time; this one looks
// every millisecond or two, so that a waiting writer catches the moment a batch is committed,
// and gives up only after kLongestWait.
int SqliteDatabase::WaitWhileBusy(void* self, int attempts) {
  auto* database = static_cast<SqliteDatabase*>(self);
  auto now = std::chrono::steady_clock::now();
  if (attempts == 0) database->wait_started_ = now;
  if (now - database->wait_started_ > kLongestWait) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(attempts < 100 ? 1 : 2));
  return 1;
}

}  // namespace svregistration::workspace
