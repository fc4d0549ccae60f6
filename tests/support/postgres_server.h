// The ctest run's throwaway PostgreSQL server, started by postgres_cluster.sh for the tests marked
// POSTGRES: the repository and svreg tests run once on SQLite and once on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace svregistration::testing {

enum class Backend { kSqlite, kPostgres };

/// "Sqlite" or "Postgres", for test names.
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);

/// A new empty database on the run's server, as a libpq connection URI; empty when the run has no
/// server (none installed, or the test program was not started by ctest).
std::string NewPostgresDatabase();

}  // namespace svregistration::testing

/// Instantiates the suite, a TestWithParam<Backend>, once for each repository.
#define SVREG_ON_BOTH_REPOSITORIES(suite)                                                    \
  INSTANTIATE_TEST_SUITE_P(Both, suite,                                                      \
                           ::testing::Values(::svregistration::testing::Backend::kSqlite,    \
                                             ::svregistration::testing::Backend::kPostgres), \
                           ::svregistration::testing::BackendName)

/// Skips the test when the backend is PostgreSQL and the run has no server (fails it instead when
/// SVREG_REQUIRE_POSTGRES is set, as in CI); otherwise sets `uri` to a new database's connection
/// string (left empty for SQLite).
#define SVREG_SKIP_WITHOUT_POSTGRES(backend, uri)                                               \
  do {                                                                                          \
    if ((backend) == ::svregistration::testing::Backend::kPostgres) {                           \
      (uri) = ::svregistration::testing::NewPostgresDatabase();                                 \
      if ((uri).empty()) {                                                                      \
        if (std::getenv("SVREG_REQUIRE_POSTGRES") != nullptr) FAIL() << "no PostgreSQL server"; \
        GTEST_SKIP() << "no PostgreSQL server (ctest starts one where it is installed)";        \
      }                                                                                         \
    }                                                                                           \
  } while (false)
