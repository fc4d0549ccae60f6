// A workspace made with svreg init in a temporary folder, for the end-to-end tests of svreg:
// each test runs once with the SQLite repository and once with a database of the tests'
// PostgreSQL server.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
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

  /// Runs svreg with --json, expects the exit status, and answers what it printed (null for no
  /// output).
  nlohmann::json Json(std::vector<std::string> args, int expected_exit = 0) {
    args.push_back("--json");
    auto result = RunSvreg(args);
    EXPECT_EQ(result.exit_code, expected_exit) << result.err;
    return result.out.empty() ? nlohmann::json() : nlohmann::json::parse(result.out);
  }

  /// Registers the file with svreg register and the options given; answers its object's id.
  std::string Register(const std::string& file, std::vector<std::string> options = {}) {
    options.insert(options.begin(), {"register", ws_, file});
    return Json(options)["results"][0]["id"];
  }

  /// Sets a value of the workspace's options.
  void Set(const std::string& xpath, const std::string& value) {
    ASSERT_EQ(RunSvreg({"option", ws_, "set", xpath, value}).exit_code, 0);
  }

  TempDir dir_;
  std::string ws_ = dir_ / "ws";
  /// The repository's connection string; empty for SQLite.
  std::string uri_;
};

}  // namespace svregistration::testing
