// Creating and checking the tables of a workspace database.
#include "workspace/repository/schema.h"

#include <fmt/core.h>

#include <set>
#include <string>

#include "workspace/repository/database.h"

namespace svregistration::workspace {

namespace {

// Names, type codes and attribute names are compared ignoring the case of ASCII letters, as
// SQLite's NOCASE collation does; the unique index on (type_code, name) therefore also serves
// look-ups by name in any letter case.
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
  name      TEXT NOT NULL COLLATE NOCASE
);
CREATE UNIQUE INDEX objects_by_type_and_name ON objects(type_code, name);

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

constexpr std::array<const char*, 6> kRequiredTables = {
    "object_types", "objects", "attributes", "relations", "generated_entries", "log"};

Error NotAWorkspaceDatabase(const Database& database, std::string_view why) {
  return Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
               fmt::format("'{}' is not a workspace database: {}", database.path(), why));
}

Error Damaged(const Database& database, std::string_view why) {
  return Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
               fmt::format("the workspace database '{}' is damaged: {}", database.path(), why));
}

std::int64_t PragmaValue(Database& database, const char* pragma) {
  Statement statement = database.Prepare(pragma);
  return statement.Step() ? statement.Int(0) : 0;
}

// Write-ahead logging lets readers go on while another connection writes, and keeps a writer from
// blocking readers. The mode is stored in the file; setting it again is a no-op.
void UseWriteAheadLog(Database& database) {
  database.Execute("PRAGMA journal_mode = WAL");
  // Safe with WAL: a crash may lose the last transactions, never corrupt the file.
  database.Execute("PRAGMA synchronous = NORMAL");
}

}  // namespace

void CreateSchema(Database& database) {
  UseWriteAheadLog(database);
  Transaction transaction(database, "creating the workspace tables");
  database.Execute(kCreateTables);
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
  database.Execute(fmt::format("PRAGMA application_id = {}; PRAGMA user_version = {}",
                               kWorkspaceApplicationId, kWorkspaceSchemaVersion));
  transaction.Commit();
}

void VerifySchema(Database& database) {
  std::int64_t application_id = 0;
  try {
    application_id = PragmaValue(database, "PRAGMA application_id");
  } catch (const Error& error) {
    // Typically "file is not a database": the first read of the file's header fails.
    throw NotAWorkspaceDatabase(database, error.description());
  }
  if (application_id != kWorkspaceApplicationId) {
    throw NotAWorkspaceDatabase(
        database, application_id == 0 ? "it is an SQLite database without the workspace tables"
                                      : "it is the SQLite database of another application");
  }
  std::int64_t version = PragmaValue(database, "PRAGMA user_version");
  if (version > kWorkspaceSchemaVersion) {
    throw Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
                fmt::format("the workspace database '{}' has layout {}, newer than the layout {} "
                            "this program knows",
                            database.path(), version, kWorkspaceSchemaVersion));
  }
  if (version < 1) throw Damaged(database, fmt::format("its layout number is {}", version));

  std::set<std::string> tables;
  {
    Statement statement = database.Prepare("SELECT name FROM sqlite_schema WHERE type = 'table'");
    while (statement.Step()) tables.insert(statement.Text(0));
  }
  for (const char* table : kRequiredTables) {
    if (tables.count(table) == 0) {
      throw Damaged(database, fmt::format("the table '{}' is missing", table));
    }
  }
  UseWriteAheadLog(database);
}

}  // namespace svregistration::workspace
