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
  EXPECT_EQ(run.out, "{\"ok\":true}\n");
  EXPECT_EQ(Listing(dir / "z"),
            (std::map<std::string, std::string>{{"src", "<dir>"}, {"src/main.cbl", "MAIN"}}));

  const std::string rar = dir.Write("a.rar", Rar4Archive({File("docs\\a.txt", "A")}));
  EXPECT_EQ(RunSvreg({"rar", rar, dir / "r", "DOCS"}).exit_code, 0);
  EXPECT_EQ(ReadFile(dir / "r/docs/a.txt"), "A");
  run = RunSvreg({"rar", "--json", dir / "missing.rar", dir / "r"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "{\"ok\":false}\n");
}

}  // namespace
}  // namespace svregistration::testing
