// svreg status, diff and clean, and refresh refusing a copy that would now be made with other
// settings, end to end with each repository; and diff's unified difference against what diff -u
// prints for the same texts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/temp_dir.h"
#include "svreg/workspace_fixture.h"
#include "unified_diff.h"

namespace svregistration {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using svreg::UnifiedDiff;
using testing::ReadFile;

class SvregStatus : public testing::SvregWorkspaceTest {
 protected:
  // The workspace's state by id (or by copy for untracked files).
  std::map<std::string, std::string> States(int exit) {
    std::map<std::string, std::string> states;
    const json status = Json({"status", ws_}, exit);
    for (const auto& c : status["changes"]) {
      std::string id = c["id"], source = c["source"];
      states[id.empty() ? source : id] = c["state"].get<std::string>();
    }
    return states;
  }
};

TEST_P(SvregStatus, RefreshLeavesACopyNowMadeDifferentlyUnlessForced) {
  std::string a = Register(dir_.Write("src/A.cbl", "       A.\n"), {"--encoding"});
  std::string b = Register(dir_.Write("src/B.cbl", "B\tX\n"));
  std::string c = Register(dir_.Write("src/C.cbl", "       C.\n"));
  std::string folder = Json({"folder", "create", ws_, "ALL"})["id"];
  Json({"folder", "add", ws_, folder, a, b, c});
  dir_.Write("src/C.cbl", "       C CHANGED.\n");
  Set("//BOOL[@ID='ExpandTabs']", "true");
  // A's settings changed but not its bytes; B's verbatim copy would now be normalised; C was
  // copied verbatim and normalising leaves its changed original as it is: refreshed.
  auto refused = Json({"refresh", ws_, folder}, 1);
  EXPECT_EQ(std::tuple(refused["copied"], refused["unchanged"], refused["failed"].size()),
            std::tuple(json(1), json(1), 1u));
  EXPECT_EQ(refused["failed"][0]["id"], b);
  EXPECT_EQ(refused["failed"][0]["outcome"], "settings_changed");
  EXPECT_THAT(refused["failed"][0]["reason"].get<std::string>(),
              ::testing::HasSubstr("verbatim -> normalised"));
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/B.cbl"), "B\tX\n");

  EXPECT_EQ(Json({"refresh", ws_, b, "--force"})["copied"], 1);
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/B.cbl"), "B       X\n");
  EXPECT_TRUE(States(0).empty());

  // Another batch's encoding: the copy of an ASCII program would become EBCDIC-converted text.
  Set("//LIST[@ID='LegacySourcesEncoding']", "EBCDIC");
  Set("//LIST[@NAME='ObjectComputerEncoding']", "US EBCDIC 037");
  EXPECT_THAT(Json({"refresh", ws_, a}, 1)["failed"][0]["reason"].get<std::string>(),
              ::testing::HasSubstr("legacy_encoding ASCII -> EBCDIC"));
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/A.cbl"), "       A.\n");
}

TEST_P(SvregStatus, StatusDiffAndCleanChangeNothingUnlessForced) {
  std::string p = Register(dir_.Write("src/P.cbl", "L1\nL2\nL3\n"));
  std::string q_file = dir_.Write("src/Q.cbl", "Q\n");
  std::string q = Register(q_file);
  EXPECT_TRUE(States(0).empty());

  dir_.Write("src/P.cbl", "L1\nL2 changed\nL3\n");
  fs::remove(q_file);
  dir_.Write("ws/Sources/COBOL/STRAY.cbl", "left over\n");
  testing::TempDir outside;
  std::string victim = outside.Write("victim.cbl", "v");
  fs::create_symlink(victim, ws_ + "/Sources/COBOL/LINK.cbl");
  EXPECT_EQ(States(1),
            (std::map<std::string, std::string>{{p, "modified"},
                                                {q, "original_missing"},
                                                {"Sources/COBOL/LINK.cbl", "untracked"},
                                                {"Sources/COBOL/STRAY.cbl", "untracked"}}));

  auto diff = testing::RunSvreg({"diff", ws_, p});
  EXPECT_EQ(diff.exit_code, 1);
  EXPECT_THAT(diff.out, ::testing::HasSubstr("@@ -1,3 +1,3 @@\n L1\n-L2\n+L2 changed\n L3\n"));
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/P.cbl"), "L1\nL2\nL3\n");

  EXPECT_EQ(Json({"clean", ws_})["untracked"],
            json::array({"Sources/COBOL/LINK.cbl", "Sources/COBOL/STRAY.cbl"}));
  EXPECT_TRUE(fs::exists(ws_ + "/Sources/COBOL/STRAY.cbl"));
  EXPECT_EQ(Json({"clean", ws_, "--force"})["removed"].size(), 2u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(ws_ + "/Sources/COBOL/LINK.cbl")));
  EXPECT_EQ(std::tuple(ReadFile(victim), fs::exists(ws_ + "/Sources/COBOL/P.cbl")),
            std::tuple("v", true));
}

SVREG_ON_BOTH_REPOSITORIES(SvregStatus);

TEST(UnifiedDiff, HunksAsDiffPrintsThem) {
  std::string thirty;  // one number a line
  for (int i = 1; i <= 30; ++i) thirty += std::to_string(i) + "\n";
  std::string both = thirty;
  both.replace(both.find("\n5\n") + 1, 1, "five");
  both.replace(both.find("25\n"), 2, "twenty-five");
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // before, after, hunks
      {thirty, thirty, ""},
      // Changes far apart: a hunk each, three lines of context around.
      {thirty, both,
       "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n"
       "@@ -22,7 +22,7 @@\n 22\n 23\n 24\n-25\n+twenty-five\n 26\n 27\n 28\n"},
      // Removed before added; a hunk at the start has less context.
      {"a\nb\n", "a\nc\n", "@@ -1,2 +1,2 @@\n a\n-b\n+c\n"},
      // Nothing before: the hunk starts at line 0; a last line without its line break is marked.
      {"", "x\ny", "@@ -0,0 +1,2 @@\n+x\n+y\n\\ No newline at end of file\n"},
  };
  for (const auto& [before, after, hunks] : cases) {
    EXPECT_EQ(UnifiedDiff(before, after, "a", "b"), hunks.empty() ? "" : "--- a\n+++ b\n" + hunks)
        << after;
  }
}

}  // namespace
}  // namespace svregistration
