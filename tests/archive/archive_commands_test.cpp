// svreg zip and svreg rar end to end: arguments, scripted passwords, the summary, JSON and the
// exit status.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "archive_test_support.h"
#include "support/run_command.h"

namespace svregistration::testing {
namespace {

// Passwords come from the command line in turn, and the summary says what was extracted. An
// archive that cannot be read is an error; members selected and not written are listed, a
// pattern that selects nothing is said to, and JSON says ok:false whenever the status is not 0.
TEST(ArchiveCommandsTest, ExtractWithScriptedPasswordsAndReport) {
  if (SvregBinary().empty()) GTEST_SKIP() << "svreg is not built";
  TempDir dir;
  const std::string zip = dir / "a.zip";
  WriteArchive(zip, {File("src/main.cbl", "MAIN"), File("b.txt", "B")}, "zip:encryption=zipcrypt",
               "pw");
  std::vector<Member> rar_members = {File("docs\\a.txt", "A"), File("b.txt", "B")};
  rar_members[1].encrypted = true;
  const std::string rar = dir.Write("a.rar", Rar4Archive(rar_members));
  CommandResult run = RunSvreg({"zip", "--password", "wrong", "--password", "pw", "--json", zip,
                                dir / "z", "src\\main.cbl"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out,
            "{\"extracted\":1,\"not_extracted\":[],\"ok\":true,\"selected\":1,"
            "\"summary\":\"extracted 1 of 1 selected member into " +
                dir / "z" + "\",\"unread_headers\":\"\"}\n");
  EXPECT_EQ(Listing(dir / "z"), (Files{{"src", "<dir>"}, {"src/main.cbl", "MAIN"}}));
  run = RunSvreg({"rar", rar, dir / "r", "DOCS"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "extracted 1 of 1 selected member into " + dir / "r" + "\n");
  EXPECT_EQ(ReadFile(dir / "r/docs/a.txt"), "A");

  const std::string text = dir.Write("text.zip", "just text");
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"zip", dir / "missing.zip", dir / "o"}, 2, "no such archive: " + dir / "missing.zip"},
      {{"rar", dir / "missing.rar", dir / "o"}, 2, "no such archive"},
      {{"zip", text, dir / "o"}, 2, "not a zip archive: " + text},
      {{"rar", text, dir / "o"}, 2, "not a RAR archive"},
      {{"zip", "--password", "wrong", zip, dir / "o", "b.txt"}, 1, "not extracted: b.txt: "},
      {{"rar", "--password", "pw", rar, dir / "o"}, 1, "not extracted: b.txt: encrypted with"},
      {{"zip", zip, dir / "o", "*.cpy"}, 1, ""},
      {{"rar", rar, dir / "o", "src"}, 1, ""},
  };
  for (const auto& [args, exit_code, says] : cases) ExpectSvregFails(args, exit_code, {says});

  for (const auto& [args, summary] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"zip", "--json", zip, dir / "j", "*.cpy"},
            "nothing extracted: *.cpy selects no member of " + zip},
           {{"rar", "--json", "--password", "pw", rar, dir / "j"},
            "extracted 1 of 2 selected members into " + dir / "j" + "; 1 not extracted"},
       }) {
    const CommandResult failed = RunSvreg(args);
    EXPECT_EQ(failed.exit_code, 1);
    const auto json = nlohmann::json::parse(failed.out);
    EXPECT_EQ(json["ok"], false);
    EXPECT_EQ(json["summary"], summary);
  }
}

}  // namespace
}  // namespace svregistration::testing
