// The workspace database on a PostgreSQL server: a team's shared repository. Writers lock rows,
// not the database, so many of them work side by side. This is built into the PostgreSQL module
// only (postgres_module.h is how the workspace library reaches it).
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "workspace/repository/database.h"

struct pg_conn;
struct pg_result;

namespace svregistration::workspace {

/// Checks a connection string before it is used or recorded: a libpq URI
/// ("postgresql://host/db"), keyword/value pairs ("host=/run/sock dbname=db") or a bare service
/// name ("team", for "service=team"). Returns the string as libpq takes it. Error 5 when it is
/// not understood or when it holds a password: the workspace records the string, and passwords
/// belong in ~/.pgpass, PGPASSWORD or a service file.
std::string CheckConnectionString(const std::string& location);

class PostgresDatabase final : public Database {
 public:
  /// Connects to the database `location` names (see CheckConnectionString); Error 75 naming the
  /// server and database when it cannot. Its tables are made or checked by the caller.
  static std::shared_ptr<PostgresDatabase> Connect(const std::string& location);

  ~PostgresDatabase() override;

  bool InTransaction() const override;
  int Changes() const override { return changes_; }
  std::int64_t LastInsertId() override;

  /// Where statements report the rows they changed.
  void SetChanges(int changes) { changes_ = changes; }
  /// Runs a prepared statement (after the savepoint commands held back for it); `why` is set
  /// when it, or one of them, failed. The result is the statement's, to be freed by the caller.
  pg_result* ExecutePrepared(const std::string& name, const std::vector<const char*>& values,
                             std::string& why);
  pg_conn* connection() const { return connection_; }

 private:
  PostgresDatabase(pg_conn* connection, std::string description);
  void ExecuteText(std::string_view sql) override;
  std::unique_ptr<PreparedStatement> PrepareStatement(std::string_view sql) override;
  void BeginWrite() override;
  bool Defer(std::string_view sql);

  pg_conn* connection_;
  int changes_ = 0;
  // Statements are prepared on the server once per connection, under a name of their own.
  std::unordered_map<std::string, std::string> prepared_names_;
  std::vector<const char*> deferred_;
};

}  // namespace svregistration::workspace
