// svreg register, objects, folder, generated, refresh and unregister end to end on a temporary
// workspace, with each repository.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/temp_dir.h"
#include "svreg/workspace_fixture.h"

namespace svregistration {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ReadFile;
using testing::RunSvreg;

class SvregObjects : public testing::SvregWorkspaceTest {
 protected:
  // "file outcome type" of each result, the file relative to the test folder.
  std::vector<std::string> Outcomes(const json& report) {
    std::vector<std::string> lines;
    for (const auto& r : report["results"]) {
      lines.push_back(
          fs::path(r["file"].get<std::string>()).lexically_relative(dir_.path()).string() + " " +
          r["outcome"].get<std::string>() + " " + r["type"].get<std::string>());
    }
    return lines;
  }
};

TEST_P(SvregObjects, RegisterChoosesEachTypeByExtensionAndSkipsTheRest) {
  // Every default type registers a file of its extensions, whatever their letter case.
  for (const char* file :
       {"app/a/PAY.CBL", "app/a/calc.cob", "app/b/CUSTREC.cpy", "app/b/RUN.JCL", "app/c/P.pli",
        "app/c/Q.Pl1", "app/c/MAP.bms", "app/doc/README.md", "app/doc/logo.png", "app/NOEXT"}) {
    dir_.Write(file, "       X.\n");
  }
  auto first = Json({"register", ws_, dir_ / "app"});
  EXPECT_THAT(
      Outcomes(first),
      ::testing::ElementsAre("app/a/PAY.CBL registered COBOL", "app/a/calc.cob registered COBOL",
                             "app/b/CUSTREC.cpy registered COPYBOOK",
                             "app/b/RUN.JCL registered JCL", "app/c/MAP.bms registered BMS",
                             "app/c/P.pli registered PLI", "app/c/Q.Pl1 registered PLI"));
  EXPECT_EQ(first["skipped"].size(), 3u);
  EXPECT_THAT(first["summary"].get<std::string>(),
              ::testing::HasSubstr("3 skipped: no type lists (no extension), .md, .png"));
  EXPECT_FALSE(fs::exists(ws_ + "/Sources/COBOL/README.md"));

  // A refused file leaves nothing behind and says why; a missing one is named.
  auto refused =
      Json({"register", ws_, "--type", "COBOL", dir_ / "app/NOEXT", dir_ / "GONE.cbl"}, 1);
  EXPECT_THAT(Outcomes(refused),
              ::testing::ElementsAre("app/NOEXT refused COBOL", "GONE.cbl failed COBOL"));
  EXPECT_THAT(refused["results"][0]["reason"].get<std::string>(),
              ::testing::HasSubstr("COBOL lists no extension"));
  EXPECT_EQ(refused["ok"], false);
  EXPECT_FALSE(fs::exists(ws_ + "/Sources/COBOL/NOEXT"));
  EXPECT_EQ(Json({"objects", ws_, "--type", "COBOL"})["objects"].size(), 2u);

  auto plain = RunSvreg({"register", ws_, dir_.Write("jcl/RUN2.jcl", "//RUN JOB\n")});
  EXPECT_EQ(std::tuple(plain.exit_code, plain.out), std::tuple(0, "1 file: 1 registered\n"));
}

TEST_P(SvregObjects, RegisteringAgainIsNotAFailureAndATakenNameIsExplained) {
  dir_.Write("app/PAY.cbl", "       A.\n");
  dir_.Write("app/RUN.jcl", "//A JOB\n");
  std::string custrec = dir_.Write("app/CUSTREC.cpy", " 01 A.\n");
  std::string in_place = dir_.Write("ws/Sources/JCL/IN.jcl", "//IN JOB\n");
  auto first = Json({"register", ws_, "--encoding", dir_ / "app", in_place});

  dir_.Write("app/RUN.jcl", "//A JOB CHANGED\n");
  auto again = Json({"register", ws_, "--encoding", dir_ / "app", in_place});
  EXPECT_THAT(
      Outcomes(again),
      ::testing::ElementsAre("app/CUSTREC.cpy unchanged COPYBOOK", "app/PAY.cbl unchanged COBOL",
                             "app/RUN.jcl changed JCL", "ws/Sources/JCL/IN.jcl unchanged JCL"));
  EXPECT_EQ(again["results"][1]["id"], first["results"][1]["id"]);
  EXPECT_EQ(again["ok"], true);

  // Another library's copybook of the same name: the object holding the name and its original.
  auto taken = Json({"register", ws_, dir_.Write("lib2/CUSTREC.cpy", " 01 B.\n")}, 1);
  EXPECT_EQ(taken["results"][0]["outcome"], "name_taken");
  EXPECT_EQ(taken["results"][0]["holder_original"], custrec);
  EXPECT_EQ(taken["results"][0]["holder"], first["results"][0]["id"]);
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COPYBOOK/CUSTREC.cpy"), " 01 A.\n");
  auto plain = RunSvreg({"register", ws_, dir_ / "lib2/CUSTREC.cpy"});
  EXPECT_THAT(plain.out, ::testing::HasSubstr("registered from " + custrec));
}

TEST_P(SvregObjects, ObjectsListHasAHeaderAndTabSeparatedColumns) {
  std::string file = dir_.Write("my app/PAY ROLL.cbl", "       A.\n");
  std::string id = Json({"register", ws_, file})["results"][0]["id"];
  auto listed = RunSvreg({"objects", ws_});
  EXPECT_EQ(listed.out, "ID\tTYPE\tNAME\tCOPY\tORIGINAL\n" + id +
                            "\tCOBOL\tPAY ROLL.cbl\tSources/COBOL/PAY ROLL.cbl\t" + file + "\n");
}

TEST_P(SvregObjects, FolderRefreshAndUnregistration) {
  std::string one = dir_.Write("src/ONE.cbl", "A\n");
  std::string two = dir_.Write("src/TWO.cbl", "B\n");
  auto registered = Json({"register", ws_, "--type", "COBOL", dir_ / "src"});
  std::string one_id = registered["results"][0]["id"], two_id = registered["results"][1]["id"];
  std::string folder = Json({"folder", "create", ws_, "MAIN"})["id"];
  Json({"folder", "add", ws_, folder, one_id, two_id});
  Json({"generated", "add", ws_, one_id, ".out\\ONE.lst", ":out\\ONE.mf"});
  dir_.Write("ws/out/ONE.lst", "listing");
  dir_.Write("ws/out/ONE.mf", "//MODEL:X\ngen\\ONE.obj\n//DIR:gen\n");
  dir_.Write("ws/out/gen/ONE.obj", "object");

  dir_.Write("src/ONE.cbl", "A changed\n");
  fs::remove(two);
  auto refreshed = Json({"refresh", ws_, folder}, 1);
  EXPECT_EQ(refreshed["result"].dump() + " " + refreshed["copied"].dump(), "3 1");
  // The object not refreshed is named with its original and the reason.
  ASSERT_EQ(refreshed["failed"].size(), 1u);
  EXPECT_EQ(refreshed["failed"][0]["id"], two_id);
  EXPECT_EQ(refreshed["failed"][0]["original"], two);
  EXPECT_EQ(refreshed["failed"][0]["reason"], "Original source file not found");
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/ONE.cbl"), "A changed\n");
  EXPECT_FALSE(fs::exists(ws_ + "/out/ONE.lst"));  // invalidated
  EXPECT_FALSE(fs::exists(ws_ + "/out/gen"));
  auto log = Json({"log", ws_})["log"];
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["title"].get<std::string>() + " " + log[0]["object"].get<std::string>(),
            "Refresh sources " + two_id);
  // A second run lists its own record only, not the first run's.
  auto plain = RunSvreg({"refresh", ws_, folder});
  EXPECT_EQ(plain.out, "refreshed 2 objects: 0 copied, 1 unchanged, 1 not refreshed\n  " + two_id +
                           " (TWO.cbl) from " + two + ": Original source file not found\n");

  // The only folder stays, and the summary says why; the program goes with its copy.
  auto kept = Json({"unregister", ws_, folder}, 1);
  EXPECT_EQ(kept["kept"], json::array({folder}));
  EXPECT_THAT(kept["reason"].get<std::string>(), ::testing::HasSubstr("last folder"));
  auto gone = RunSvreg({"unregister", ws_, one_id});
  EXPECT_EQ(gone.out, "unregistered 1 of 1 object, 1 copy removed\n");
  EXPECT_FALSE(fs::exists(ws_ + "/Sources/COBOL/ONE.cbl"));
  EXPECT_EQ(Json({"unregister", ws_, two_id, folder})["kept"], json::array({folder}));
}

TEST_P(SvregObjects, DamagedWorkspaceIsNamed) {
  // The error names the file, or the database and its server (never the user).
  std::string named = ws_ + "/workspace.db";
  if (uri_.empty()) {
    dir_.Write("ws/workspace.db", "this is not a database");
  } else {
    std::string query = uri_.substr(uri_.find('?') + 1);
    named = "gone on " + query.substr(5, query.find('&') - 5);  // host=<socket folder>
    dir_.Write("ws/options/repository", "postgresql:///gone?" + query);
  }
  testing::ExpectSvregFails({"objects", ws_}, 2, {named});
  testing::ExpectSvregFails({"register", dir_.path().string(), "--type", "COBOL", "x"}, 2,
                            {"is not a workspace"});
}

SVREG_ON_BOTH_REPOSITORIES(SvregObjects);

}  // namespace
}  // namespace svregistration
