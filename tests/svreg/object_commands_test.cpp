// svreg register, objects, log, folder, generated, refresh and unregister end to end on a
// temporary workspace, with each repository.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

class SvregObjects : public testing::SvregWorkspaceTest {
 protected:
  std::string Id(const json& results, const std::string& name) {
    for (const auto& r : results["results"]) {
      if (r["name"] == name) return r["id"];
    }
    return "";
  }
};

TEST_P(SvregObjects, RegistersAFolderWalkAndReportsEveryResult) {
  dir_.Write("src/b/PAY.cbl", "       PROCEDURE DIVISION.\n");
  dir_.Write("src/a/CALC.cbl", "       ADD 1 TO X.\n");
  dir_.Write("src/a/README.txt", "not a program\n");
  auto first = Json({"register", ws_, "--type", "COBOL", dir_ / "src", dir_ / "src/GONE.cbl"}, 1);
  ASSERT_EQ(first["results"].size(), 4u);
  // Folders are walked in name order; the extension handler refuses the text file.
  EXPECT_EQ(first["results"][0]["name"], "CALC.cbl");
  EXPECT_EQ(first["results"][0]["result"], "rOK");
  EXPECT_EQ(first["results"][1]["result"], "rNoRefreshNeeded");
  EXPECT_EQ(first["results"][2]["name"], "PAY.cbl");
  EXPECT_EQ(first["results"][3]["result"], "rSourceFileIsMissed");
  EXPECT_EQ(first["results"][3]["code"], 2);

  auto again = Json({"register", ws_, "--type", "COBOL", dir_ / "src/b/PAY.cbl"}, 1);
  EXPECT_EQ(again["results"][0]["result"], "rFileAllreadyExists");
  auto same_name = Json({"register", ws_, "--type", "COBOL", "--name", "PAY.cbl",
                         dir_.Write("other/PAY2.cbl", "x\n")},
                        1);
  EXPECT_EQ(same_name["results"][0]["result"], "rObjectAllreadyExists");

  auto objects = Json({"objects", ws_, "--type", "COBOL"});
  ASSERT_EQ(objects["objects"].size(), 2u);
  EXPECT_EQ(objects["objects"][1]["source"], "Sources/COBOL/PAY.cbl");
  EXPECT_EQ(objects["objects"][1]["original"], dir_ / "src/b/PAY.cbl");
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/PAY.cbl"), "       PROCEDURE DIVISION.\n");

  auto summary =
      RunSvreg({"register", ws_, "--type", "JCL", dir_.Write("jcl/RUN.jcl", "//RUN JOB\n")});
  EXPECT_EQ(summary.exit_code, 0);
  EXPECT_EQ(summary.out, "1 file: 1 rOK\n");

  auto unknown_type = RunSvreg({"register", ws_, "--type", "NOSUCH", dir_ / "src/b/PAY.cbl"});
  EXPECT_EQ(unknown_type.exit_code, 2);
  EXPECT_NE(unknown_type.err.find("the object type 'NOSUCH' does not exist"), std::string::npos)
      << unknown_type.err;
}

TEST_P(SvregObjects, UnreadableSourceGives256AndALogRecordNamingIt) {
  // A pipe where a file was expected: it cannot be read as a source.
  std::string pipe = dir_ / "PIPE.cpy";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  auto result = Json({"register", ws_, "--type", "COPYBOOK", pipe}, 1);
  EXPECT_EQ(result["results"][0]["code"], 256);
  auto log = Json({"log", ws_});
  ASSERT_EQ(log["log"].size(), 1u);
  EXPECT_EQ(log["log"][0]["title"], "Register");
  EXPECT_EQ(log["log"][0]["severity"], 2);
  EXPECT_EQ(log["log"][0]["text"],
            "Unable to copy file from " + pipe + " to " + ws_ + "/Sources/COPYBOOK/PIPE.cpy");
  EXPECT_FALSE(std::filesystem::exists(ws_ + "/Sources/COPYBOOK/PIPE.cpy"));
}

TEST_P(SvregObjects, FolderRefreshAndUnregistration) {
  std::string one = dir_.Write("src/ONE.cbl", "A\n");
  std::string two = dir_.Write("src/TWO.cbl", "B\n");
  auto registered = Json({"register", ws_, "--type", "COBOL", dir_ / "src"});
  std::string one_id = Id(registered, "ONE.cbl"), two_id = Id(registered, "TWO.cbl");
  std::string folder = Json({"folder", "create", ws_, "MAIN"})["id"];
  Json({"folder", "add", ws_, folder, one_id, two_id});
  Json({"generated", "add", ws_, one_id, ".out\\ONE.lst", ":out\\ONE.mf"});
  dir_.Write("ws/out/ONE.lst", "listing");
  dir_.Write("ws/out/ONE.mf", "//MODEL:X\ngen\\ONE.obj\n//DIR:gen\n");
  dir_.Write("ws/out/gen/ONE.obj", "object");

  dir_.Write("src/ONE.cbl", "A changed\n");
  std::filesystem::remove(two);
  auto refreshed = Json({"refresh", ws_, folder}, 1);
  EXPECT_EQ(refreshed["result"], 3);
  EXPECT_EQ(refreshed["copied"], 1);
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/ONE.cbl"), "A changed\n");
  EXPECT_FALSE(std::filesystem::exists(ws_ + "/out/ONE.lst"));  // invalidated
  EXPECT_FALSE(std::filesystem::exists(ws_ + "/out/gen"));
  auto log = Json({"log", ws_});
  ASSERT_EQ(log["log"].size(), 1u);
  EXPECT_EQ(log["log"][0]["title"], "Refresh sources");
  EXPECT_EQ(log["log"][0]["object"], two_id);
  EXPECT_EQ(log["log"][0]["text"], "Original source file not found");

  // The only folder stays; the program goes with its copy.
  auto kept = Json({"unregister", ws_, folder}, 1);
  EXPECT_EQ(kept["kept"], json::array({folder}));
  auto gone = Json({"unregister", ws_, one_id});
  EXPECT_TRUE(gone["ok"]);
  EXPECT_FALSE(std::filesystem::exists(ws_ + "/Sources/COBOL/ONE.cbl"));
  auto group = Json({"unregister", ws_, two_id, folder});
  EXPECT_EQ(group["kept"], json::array({folder}));
  EXPECT_EQ(Json({"objects", ws_})["objects"].size(), 1u);

  // An id no object has is named as such, not as kept; the group is left alone.
  auto unknown = RunSvreg({"unregister", ws_, folder, one_id});
  EXPECT_EQ(unknown.exit_code, 1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("no object with the id '" + one_id + "' exists"), std::string::npos)
      << unknown.err;
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
  auto result = RunSvreg({"objects", ws_});
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
  auto not_workspace = RunSvreg({"register", dir_.path().string(), "--type", "COBOL", "x"});
  EXPECT_EQ(not_workspace.exit_code, 2);
  EXPECT_NE(not_workspace.err.find("is not a workspace"), std::string::npos) << not_workspace.err;
}

SVREG_ON_BOTH_REPOSITORIES(SvregObjects);

}  // namespace
}  // namespace svregistration
