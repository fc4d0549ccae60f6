// The workspace repository on a PostgreSQL server, reached through a module of its own: the
// PostgreSQL client and everything it needs (TLS, Kerberos, LDAP) is loaded the first time a
// workspace on a server is made or opened, so that programs working on SQLite workspaces start
// without it. The module lies beside the workspace library and is found relative to it, never
// through the current directory or the environment.
#pragma once

#include <memory>
#include <string>

#include "workspace/repository/database.h"

namespace svregistration::workspace {

/// Checks a connection string before it is used or recorded and returns it as the server's
/// client takes it: a postgresql:// URI, keyword=value pairs or a bare service name. Error 5
/// when it is not understood or holds a password.
std::string CheckConnectionString(const std::string& location);
/// Makes the workspace tables in the database `location` names; Error 58 when it holds a
/// workspace already.
std::shared_ptr<Database> CreatePostgresDatabase(const std::string& location);
/// Connects to the workspace in that database; Error 75 naming the server and database when it
/// cannot, or when the database holds no workspace.
std::shared_ptr<Database> OpenPostgresDatabase(const std::string& location);

/// Where the module is looked for; Error 75 when it cannot be loaded names this path and why.
std::string PostgresModulePath();

}  // namespace svregistration::workspace
