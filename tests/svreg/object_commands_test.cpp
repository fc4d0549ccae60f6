// svreg register, objects, log, folder, generated, refresh and unregister end to end on a
// temporary workspace, with each repository.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/temp_dir.h"
#include "svreg/workspace_fixture.h"

namespace svregistration {
namespace {

using nlohmann::json;
using testing::ReadFile;
using testing::RunSvreg;
using testing::TempDir;

class SvregObjects : public testing::SvregWorkspaceTest {};

TEST_P(SvregObjects, RegistersAFolderWalkAndReportsEveryResult) {
  dir_.Write("src/b/PAY.cbl", "       PROCEDURE DIVISION.\n");
  dir_.Write("src/a/CALC.cbl", "       ADD 1 TO X.\n");
  dir_.Write("src/a/README.txt", "not a program\n");
  auto first = Json({"register", ws_, "--type", "COBOL", dir_ / "src", dir_ / "src/GONE.cbl"}, 1);
  // Folders are walked in name order; the extension handler refuses the text file.
  std::vector<std::string> results;
  for (const auto& r : first["results"])
    results.push_back(r["name"].get<std::string>() + " " + r["result"].get<std::string>() + " " +
                      r["code"].dump());
  EXPECT_THAT(results, ::testing::ElementsAre("CALC.cbl rOK 1", "README.txt rNoRefreshNeeded 0",
                                              "PAY.cbl rOK 1", "GONE.cbl rSourceFileIsMissed 2"));

  auto objects = Json({"objects", ws_, "--type", "COBOL"});
  ASSERT_EQ(objects["objects"].size(), 2u);
  EXPECT_EQ(objects["objects"][1]["source"], "Sources/COBOL/PAY.cbl");
  EXPECT_EQ(objects["objects"][1]["original"], dir_ / "src/b/PAY.cbl");
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/PAY.cbl"), "       PROCEDURE DIVISION.\n");

  auto summary =
      RunSvreg({"register", ws_, "--type", "JCL", dir_.Write("jcl/RUN.jcl", "//RUN JOB\n")});
  EXPECT_EQ(std::tuple(summary.exit_code, summary.out), std::tuple(0, "1 file: 1 rOK\n"));

  testing::ExpectSvregFails({"register", ws_, "--type", "NOSUCH", dir_ / "src/b/PAY.cbl"}, 2,
                            {"'NOSUCH'"});
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
  std::filesystem::remove(two);
  auto refreshed = Json({"refresh", ws_, folder}, 1);
  EXPECT_EQ(refreshed["result"].dump() + " " + refreshed["copied"].dump(), "3 1");
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/ONE.cbl"), "A changed\n");
  EXPECT_FALSE(std::filesystem::exists(ws_ + "/out/ONE.lst"));  // invalidated
  EXPECT_FALSE(std::filesystem::exists(ws_ + "/out/gen"));
  auto log = Json({"log", ws_})["log"];
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["title"].get<std::string>() + " " + log[0]["object"].get<std::string>(),
            "Refresh sources " + two_id);

  // The only folder stays; the program goes with its copy.
  EXPECT_EQ(Json({"unregister", ws_, folder}, 1)["kept"], json::array({folder}));
  EXPECT_TRUE(Json({"unregister", ws_, one_id})["ok"]);
  EXPECT_FALSE(std::filesystem::exists(ws_ + "/Sources/COBOL/ONE.cbl"));
  EXPECT_EQ(Json({"unregister", ws_, two_id, folder})["kept"], json::array({folder}));
  EXPECT_EQ(Json({"objects", ws_})["objects"].size(), 1u);

  // An id no object has is named as such, not as kept; the group is left alone.
  testing::ExpectSvregFails({"unregister", ws_, folder, one_id}, 1,
                            {"no object with the id '" + one_id + "' exists"});
  EXPECT_EQ(Json({"objects", ws_})["objects"].size(), 1u);
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
