// A database of its own for each test on the run's PostgreSQL server.
#include "support/postgres_server.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "support/temp_dir.h"

namespace svregistration::testing {

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "Sqlite" : "Postgres";
}

// postgres_cluster.sh names the server's socket folder in the file ctest passes on.
std::string NewPostgresDatabase() {
  static int databases = 0;
  const char* file = std::getenv("SVREG_TEST_POSTGRES_FILE");
  std::error_code ignored;
  if (file == nullptr || !std::filesystem::exists(file, ignored)) return "";
  std::string folder = ReadFile(file);
  while (!folder.empty() && folder.back() == '\n') folder.pop_back();
  std::string name = "test" + std::to_string(::getpid()) + "_" + std::to_string(++databases);
  PGconn* connection =
      PQconnectdb(("postgresql:///postgres?host=" + folder + "&user=postgres").c_str());
  PGresult* result = PQexec(connection, ("CREATE DATABASE " + name).c_str());
  bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  std::string why = PQerrorMessage(connection);
  PQclear(result);
  PQfinish(connection);
  if (!ok) throw std::runtime_error("cannot create the test database " + name + ": " + why);
  return "postgresql:///" + name + "?host=" + folder + "&user=postgres";
}

}  // namespace svregistration::testing
