// A workspace made with svreg init in a temporary folder, for the end-to-end tests of svreg:
// each test runs once with the SQLite repository and once with a database of the tests'
// PostgreSQL server.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/postgres_server.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace svregistration::testing {

class SvregWorkspaceTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    SVREG_SKIP_WITHOUT_POSTGRES(GetParam(), uri_);
    std::vector<std::string> init{"init", ws_};
    if (!uri_.empty()) init.insert(init.end(), {"--repository", uri_});
    auto result = RunSvreg(init);
    ASSERT_EQ(result.exit_code, 0) << result.err;
  }

  TempDir dir_;
  std::string ws_ = dir_ / "ws";
  /// The repository's connection string; empty for SQLite.
  std::string uri_;
};

#define SVREG_ON_BOTH_REPOSITORIES(suite)                                                    \
  INSTANTIATE_TEST_SUITE_P(Both, suite,                                                      \
                           ::testing::Values(::svregistration::testing::Backend::kSqlite,    \
                                             ::svregistration::testing::Backend::kPostgres), \
                           ::svregistration::testing::BackendName)

}  // namespace svregistration::testing
