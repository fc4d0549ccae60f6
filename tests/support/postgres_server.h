// A throwaway PostgreSQL server for the tests (see postgres_cluster.sh): the ctest run's, or one
// started on first use and stopped when the test program ends. The repository and svreg tests
// run once on SQLite and once on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace svregistration::testing {

enum class Backend { kSqlite, kPostgres };

/// "Sqlite" or "Postgres", for test names.
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);

class PostgresServer {
 public:
  /// The test program's server; nullptr when none can be started (no PostgreSQL installed, no
  /// postgres user to run it as root): then Unavailable() says why.
  static PostgresServer* Get();
  static const std::string& Unavailable();

  /// A new empty database on the server; its libpq connection URI.
  std::string NewDatabase();

  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

 private:
  PostgresServer() = default;
  bool ReadSocketFolder(const std::string& file);

  std::string folder_;    // the socket's
  std::string own_file_;  // the file naming the folder of a server this program started
  int databases_ = 0;
};

}  // namespace svregistration::testing

/// Skips the test with the reason when the backend is PostgreSQL and no server can be started
/// (fails it instead when SVREG_REQUIRE_POSTGRES is set, as in CI); otherwise sets `uri` to a new
/// database's connection string (left empty for SQLite).
#define SVREG_SKIP_WITHOUT_POSTGRES(backend, uri)                                           \
  do {                                                                                      \
    if ((backend) == ::svregistration::testing::Backend::kPostgres) {                       \
      auto* server_ = ::svregistration::testing::PostgresServer::Get();                     \
      if (server_ == nullptr) {                                                             \
        const std::string& why_ = ::svregistration::testing::PostgresServer::Unavailable(); \
        if (std::getenv("SVREG_REQUIRE_POSTGRES") != nullptr) FAIL() << why_;               \
        GTEST_SKIP() << "no PostgreSQL server: " << why_;                                   \
      }                                                                                     \
      (uri) = server_->NewDatabase();                                                       \
    }                                                                                       \
  } while (false)
