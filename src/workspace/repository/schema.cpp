// Creating and checking the tables of a workspace database.
#include "workspace/repository/schema.h"

#include <fmt/core.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "svregistration/case_folding.h"
#include "workspace/repository/database.h"

namespace svregistration::workspace {

namespace {

// An object's name is found and kept unique through name_key, the name case-folded by the
// library's rule (Unicode simple case folding), so that both engines compare names alike. Type
// codes and attribute names, ASCII words, are compared ignoring the case of ASCII letters.
//
// objects.id is AUTOINCREMENT so that the id of an unregistered object is never given to another
// one (log records keep ids). relations.id and generated_entries.id keep the order in which
// relations and entries were added.
constexpr const char* kCreateTables = R"sql(
CREATE TABLE object_types (
  code             TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
  display_name     TEXT NOT NULL,
  source_attribute TEXT NOT NULL,
  handler          TEXT NOT NULL
);

CREATE TABLE objects (
  id        INTEGER PRIMARY KEY AUTOINCREMENT,
  type_code TEXT NOT NULL COLLATE NOCASE REFERENCES object_types(code),
  name      TEXT NOT NULL COLLATE NOCASE,
  name_key  TEXT NOT NULL
);
CREATE UNIQUE INDEX objects_by_type_and_key ON objects(type_code, name_key);

CREATE TABLE attributes (
  object_id INTEGER NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  name      TEXT NOT NULL COLLATE NOCASE,
  value     TEXT NOT NULL,
  PRIMARY KEY (object_id, name)
) WITHOUT ROWID;

CREATE TABLE relations (
  id        INTEGER PRIMARY KEY,
  source_id INTEGER NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  name      TEXT NOT NULL COLLATE NOCASE,
  target_id INTEGER NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  UNIQUE (source_id, name, target_id)
);
CREATE INDEX relations_by_target ON relations(target_id, name);

CREATE TABLE generated_entries (
  id        INTEGER PRIMARY KEY,
  object_id INTEGER NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  entry     TEXT NOT NULL,
  UNIQUE (object_id, entry)
);

CREATE TABLE log (
  id        INTEGER PRIMARY KEY,
  time      TEXT NOT NULL,
  title     TEXT NOT NULL,
  severity  INTEGER NOT NULL,
  object_id TEXT,
  text      TEXT NOT NULL
);
)sql";

// The same tables on a server. Letter case is ignored through a collation named as SQLite's;
// ids come from sequences, so that writers never wait for one another to number their rows.
// object_types.rowid keeps the order of the built-in types as SQLite's implicit row number does.
constexpr const char* kCreatePostgresTables = R"sql(
CREATE COLLATION IF NOT EXISTS nocase
  (provider = icu, locale = 'und-u-ks-level2', deterministic = false);

CREATE TABLE workspace_schema (
  application INTEGER NOT NULL,
  version     INTEGER NOT NULL
);

CREATE TABLE object_types (
  rowid            BIGINT GENERATED ALWAYS AS IDENTITY,
  code             TEXT NOT NULL PRIMARY KEY COLLATE nocase,
  display_name     TEXT NOT NULL,
  source_attribute TEXT NOT NULL COLLATE nocase,
  handler          TEXT NOT NULL
);

CREATE TABLE objects (
  id        BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  type_code TEXT NOT NULL COLLATE nocase REFERENCES object_types(code),
  name      TEXT NOT NULL COLLATE nocase,
  name_key  TEXT NOT NULL COLLATE "C"
);
CREATE UNIQUE INDEX objects_by_type_and_key ON objects(type_code, name_key);

CREATE TABLE attributes (
  object_id BIGINT NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  name      TEXT NOT NULL COLLATE nocase,
  value     TEXT NOT NULL,
  PRIMARY KEY (object_id, name)
);

CREATE TABLE relations (
  id        BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  source_id BIGINT NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  name      TEXT NOT NULL COLLATE nocase,
  target_id BIGINT NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  UNIQUE (source_id, name, target_id)
);
CREATE INDEX relations_by_target ON relations(target_id, name);

CREATE TABLE generated_entries (
  id        BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  object_id BIGINT NOT NULL REFERENCES objects(id) ON DELETE CASCADE,
  entry     TEXT NOT NULL,
  UNIQUE (object_id, entry)
);

CREATE TABLE log (
  id        BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  time      TEXT NOT NULL,
  title     TEXT NOT NULL,
  severity  INTEGER NOT NULL,
  object_id TEXT,
  text      TEXT NOT NULL
);
)sql";

constexpr std::array<const char*, 6> kRequiredTables = {
    "object_types", "objects", "attributes", "relations", "generated_entries", "log"};

// Layout 2 finds names by their case-folded key (layout 1 compared them through the engine's
// collation, which folded ASCII letters only in SQLite and more than letter case on a server).
void AddNameKeys(Database& database) {
  database.Execute(
      "ALTER TABLE objects ADD COLUMN name_key TEXT NOT NULL DEFAULT ''; "
      "DROP INDEX objects_by_type_and_name");
  std::vector<std::pair<std::int64_t, std::string>> names;
  for (Statement all = database.Prepare("SELECT id, name FROM objects"); all.Step();) {
    names.emplace_back(all.Int(0), all.Text(1));
  }
  for (const auto& [id, name] : names) {
    database.Prepare("UPDATE objects SET name_key = ?2 WHERE id = ?1")
        .Bind(1, id)
        .Bind(2, FoldCase(name))
        .Run();
  }
  try {
    database.Execute("CREATE UNIQUE INDEX objects_by_type_and_key ON objects(type_code, name_key)");
  } catch (const Error& error) {
    throw Error(error.number(), error.source(),
                fmt::format("{} (two objects of one type have names that differ only in letter "
                            "case; rename one with the previous release first)",
                            error.description()));
  }
}

// The changes from one layout to the next: kMigrations[i] takes layout i + 1 to i + 2, through
// the SQL both engines understand. Layout 1 is the first.
constexpr std::array<void (*)(Database&), kWorkspaceSchemaVersion - 1> kMigrations = {AddNameKeys};

Error NotAWorkspaceDatabase(const Database& database, std::string_view why) {
  return Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
               fmt::format("'{}' is not a workspace database: {}", database.path(), why));
}

Error Damaged(const Database& database, std::string_view why) {
  return Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
               fmt::format("the workspace database '{}' is damaged: {}", database.path(), why));
}

std::int64_t SingleValue(Database& database, const char* sql) {
  Statement statement = database.Prepare(sql);
  return statement.Step() ? statement.Int(0) : 0;
}

// Write-ahead logging lets readers go on while another connection writes, and keeps a writer from
// blocking readers. The mode is stored in the file; setting it again is a no-op.
void UseWriteAheadLog(Database& database) {
  database.Execute("PRAGMA journal_mode = WAL");
  // Safe with WAL: a crash may lose the last transactions, never corrupt the file.
  database.Execute("PRAGMA synchronous = NORMAL");
}

bool TableExists(Database& database, std::string_view table) {
  Statement statement =
      database.Prepare(database.dialect() == Dialect::kSqlite
                           ? "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?1"
                           : "SELECT 1 WHERE to_regclass(?1) IS NOT NULL");
  statement.Bind(1, table);
  return statement.Step();
}

void SetVersion(Database& database, int version) {
  if (database.dialect() == Dialect::kSqlite) {
    database.Execute(fmt::format("PRAGMA application_id = {}; PRAGMA user_version = {}",
                                 kWorkspaceApplicationId, version));
  } else {
    database.Execute("DELETE FROM workspace_schema");
    database.Prepare("INSERT INTO workspace_schema (application, version) VALUES (?1, ?2)")
        .Bind(1, std::int64_t{kWorkspaceApplicationId})
        .Bind(2, version)
        .Run();
  }
}

// The mark and the layout version; the mark is 0 for a database without one.
std::pair<std::int64_t, std::int64_t> ReadMark(Database& database) {
  if (database.dialect() == Dialect::kSqlite) {
    return {SingleValue(database, "PRAGMA application_id"),
            SingleValue(database, "PRAGMA user_version")};
  }
  if (!TableExists(database, "workspace_schema")) return {0, 0};
  Statement statement = database.Prepare("SELECT application, version FROM workspace_schema");
  if (!statement.Step()) return {0, 0};
  return {statement.Int(0), statement.Int(1)};
}

// Brings a database of an older layout up to this one; one transaction. The version row is
// locked first (on a server), so that two programs opening it at once migrate it once.
void Migrate(Database& database, std::int64_t version) {
  Transaction transaction(database, fmt::format("bringing layout {} up to layout {}", version,
                                                kWorkspaceSchemaVersion));
  if (database.dialect() == Dialect::kPostgres) {
    version = SingleValue(database, "SELECT version FROM workspace_schema FOR UPDATE");
  }
  for (; version < kWorkspaceSchemaVersion; ++version) {
    kMigrations[static_cast<std::size_t>(version - 1)](database);
  }
  SetVersion(database, kWorkspaceSchemaVersion);
  transaction.Commit();
}

}  // namespace

void CreateSchema(Database& database) {
  const bool sqlite = database.dialect() == Dialect::kSqlite;
  if (sqlite) UseWriteAheadLog(database);
  Transaction transaction(database, "creating the workspace tables");
  if (!sqlite && ReadMark(database).first != 0) {
    throw Error(
        kFileAlreadyExists, kDatabaseErrorSource,
        fmt::format("the workspace database '{}' already holds a workspace", database.path()));
  }
  database.Execute(sqlite ? kCreateTables : kCreatePostgresTables);
  for (const BuiltInObjectType& type : kBuiltInObjectTypes) {
    database
        .Prepare(
            "INSERT INTO object_types (code, display_name, source_attribute, handler) "
            "VALUES (?1, ?2, ?3, ?4)")
        .Bind(1, type.code)
        .Bind(2, type.display_name)
        .Bind(3, type.source_attribute)
        .Bind(4, type.handler)
        .Run();
  }
  SetVersion(database, kWorkspaceSchemaVersion);
  transaction.Commit();
}

void VerifySchema(Database& database) {
  const bool sqlite = database.dialect() == Dialect::kSqlite;
  std::pair<std::int64_t, std::int64_t> mark;
  try {
    mark = ReadMark(database);
  } catch (const Error& error) {
    // Typically "file is not a database": the first read of the file's header fails.
    throw NotAWorkspaceDatabase(database, error.description());
  }
  auto [application_id, version] = mark;
  if (application_id != kWorkspaceApplicationId) {
    throw NotAWorkspaceDatabase(
        database, !sqlite ? "it holds no workspace (svreg init --repository makes one)"
                  : application_id == 0 ? "it is an SQLite database without the workspace tables"
                                        : "it is the SQLite database of another application");
  }
  if (version > kWorkspaceSchemaVersion) {
    throw Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
                fmt::format("the workspace database '{}' has layout {}, newer than the layout {} "
                            "this program knows",
                            database.path(), version, kWorkspaceSchemaVersion));
  }
  if (version < 1) throw Damaged(database, fmt::format("its layout number is {}", version));
  for (const char* table : kRequiredTables) {
    if (!TableExists(database, table)) {
      throw Damaged(database, fmt::format("the table '{}' is missing", table));
    }
  }
  if (sqlite) UseWriteAheadLog(database);
  if (version < kWorkspaceSchemaVersion) Migrate(database, version);
}

}  // namespace svregistration::workspace
