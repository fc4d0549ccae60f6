// The workspace database in an SQLite file (workspace.db): one person's workspace, or a few
// processes on one machine.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>

#include "workspace/repository/database.h"

struct sqlite3;
struct sqlite3_stmt;

namespace svregistration::workspace {

class SqliteDatabase final : public Database {
 public:
  /// How long a writer waits for its turn before it gives up. Writers of long runs hold the
  /// lock in short batches and hand it over between them, so a writer that waits this long is
  /// waiting for a connection that has stopped (a hung process, a shell left in a transaction).
  static constexpr std::chrono::minutes kLongestWait{10};

  /// See Database::Create and Database::Open.
  static std::shared_ptr<SqliteDatabase> CreateFile(const std::string& path);
  static std::shared_ptr<SqliteDatabase> OpenFile(const std::string& path);

  ~SqliteDatabase() override;

  bool InTransaction() const override;
  int Changes() const override;
  std::int64_t LastInsertId() override;

  /// The error for a failed step with SQLite's message.
  Error Failure(std::string_view step) const;
  using Database::Failure;

 private:
  SqliteDatabase(sqlite3* handle, std::string path);
  static std::shared_ptr<SqliteDatabase> Connect(const std::string& path, int flags);
  void Configure();
  void ExecuteText(std::string_view sql) override;
  std::unique_ptr<PreparedStatement> PrepareStatement(std::string_view sql) override;
  void BeginWrite() override;
  void BetweenBatches() override;
  static int WaitWhileBusy(void* self, int attempts);
  // The prepared form of a one-statement text Execute runs, nullptr for one that runs through
  // sqlite3_exec (several statements).
  sqlite3_stmt* ExecutableStatement(const std::string& text);

  sqlite3* handle_;
  // Savepoints, commits and the like are run for every change: prepared once, not parsed each
  // time.
  std::unordered_map<std::string, sqlite3_stmt*> executables_;
  // The writers' queue: a file beside the database that every writer holds shared while it
  // waits for the write lock. A batch writer takes it exclusively between two batches, which
  // waits until everyone who was waiting has got in.
  int queue_fd_ = -1;
  std::chrono::steady_clock::time_point wait_started_;
};

}  // namespace svregistration::workspace
