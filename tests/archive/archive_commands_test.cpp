// svreg zip and svreg rar end to end: arguments, scripted passwords, JSON and exit status.
#include <gtest/gtest.h>

#include "archive_test_support.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace svregistration::testing {
namespace {

TEST(ArchiveCommandsTest, ExtractWithScriptedPasswordsAndReport) {
  if (SvregBinary().empty()) GTEST_SKIP() << "svreg is not built";
  TempDir dir;
  const std::string zip = dir / "a.zip";
  WriteArchive(zip, {File("src/main.cbl", "MAIN"), File("src/other.cbl", "OTHER")},
               "zip:encryption=zipcrypt", "pw");
  CommandResult run = RunSvreg({"zip", "--password", "wrong", "--password", "pw", "--json", zip,
                                dir / "z", "src\\main.cbl"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "{\"not_extracted\":[],\"ok\":true}\n");
  EXPECT_EQ(Listing(dir / "z"),
            (std::map<std::string, std::string>{{"src", "<dir>"}, {"src/main.cbl", "MAIN"}}));

  const std::string rar = dir.Write("a.rar", Rar4Archive({File("docs\\a.txt", "A")}));
  EXPECT_EQ(RunSvreg({"rar", rar, dir / "r", "DOCS"}).exit_code, 0);
  EXPECT_EQ(ReadFile(dir / "r/docs/a.txt"), "A");
}

// An archive that cannot be read is an error; members selected and not written are listed.
TEST(ArchiveCommandsTest, ReportsWhatWasNotExtracted) {
  if (SvregBinary().empty()) GTEST_SKIP() << "svreg is not built";
  TempDir dir;
  const std::string zip = dir / "a.zip";
  WriteArchive(zip, {File("a.txt", "A"), File("b.txt", "B")}, "zip:encryption=zipcrypt", "pw");
  std::vector<Member> rar_members = {File("a.txt", "A"), File("b.txt", "B")};
  rar_members[1].encrypted = true;
  const std::string rar = dir.Write("a.rar", Rar4Archive(rar_members));
  const std::string text = dir.Write("text.zip", "just text");
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"zip", dir / "missing.zip", dir / "o"}, 2, "no such archive: " + dir / "missing.zip"},
      {{"rar", dir / "missing.rar", dir / "o"}, 2, "no such archive"},
      {{"zip", text, dir / "o"}, 2, "not a zip archive: " + text},
      {{"rar", text, dir / "o"}, 2, "not a RAR archive"},
      {{"zip", "--password", "wrong", zip, dir / "o", "b.txt"}, 1, "not extracted: b.txt: "},
      {{"rar", "--password", "pw", rar, dir / "o"}, 1, "not extracted: b.txt: encrypted"},
  };
  for (const auto& [args, exit_code, says] : cases) ExpectSvregFails(args, exit_code, {says});
}

}  // namespace
}  // namespace svregistration::testing
