// The connection to a workspace repository database, whichever engine holds it: SQLite (the
// workspace.db file of a one-person workspace) or PostgreSQL (a team's server). The repository
// code writes its SQL once, with numbered parameters (?1, ?2 ...), and uses only what both
// engines understand; each connection translates what differs (parameter markers, the row locks
// SQLite does without). Here are the connection with its cache of prepared statements, the
// statement handle that borrows from that cache, the write transaction and the batches of long
// runs. Every failure becomes an svregistration::Error (75) that names the step and the database.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "svregistration/error.h"
#include "workspace/error_source.h"

namespace svregistration::workspace {

/// The name of the workspace database file in a workspace folder.
inline constexpr const char* kWorkspaceDatabaseFile = "workspace.db";
/// The source text of every error the workspace database raises.
inline constexpr const char* kDatabaseErrorSource = kWorkspaceErrorSource;
/// The error numbers the workspace database raises most, from the library's one list.
inline constexpr int kInvalidArgument = error_number::kInvalidProcedureCall;
inline constexpr int kFileAlreadyExists = error_number::kFileAlreadyExists;

enum class Dialect { kSqlite, kPostgres };

/// One prepared statement of an engine: binds from 1, columns from 0. Failures raise the
/// connection's Error naming the statement.
class PreparedStatement {
 public:
  virtual ~PreparedStatement() = default;
  virtual void BindText(int index, std::string_view text) = 0;
  virtual void BindInt(int index, std::int64_t value) = 0;
  virtual void BindNull(int index) = 0;
  /// Runs the statement on the first call; true while there is a row to read.
  virtual bool Step() = 0;
  virtual std::int64_t Int(int column) const = 0;
  virtual std::string Text(int column) const = 0;
  virtual bool IsNull(int column) const = 0;
  /// Back to the start, with the bindings cleared.
  virtual void Reset() = 0;
};

class Database;

/// A prepared statement borrowed from the connection's cache for one use: bind, step, read the
/// columns; it is reset (and its bindings cleared) when the handle goes out of scope.
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

  std::int64_t Int(int column) const { return statement_->Int(column); }
  /// The column as text; "" for NULL.
  std::string Text(int column) const { return statement_->Text(column); }
  bool IsNull(int column) const { return statement_->IsNull(column); }

 private:
  friend class Database;
  Statement(Database* database, PreparedStatement* statement, bool* busy,
            std::unique_ptr<PreparedStatement> owned, std::string_view sql);
  Database* database_;
  PreparedStatement* statement_;
  // The cache slot's in-use flag; nullptr for a statement prepared outside the cache (owned and
  // dropped instead of reset).
  bool* busy_;
  std::unique_ptr<PreparedStatement> owned_;
  std::string_view sql_;
};

/// One connection to a workspace database. Not safe for use by several threads at once; every
/// thread or process opens its own connection. A connection waits for a lock held by another
/// connection instead of failing at once.
class Database {
 public:
  /// Makes a new workspace database at `path` (an SQLite file that must not exist, Error 58) with
  /// its tables and the built-in object types. Nothing is left behind when creation fails.
  static std::shared_ptr<Database> Create(const std::string& path);
  /// Opens an existing SQLite workspace database. A missing file gives Error 53; a file that is
  /// not a workspace database gives Error 75; both name the file.
  static std::shared_ptr<Database> Open(const std::string& path);

  virtual ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  /// How error messages name the database: the file, or the server and database (never a
  /// password or other credential).
  const std::string& path() const { return path_; }
  Dialect dialect() const { return dialect_; }

  /// The cached statement for `sql`, prepared on first use. A statement that is still in use
  /// (a nested use of the same text) is prepared afresh for this use.
  Statement Prepare(std::string_view sql);
  /// Runs SQL text (one or more statements, no parameters, no rows wanted).
  void Execute(std::string_view sql) {
    ++executed_;
    ExecuteText(sql);
  }
  /// Changes whenever SQL text runs: every start and end of a transaction or savepoint. What was
  /// read inside a transaction under one value may be taken as still true under the same value.
  std::uint64_t ExecutedCount() const { return executed_; }
  /// True while a transaction is open on this connection.
  virtual bool InTransaction() const = 0;
  /// Rows changed by the last INSERT, UPDATE or DELETE.
  virtual int Changes() const = 0;
  /// The id the last INSERT gave its row (SQLite's rowid, PostgreSQL's lastval()).
  virtual std::int64_t LastInsertId() = 0;

  /// From now on the changes of this connection are committed in batches: one transaction spans
  /// the changes of up to `window`, so that a run of many small changes does not pay for a
  /// transaction each. Each change stays whole (it is a savepoint inside the batch); another
  /// writer waits at most about `window` for its turn.
  /// With `commit_when_asked`, a batch is committed only by CommitBatchIfDue, so that the caller
  /// chooses the points (between files, say) at which its work is whole.
  void BeginBatch(std::chrono::milliseconds window, bool commit_when_asked = false);
  /// Commits the batch and starts the next when its window has passed; true when it committed.
  /// A failed commit rolls the batch back and raises the error.
  bool CommitBatchIfDue();
  /// True when CommitBatchIfDue would commit now.
  bool BatchDue() const;
  /// Commits the open batch and returns to a transaction per change.
  void EndBatch();

  /// The error for a failed step: "<step> failed in the workspace database '<path>': <message>".
  Error Failure(std::string_view step, std::string_view message) const;

 protected:
  Database(std::string path, Dialect dialect) : path_(std::move(path)), dialect_(dialect) {}
  /// Runs SQL text for Execute.
  virtual void ExecuteText(std::string_view sql) = 0;
  /// Prepares `sql` as written for both engines (numbered ?N parameters); the error names it.
  virtual std::unique_ptr<PreparedStatement> PrepareStatement(std::string_view sql) = 0;
  /// Starts a write transaction, waiting for the turn when another connection writes.
  virtual void BeginWrite() = 0;
  /// Called after a batch has been committed and before the next starts: the moment a writer
  /// that waits gets in.
  virtual void BetweenBatches() {}
  /// Drops the cached statements; the engine connection must still be open.
  void ClearStatementCache() { cache_.clear(); }

 private:
  struct CachedStatement {
    std::unique_ptr<PreparedStatement> statement;
    bool busy = false;
  };

  friend class Transaction;
  // Called when a change directly inside the batch has been committed.
  void ChangeCommitted();
  void CommitOrRollBack();

  std::string path_;
  Dialect dialect_;
  bool batching_ = false;
  bool commit_when_asked_ = false;
  int depth_ = 0;  // open Transaction objects
  std::uint64_t executed_ = 0;
  std::chrono::milliseconds window_{0};
  std::chrono::steady_clock::time_point batch_started_;
  // Looked up by the statement's text as the caller holds it, without a copy of it.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>()(text);
    }
  };
  std::unordered_map<std::string, CachedStatement, TextHash, std::equal_to<>> cache_;
};

/// A write transaction (its write lock taken at the start, so that no later step of it fails on
/// a lock); inside an open transaction a savepoint instead, so that helpers nest. Rolled back
/// when it goes out of scope without Commit().
class Transaction {
 public:
  /// `what` names the change for error messages ("unregister 'COBOL:17'"). A change that writes
  /// with `one_statement` needs no savepoint of its own inside an SQLite transaction: a failed
  /// statement there undoes itself and leaves the transaction open (a server's does not).
  Transaction(Database& database, std::string what, bool one_statement = false);
  /// The same with the name worked out only when a message needs it (for the changes made once
  /// per registered file).
  Transaction(Database& database, std::function<std::string()> what, bool one_statement = false);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();

 private:
  void Begin();
  std::string What() const { return describe_ ? describe_() : what_; }

  Database& database_;
  std::string what_;
  std::function<std::string()> describe_;
  bool nested_;
  bool savepoint_;
  bool open_ = true;
};

/// The text error messages show for an SQL statement: whitespace runs folded, long texts cut.
std::string ShortSql(std::string_view sql);

}  // namespace svregistration::workspace
