// Finding, or starting, the tests' PostgreSQL cluster.
#include "support/postgres_server.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "support/temp_dir.h"

namespace svregistration::testing {

namespace {

std::string& Reason() {
  static std::string reason;
  return reason;
}

std::string Cluster(const std::string& action, const std::string& file) {
  return std::string(SVREG_POSTGRES_SCRIPT) + " " + action + " " + file;
}

}  // namespace

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "Sqlite" : "Postgres";
}

const std::string& PostgresServer::Unavailable() { return Reason(); }

// Under ctest the run's server is started once by postgres_cluster.sh, which names its socket
// folder in a file; a test program run alone starts one the same way for itself.
PostgresServer* PostgresServer::Get() {
  static std::unique_ptr<PostgresServer> server = [] {
    std::unique_ptr<PostgresServer> found(new PostgresServer());
    const char* shared = std::getenv("SVREG_TEST_POSTGRES_FILE");
    if (shared != nullptr && found->ReadSocketFolder(shared)) return found;
    found->own_file_ =
        std::filesystem::temp_directory_path().string() + "/svreg-pg-" + std::to_string(::getpid());
    const std::string log = found->own_file_ + ".log";
    (void)std::system((Cluster("start", found->own_file_) + " >" + log + " 2>&1").c_str());
    if (found->ReadSocketFolder(found->own_file_)) return found;
    std::error_code ignored;
    Reason() = "postgres_cluster.sh started no server: " + ReadFile(log);
    std::filesystem::remove(log, ignored);
    found->own_file_.clear();
    found.reset();
    return found;
  }();
  return server.get();
}

bool PostgresServer::ReadSocketFolder(const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return false;
  folder_ = ReadFile(file);
  while (!folder_.empty() && folder_.back() == '\n') folder_.pop_back();
  return !folder_.empty() && std::filesystem::exists(folder_ + "/.s.PGSQL.5432", ec);
}

PostgresServer::~PostgresServer() {
  if (own_file_.empty()) return;
  (void)std::system((Cluster("stop", own_file_) + " >/dev/null 2>&1").c_str());
  std::error_code ignored;
  std::filesystem::remove(own_file_ + ".log", ignored);
}

std::string PostgresServer::NewDatabase() {
  std::string name = "test" + std::to_string(::getpid()) + "_" + std::to_string(++databases_);
  std::string admin = "postgresql:///postgres?host=" + folder_ + "&user=postgres";
  PGconn* connection = PQconnectdb(admin.c_str());
  PGresult* result = PQexec(connection, ("CREATE DATABASE " + name).c_str());
  bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  std::string why = PQerrorMessage(connection);
  PQclear(result);
  PQfinish(connection);
  if (!ok) throw std::runtime_error("cannot create the test database " + name + ": " + why);
  return "postgresql:///" + name + "?host=" + folder_ + "&user=postgres";
}

}  // namespace svregistration::testing
