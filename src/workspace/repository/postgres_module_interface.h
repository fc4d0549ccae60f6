// What the PostgreSQL module (a shared object of its own, loaded on demand) gives the workspace
// library: one entry point returning a table of functions. Both sides are built from this one
// header, and the version is checked on load, so a module from another build is refused instead
// of being called with the wrong shapes.
#pragma once

#include <memory>
#include <string>

#include "workspace/repository/database.h"

namespace svregistration::workspace {

/// The name of the entry point the module exports with C linkage.
inline constexpr const char* kPostgresModuleEntry = "svreg_postgres_module";
/// Raised whenever PostgresModule changes shape.
inline constexpr int kPostgresModuleVersion = 1;

struct PostgresModule {
  int version;
  /// See CheckConnectionString (postgres_database.h).
  std::string (*check_connection_string)(const std::string& location);
  /// A connection to the database `location` names, before its tables are made or checked.
  std::shared_ptr<Database> (*connect)(const std::string& location);
};

using PostgresModuleEntry = const PostgresModule* (*)();

}  // namespace svregistration::workspace
