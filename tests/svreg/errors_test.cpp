// The same mistake gets the same answer from every svreg command: unknown ids and types, bad
// option values and input files, mistyped commands; and --json says "ok": false, on stderr too,
// whenever the exit status is not 0.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/temp_dir.h"
#include "svreg/workspace_fixture.h"

namespace svregistration {
namespace {

using nlohmann::json;
using testing::ExpectSvregFails;
using testing::RunSvreg;

class SvregErrors : public testing::SvregWorkspaceTest {};

TEST_P(SvregErrors, UnknownIdsAndTypesGetOneAnswerFromEveryCommand) {
  std::string file = dir_.Write("src/PAY.cbl", "       A.\n");
  std::string id = Register(file);
  Json({"generated", "add", ws_, id, ".out\\PAY.lst"});
  dir_.Write("ws/out/PAY.lst", "listing");
  const std::vector<std::vector<std::string>> by_id = {{"refresh", ws_, "NOPE:9"},
                                                       {"unregister", ws_, id, "NOPE:9"},
                                                       {"invalidate", ws_, id, "NOPE:9"},
                                                       {"folder", "add", ws_, "NOPE:9", id},
                                                       {"generated", "add", ws_, "NOPE:9", ".x"},
                                                       {"diff", ws_, "NOPE:9"},
                                                       {"status", ws_, "NOPE:9"}};
  for (auto args : by_id) {
    ExpectSvregFails(args, 2, {"no object has the id 'NOPE:9' in the workspace", "(9)"});
    args.push_back("--json");
    auto result = RunSvreg(args);
    json error = json::parse(result.err);
    EXPECT_EQ(std::tuple(result.exit_code, error["ok"], error["error"]["number"]),
              std::tuple(2, json(false), json(9)))
        << args[0];
  }
  // The groups were refused before any change: the object, its copy and its listing stay.
  EXPECT_EQ(Json({"objects", ws_})["objects"].size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(ws_ + "/Sources/COBOL/PAY.cbl"));
  EXPECT_TRUE(std::filesystem::exists(ws_ + "/out/PAY.lst"));

  const std::vector<std::vector<std::string>> by_type = {
      {"objects", ws_, "--type", "FOO"},
      {"register", ws_, "--type", "FOO", file},
      {"source", "read", ws_, "--type", "FOO", file},
      {"source", "copy", ws_, "--type", "FOO", file, dir_ / "out.cbl"}};
  for (const auto& args : by_type) {
    ExpectSvregFails(args, 2, {"no object type 'FOO' in the workspace", "its types: FOLDER"});
  }
}

TEST_P(SvregErrors, BadInputIsRefusedWithTheReason) {
  std::string file = dir_.Write("src/PAY.cbl", "       A.\n");
  const std::string map = dir_.Write("passwd", "root:x:0:0:root:/root:/bin/bash\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"option", ws_, "set", "//BOOL[@ID='ExpandTabs']", "yes"}, "takes true or false"},
      {{"codepage", "import", map, dir_ / "x.tbl"}, "is not a character map"},
      {{"source", "copy", ws_, "--type", "COBOL", file, file}, "is the source itself"},
      {{"register", ws_, "--name", "X", dir_ / "src"}, "is for one file"},
  };
  for (const auto& [args, reason] : cases) ExpectSvregFails(args, 2, {reason});
  EXPECT_EQ(testing::ReadFile(file), "       A.\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "x.tbl"));
  EXPECT_EQ(RunSvreg({"option", ws_, "get", "//BOOL[@ID='ExpandTabs']"}).out, "false\n");
}

SVREG_ON_BOTH_REPOSITORIES(SvregErrors);

TEST(SvregHelp, MistypedCommandsGetASuggestionAndHelpHasExamples) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> mistyped = {
      {{"regster", "ws"}, "'regster' is not a svreg command; did you mean register?"},
      {{"codepage", "decde", "t"}, "did you mean decode?"},
      {{"help", "statsu"}, "did you mean status?"},
      {{"xyzzy"}, "svreg help lists them"}};
  for (const auto& [args, text] : mistyped) ExpectSvregFails(args, 2, {text});
  for (const char* command : {"register", "refresh", "status", "option"}) {
    auto help = RunSvreg({"help", command});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_THAT(help.out, ::testing::HasSubstr("svreg " + std::string(command) + " "));
    EXPECT_EQ(help.out, RunSvreg({command, "--help"}).out);
  }
  EXPECT_THAT(RunSvreg({"help", "codepage", "decode"}).out, ::testing::HasSubstr("--sosi"));
  EXPECT_THAT(RunSvreg({"help", "--man"}).out, ::testing::HasSubstr(".SS svreg codepage decode"));
  EXPECT_THAT(RunSvreg({"help", "--completion"}).out, ::testing::HasSubstr("complete -F _svreg"));
}

}  // namespace
}  // namespace svregistration
