// The connection to a workspace database (workspace.db): a small owner of one sqlite3 handle with
// its cache of prepared statements, the statement handle that borrows from that cache, and the
// write transaction. Every SQLite failure becomes an svregistration::Error (75) that names the
// step, SQLite's message and the database file.
#pragma once

#include <cstdint>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "svregistration/error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace svregistration::workspace {

/// The name of the workspace database file in a workspace folder.
inline constexpr const char* kWorkspaceDatabaseFile = "workspace.db";
/// The source text of every error the workspace database raises.
inline constexpr const char* kDatabaseErrorSource = "Workspace";
/// Invalid procedure call or argument.
inline constexpr int kInvalidArgument = 5;
/// File already exists.
inline constexpr int kFileAlreadyExists = 58;

class Database;

/// A prepared statement borrowed from the connection's cache for one use: bind, step, read the
/// columns; it is reset (and its bindings cleared) when the handle goes out of scope. Bind indexes
/// and column indexes are those of SQLite (binds from 1, columns from 0).
class Statement {
 public:
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  Statement& Bind(int index, std::string_view text);
  Statement& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
  Statement& Bind(int index, const std::string& text) {
    return Bind(index, std::string_view(text));
  }
  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, int value) { return Bind(index, std::int64_t{value}); }
  /// NULL when the value is absent.
  Statement& Bind(int index, const std::optional<std::string>& text);

  /// Advances to the next row: true when there is one, false when the statement is done.
  bool Step();
  /// Runs a statement that returns no rows (or whose rows do not matter) to its end.
  void Run();

  std::int64_t Int(int column) const;
  /// The column as text; "" for NULL.
  std::string Text(int column) const;
  bool IsNull(int column) const;

 private:
  friend class Database;
  Statement(Database* database, sqlite3_stmt* statement, bool* busy, std::string_view sql);
  [[noreturn]] void Fail(std::string_view what) const;

  Database* database_;
  sqlite3_stmt* statement_;
  // The cache slot's in-use flag; nullptr for a statement prepared outside the cache (finalised
  // instead of reset).
  bool* busy_;
  std::string_view sql_;
};

/// One connection to a workspace database. Not safe for use by several threads at once; every
/// thread or process opens its own connection. Connections wait up to the busy timeout for a lock
/// held by another connection instead of failing at once.
class Database {
 public:
  /// How long a connection waits for a lock that another connection holds.
  static constexpr int kBusyTimeoutMilliseconds = 10000;

  /// Makes a new workspace database at `path` with its tables and the built-in object types. The
  /// file must not exist (Error 58). Nothing is left behind when creation fails.
  static std::shared_ptr<Database> Create(const std::string& path);
  /// Opens an existing workspace database. A missing file gives Error 53; a file that is not a
  /// workspace database (not SQLite, another application's database, tables missing, a newer
  /// layout) gives Error 75; both name the file.
  static std::shared_ptr<Database> Open(const std::string& path);

  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& path() const { return path_; }

  /// The cached statement for `sql`, prepared on first use. A statement that is still in use
  /// (a nested use of the same text) is prepared afresh for this use.
  Statement Prepare(std::string_view sql);
  /// Runs SQL text (one or more statements, no parameters, no rows wanted).
  void Execute(std::string_view sql);
  /// True while a transaction is open on this connection.
  bool InTransaction() const;
  std::int64_t LastInsertRowId() const;
  /// Rows changed by the last INSERT, UPDATE or DELETE.
  int Changes() const;

  /// From now on the changes of this connection are committed in batches: one transaction spans
  /// the changes of up to `window`, so that a run of many small changes does not pay for a
  /// transaction each. Each change stays whole (it is a savepoint inside the batch); another
  /// process waits at most about `window` for its turn.
  /// With `commit_when_asked`, a batch is committed only by CommitBatchIfDue, so that the caller
  /// chooses the points (between files, say) at which its work is whole.
  void BeginBatch(std::chrono::milliseconds window, bool commit_when_asked = false);
  /// Commits the batch and starts the next when its window has passed; true when it committed.
  /// A failed commit rolls the batch back and raises the error.
  bool CommitBatchIfDue();
  /// Commits the open batch and returns to a transaction per change.
  void EndBatch();

  /// The error for a failed step: "<step> failed in the workspace database '<path>': <message>".
  Error Failure(std::string_view step) const;
  Error Failure(std::string_view step, std::string_view message) const;

 private:
  Database(sqlite3* handle, std::string path);
  static std::shared_ptr<Database> Connect(const std::string& path, int flags);
  void Configure();
  void CommitOrRollBack();

  struct CachedStatement {
    sqlite3_stmt* statement = nullptr;
    bool busy = false;
  };

  friend class Transaction;
  // Called when a change directly inside the batch has been committed.
  void ChangeCommitted();

  sqlite3* handle_;
  std::string path_;
  bool batching_ = false;
  bool commit_when_asked_ = false;
  int depth_ = 0;  // open Transaction objects
  std::chrono::milliseconds window_{0};
  std::chrono::steady_clock::time_point batch_started_;
  std::unordered_map<std::string, CachedStatement> cache_;
};

/// A write transaction: BEGIN IMMEDIATE (the write lock is taken at the start, waiting up to the
/// busy timeout, so that no later step of the transaction can fail on a lock); inside an open
/// transaction a savepoint instead, so that helpers nest. Rolled back when it goes out of scope
/// without Commit().
class Transaction {
 public:
  /// `what` names the change for error messages ("unregister 'COBOL:17'").
  Transaction(Database& database, std::string what);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();

 private:
  Database& database_;
  std::string what_;
  bool nested_;
  bool open_ = true;
};

}  // namespace svregistration::workspace
