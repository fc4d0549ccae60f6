// svreg zip and svreg rar end to end: arguments, scripted passwords, JSON and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "archive_test_support.h"
#include "support/temp_dir.h"

namespace svregistration::testing {
namespace {

struct Outcome {
  int status;
  std::string output;
};

Outcome Svreg(const std::string& arguments) {
  std::string command = std::string(SVREG_SVREG_BINARY) + " " + arguments + " </dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(ArchiveCommandsTest, ExtractWithScriptedPasswordsAndReport) {
  if (!std::filesystem::exists(SVREG_SVREG_BINARY)) GTEST_SKIP() << "svreg is not built";
  TempDir dir;
  const std::string zip = dir / "a.zip";
  WriteZip(zip, {File("src/main.cbl", "MAIN"), File("src/other.cbl", "OTHER")},
           {"zip:encryption=zipcrypt", "pw"});
  const std::string rar = dir.Write("a.rar", Rar4Archive({File("docs\\a.txt", "A")}));

  Outcome run = Svreg("zip --password wrong --password pw --json " + zip + " " + (dir / "z") +
                      " 'src\\main.cbl'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "{\"ok\":true}\n");
  EXPECT_EQ(Listing(dir / "z"),
            (std::map<std::string, std::string>{{"src", "<dir>"}, {"src/main.cbl", "MAIN"}}));

  run = Svreg("rar " + rar + " " + (dir / "r") + " DOCS");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir / "r/docs/a.txt"), "A");

  run = Svreg("rar --json " + (dir / "missing.rar") + " " + (dir / "r"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "{\"ok\":false}\n");
}

}  // namespace
}  // namespace svregistration::testing
