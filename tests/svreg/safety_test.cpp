// What users trust svreg with, end to end: nothing outside the workspace or of the user's own is
// deleted or overwritten, a killed run is finished or undone by the next, and only what was kept
// is reported as done.
#include <fmt/core.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
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
using testing::TempDir;

class SvregSafety : public testing::SvregWorkspaceTest {
 protected:
  bool Exists(const std::string& relative) const {
    return fs::exists(fs::symlink_status(fs::path(ws_) / relative));
  }
  // A journal as a run killed before its commit leaves it.
  void DeadJournal(const std::string& lines) { dir_.Write("ws/.svreg/pending/1-1.journal", lines); }
  // The file that says where the repository is.
  const char* RepositoryFile() const {
    return uri_.empty() ? "workspace.db" : "options/repository";
  }
  // Runs SQL on the repository with its engine's own client.
  void Sql(const std::string& statement) {
    const std::string command = uri_.empty()
                                    ? "sqlite3 '" + ws_ + "/workspace.db' \"" + statement + "\""
                                    : "psql -q '" + uri_ + "' -c \"" + statement + "\" >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
};

TEST_P(SvregSafety, RegistrationKeepsFiles) {
  // A file of the user's in Sources that no object records is never replaced: result 8.
  dir_.Write("ws/Sources/COBOL/WIP.cbl", "work in progress\n");
  auto taken = Json({"register", ws_, "--type", "COBOL", dir_.Write("src/WIP.cbl", "other\n")}, 1);
  EXPECT_EQ(taken["results"][0]["result"], "rFileAllreadyExists");
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/WIP.cbl"), "work in progress\n");
  // The type's folder is spelled as the schema spells it, whatever the caller typed.
  Register(dir_.Write("src/LOW.cbl", "x\n"), {"--type", "cobol"});
  EXPECT_TRUE(Exists("Sources/COBOL/LOW.cbl"));
  EXPECT_FALSE(Exists("Sources/cobol"));
  // A path that differs in letter case is another file: it is copied, not taken as in place.
  std::string elsewhere = dir_.Write("ws/sources/cobol/CASE.cbl", "case\n");
  Register(elsewhere);
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/CASE.cbl"), "case\n");
  // A file registered from its own place is not copied and stays.
  std::string in_place = dir_.Write("ws/Sources/JCL/RUN.jcl", "//RUN JOB\n");
  EXPECT_FALSE(Register(in_place, {"--type", "JCL"}).empty());
  EXPECT_EQ(ReadFile(in_place), "//RUN JOB\n");
}

TEST_P(SvregSafety, DeletionStaysInsideTheWorkspaceAndNamesAreLiteral) {
  TempDir outside;
  outside.Write("victim.txt", "v");
  std::string pay = Register(dir_.Write("src/PAY?.cbl", "?\n"));
  Register(dir_.Write("src/PAY1.cbl", "1\n"));
  Register(dir_.Write("src/*.cbl", "*\n"));
  fs::create_directory_symlink(outside.path(), fs::path(ws_) / "link");
  dir_.Write("ws/out/PAY.mf", "../../" +
                                  fs::relative(outside / "victim.txt", ws_ + "/out").string() +
                                  "\n..\\..\n//DIR:../..\n../link/victim.txt\n../workspace.db\n");
  Json({"generated", "add", ws_, pay, "\\.", ":out\\PAY.mf", "\\link", "\\Sources\\COBOL",
        ".options\\workspace.xml"});
  // What stays although it was to go is listed, and the command says it failed.
  EXPECT_FALSE(Json({"invalidate", ws_, pay}, 1)["not_deleted"].empty());
  Json({"unregister", ws_, pay});  // the invalidation forgot the entries: nothing is left to go
  for (const char* own : {RepositoryFile(), "options/workspace.xml", "codepages/ibm-37.tbl",
                          "Sources/COBOL/PAY1.cbl", "Sources/COBOL/*.cbl"}) {
    EXPECT_TRUE(Exists(own)) << own;
  }
  EXPECT_FALSE(Exists("Sources/COBOL/PAY?.cbl"));
  EXPECT_TRUE(fs::exists(outside / "victim.txt"));
  int warnings = 0;
  auto log = Json({"log", ws_})["log"];
  for (const auto& record : log) warnings += record["severity"] == 1;
  EXPECT_GE(warnings, 8) << log.dump(1);
  EXPECT_EQ(Json({"objects", ws_, "--type", "COBOL"})["objects"].size(), 2u);
}

TEST_P(SvregSafety, TheNextRunUndoesAKilledRegistration) {
  // The killed run had written LEFT.cbl and KEPT.cbl (refused, so kept) but committed neither
  // object; USER.cbl is a file of the user's that no journal names.
  dir_.Write("ws/Sources/COBOL/USER.cbl", "user\n");
  DeadJournal(
      "copy\tSources/COBOL/LEFT.cbl\ncopy\tSources/COBOL/KEPT.txt\nkeep\tSources/COBOL/KEPT.txt\n"
      "copy\t../../escape\n");
  dir_.Write("ws/Sources/COBOL/LEFT.cbl", "left\n");
  dir_.Write("ws/Sources/COBOL/KEPT.txt", "kept\n");
  dir_.Write("escape", "outside");
  Register(dir_.Write("src/LEFT.cbl", "left\n"));  // registers (exit 0), after the recovery
  EXPECT_EQ(std::tuple(Exists("Sources/COBOL/KEPT.txt"), Exists("Sources/COBOL/USER.cbl"),
                       fs::exists(dir_ / "escape"), Exists(".svreg/pending/1-1.journal")),
            std::tuple(true, true, true, false));
}

// A journal is data anybody may have put in the folder: what it names is deleted only when it is
// a plain leftover in a Sources folder that changed after the journal began; a damaged journal is
// set aside and named, never a reason to stop.
TEST_P(SvregSafety, PlantedAndDamagedJournalsAreNotObeyed) {
  TempDir outside;
  outside.Write("victim.txt", "v");
  dir_.Write("ws/Sources/COBOL/OLD.cbl", "the user's, older than any journal\n");
  const std::string committed = Register(dir_.Write("src/a\\b.cbl", "backslash\n"));
  fs::create_directory_symlink(outside.path(), fs::path(ws_) / "Sources/COBOL/link");
  ::sleep(1);  // the journal begins a tick after the user's file
  dir_.Write("ws/.svreg/pending/7-1.journal",
             std::string("copy\t") + RepositoryFile() + "\ncopy\toptions/workspace.xml\n" +
                 "copy\tSources/COBOL/a\\b.cbl\ncopy\tSources/COBOL/link/victim.txt\n" +
                 "copy\tSources/COBOL/OLD.cbl\n");
  dir_.Write("ws/.svreg/pending/8-1.journal", "refresh\tnot a time\tX\n");
  dir_.Write("ws/.svreg/pending/9-1.journal", "copy\tSources/COBOL/NEW.cbl\n");
  dir_.Write("ws/Sources/COBOL/NEW.cbl", "leftover\n");  // the only thing to go
  Json({"invalidate", ws_, committed});  // a run that changes the workspace recovers first
  for (const char* kept : {RepositoryFile(), "options/workspace.xml", "Sources/COBOL/a\\b.cbl",
                           "Sources/COBOL/OLD.cbl", ".svreg/pending/8-1.journal.damaged"}) {
    EXPECT_TRUE(Exists(kept)) << kept;
  }
  EXPECT_TRUE(fs::exists(outside / "victim.txt"));
  EXPECT_FALSE(Exists("Sources/COBOL/NEW.cbl"));
  EXPECT_FALSE(Exists(".svreg/pending/7-1.journal"));
  std::string log = Json({"log", ws_})["log"].dump();
  EXPECT_NE(log.find("8-1.journal"), std::string::npos) << log;
  // The committed copy named with a "\" is made again under that very name.
  fs::remove(fs::path(ws_) / "Sources/COBOL/a\\b.cbl");
  EXPECT_EQ(Json({"refresh", ws_, committed})["copied"], 1);
  EXPECT_EQ(ReadFile(ws_ + "/Sources/COBOL/a\\b.cbl"), "backslash\n");
  EXPECT_FALSE(Exists("Sources/COBOL/a"));
}

// The journal folder is this program's own: a link planted in its place is refused, and no
// journal is written where it leads.
TEST_P(SvregSafety, AJournalFolderThatIsALinkIsRefused) {
  TempDir outside;
  fs::remove_all(fs::path(ws_) / ".svreg");
  fs::create_directory_symlink(outside.path(), fs::path(ws_) / ".svreg");
  testing::ExpectSvregFails({"register", ws_, "--type", "COBOL", dir_.Write("src/A.cbl", "x\n")}, 2,
                            {".svreg"});
  EXPECT_TRUE(fs::is_empty(outside.path()));
}

// A name the repository cannot keep (not UTF-8, on a server) fails that one file, never the
// batch around it.
TEST_P(SvregSafety, ANameTheRepositoryCannotKeepFailsOnlyItsFile) {
  const std::string odd = std::string("B\xE9") + "D.cbl";
  for (const std::string& name : {std::string("A.cbl"), odd, std::string("C.cbl")}) {
    dir_.Write("src/" + name, "x\n");
  }
  auto run = Json({"register", ws_, "--type", "COBOL", dir_ / "src"}, uri_.empty() ? 0 : 1);
  std::vector<std::string> results;
  for (const auto& r : run["results"]) results.push_back(r["result"]);
  const std::string odd_result = uri_.empty() ? "rOK" : "rUnexpectedRegistrationError";
  EXPECT_EQ(results, (std::vector<std::string>{"rOK", odd_result, "rOK"}));
  EXPECT_EQ(Json({"objects", ws_})["objects"].size(), uri_.empty() ? 3u : 2u);
  EXPECT_EQ(Exists("Sources/COBOL/" + odd), uri_.empty());
}

// A registration whose attributes the repository refuses leaves no copy behind and says so in
// the log: the same file registers once the repository takes it again.
TEST_P(SvregSafety, AFailedAttributeWriteLeavesNothingThatBlocksTheFile) {
  Sql(uri_.empty()
          ? "CREATE TRIGGER refuse BEFORE INSERT ON attributes WHEN NEW.value LIKE '%BAD%' "
            "BEGIN SELECT RAISE(ABORT, 'refused'); END;"
          : "CREATE FUNCTION refuse() RETURNS trigger AS 'BEGIN IF NEW.value LIKE ''%BAD%'' THEN "
            "RAISE EXCEPTION ''refused''; END IF; RETURN NEW; END' LANGUAGE plpgsql; CREATE "
            "TRIGGER refuse BEFORE INSERT ON attributes FOR EACH ROW EXECUTE FUNCTION refuse();");
  dir_.Write("src/GOOD.cbl", "good\n");
  const std::string bad = dir_.Write("src/BAD.cbl", "bad\n");
  auto run = Json({"register", ws_, "--type", "COBOL", dir_ / "src"}, 1);
  EXPECT_EQ(run["results"][0]["result"], "rUnexpectedRegistrationError") << run.dump();
  EXPECT_FALSE(Exists("Sources/COBOL/BAD.cbl"));
  EXPECT_NE(Json({"log", ws_})["log"].dump().find("BAD.cbl"), std::string::npos);
  Sql("DROP TRIGGER refuse" + std::string(uri_.empty() ? "" : " ON attributes"));
  EXPECT_EQ(Json({"register", ws_, "--type", "COBOL", bad})["results"][0]["result"], "rOK");
  // A group unregistration whose repository change fails keeps every object and its copy, and
  // says so: the objects are read back after the commit.
  Sql(uri_.empty() ? "CREATE TRIGGER keep BEFORE DELETE ON objects "
                     "BEGIN SELECT RAISE(ABORT, 'kept'); END;"
                   : "CREATE FUNCTION keep() RETURNS trigger AS 'BEGIN RAISE EXCEPTION ''kept''; "
                     "END' LANGUAGE plpgsql; CREATE TRIGGER keep BEFORE DELETE ON objects FOR "
                     "EACH ROW EXECUTE FUNCTION keep();");
  std::vector<std::string> command = {"unregister", ws_};
  const json listed = Json({"objects", ws_});
  for (const auto& object : listed["objects"]) command.push_back(object["id"]);
  ASSERT_EQ(command.size(), 4u);
  const json kept = Json(command, 1);
  EXPECT_EQ(std::tuple(kept["kept"].size(), kept["unregistered"], kept["removed"]),
            std::tuple(2u, json::array(), json::array()));
  EXPECT_THAT(kept["reason"].get<std::string>(), ::testing::HasSubstr("the repository kept it"));
  EXPECT_TRUE(Exists("Sources/COBOL/BAD.cbl") && Exists("Sources/COBOL/GOOD.cbl"));
}

// A "\\" in a copy's own name is part of the name: status finds that copy, and clean never takes
// it for a file nobody recorded.
TEST_P(SvregSafety, ACopyWithABackslashInItsNameIsItsObjects) {
  Register(dir_.Write("src/a\\b.cbl", "a\n"));
  auto status = Json({"status", ws_});
  EXPECT_TRUE(status["changes"].empty()) << status.dump();
  Json({"clean", ws_, "--force"});
  EXPECT_TRUE(Exists("Sources/COBOL/a\\b.cbl"));
}

// A copy path a row records is read only inside the workspace: diff and status never show a file
// the row points at outside it.
TEST_P(SvregSafety, DiffAndStatusReadRecordedCopiesOnlyInside) {
  const std::string id = Register(dir_.Write("src/A.cbl", "a\n"));
  dir_.Write("secret.txt", "SECRET\n");
  Sql("UPDATE attributes SET value = '../secret.txt' WHERE name = 'Source'");
  auto diff = testing::ExpectSvregFails({"diff", ws_, id}, 2, {});
  EXPECT_EQ((diff.out + diff.err).find("SECRET"), std::string::npos);
  EXPECT_EQ(Json({"status", ws_}, 1).dump().find("SECRET"), std::string::npos);
}

// The user's own words in an options document survive a changed value.
TEST_P(SvregSafety, OptionSetKeepsCommentsAndDeclarations) {
  const std::string path = ws_ + "/options/workspace.xml";
  std::string text = ReadFile(path);
  text.insert(text.find("<OPTIONS"),
              "<!DOCTYPE OPTIONS>\n<?team-tool keep?>\n<!-- reviewed by the migration team -->\n");
  dir_.Write("ws/options/workspace.xml", text);
  Json({"option", ws_, "set", "//BOOL[@ID='ExpandTabs']", "true"});
  const std::string saved = ReadFile(path);
  for (const char* kept : {"<!DOCTYPE OPTIONS>", "<?team-tool keep?>", "reviewed by the migration"})
    EXPECT_NE(saved.find(kept), std::string::npos) << kept << "\n" << saved;
}

TEST_P(SvregSafety, TheNextRunFinishesAKilledRefresh) {
  std::string id = Register(dir_.Write("src/A.cbl", "A\n"));
  Json({"generated", "add", ws_, id, ".out\\A.lst"});
  dir_.Write("ws/out/A.lst", "listing");
  // The killed refresh (process 1) had rewritten the copy but not committed the invalidation,
  // and was killed again with a replacement named but not renamed over the copy.
  auto started = std::chrono::system_clock::now().time_since_epoch();
  DeadJournal(fmt::format("refresh\t{}\t{}\n", std::chrono::nanoseconds(started).count(), id));
  dir_.Write("src/A.cbl", "A changed\n");
  fs::remove(ws_ + "/Sources/COBOL/A.cbl");
  dir_.Write("ws/Sources/COBOL/A.cbl", "A changed\n");
  for (const char* name :
       {".A.cbl.tmp-1-7", ".A.cbl.tmp-12-7", ".B.cbl.tmp-1-7", ".A.cbl.tmp-1-x"}) {
    dir_.Write(std::string("ws/Sources/COBOL/") + name, "A changed\n");
  }
  EXPECT_EQ(Json({"refresh", ws_, id})["copied"], 0);
  EXPECT_FALSE(Exists("out/A.lst"));
  // Only the dead process's replacement of a copy its journal names goes.
  EXPECT_EQ(
      std::tuple(Exists("Sources/COBOL/.A.cbl.tmp-1-7"), Exists("Sources/COBOL/.A.cbl.tmp-12-7"),
                 Exists("Sources/COBOL/.B.cbl.tmp-1-7"), Exists("Sources/COBOL/.A.cbl.tmp-1-x")),
      std::tuple(false, true, true, true));
}

// A full disk: the final commit fails, so nothing of the batch is reported as registered, the
// copies written for it go, and svreg exits 2. Needs root for a small file system of its own.
// The workspace database shares the small disk: SQLite only.
class SvregSafetyFullDisk : public SvregSafety {};

TEST_P(SvregSafetyFullDisk, AFullDiskRegistersNothingItCannotKeep) {
  fs::path small = dir_ / "small";
  fs::create_directories(small);
  if (::geteuid() != 0 || ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4m") != 0) {
    GTEST_SKIP() << "needs root to mount a small file system";
  }
  std::string ws = (small / "ws").string();
  ASSERT_EQ(RunSvreg({"init", ws}).exit_code, 0);
  for (int i = 0; i < 20; ++i) dir_.Write(fmt::format("src/P{:02}.cbl", i), "x\n");
  // Fill the disk but for room for the twenty copies.
  dir_.Write("small/filler", std::string(fs::space(small).available - 20 * 4096, 'f'));
  auto result = RunSvreg({"register", ws, "--type", "COBOL", dir_ / "src", "--json"});
  ::umount2(small.c_str(), MNT_DETACH);
  if (result.exit_code == 1) GTEST_SKIP() << "the copies did not fit: " << result.out;
  EXPECT_EQ(result.exit_code, 2) << result.err;
  EXPECT_EQ(result.out.find("\"rOK\""), std::string::npos) << result.out;
}

SVREG_ON_BOTH_REPOSITORIES(SvregSafety);
INSTANTIATE_TEST_SUITE_P(Sqlite, SvregSafetyFullDisk, ::testing::Values(testing::Backend::kSqlite),
                         testing::BackendName);

}  // namespace
}  // namespace svregistration
