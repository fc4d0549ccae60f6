// svreg source copy and svreg source read end to end, Japanese double-byte sources included.
#include <gtest/gtest.h>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace svregistration {
namespace {

using testing::ReadFile;
using testing::RunSvreg;
using testing::TempDir;

class SvregSource : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RunSvreg({"init", ws_}).exit_code, 0); }
  void Set(const std::string& xpath, const std::string& value) {
    ASSERT_EQ(RunSvreg({"option", ws_, "set", xpath, value}).exit_code, 0);
  }
  TempDir dir_;
  std::string ws_ = dir_ / "ws";
};

TEST_F(SvregSource, ReadsWithAndWithoutNormalisation) {
  std::string from =
      dir_.Write("PAY.cbl", "000100\tMOVE A TO B.  " + std::string(52, ' ') + "00010000\n");
  auto plain = RunSvreg({"source", "read", ws_, "--type", "COBOL", from});
  ASSERT_EQ(plain.exit_code, 0) << plain.err;
  EXPECT_EQ(plain.out, ReadFile(from));

  Set("//BOOL[@ID='ExpandTabs']", "true");
  Set("//BOOL[@ID='RemoveNumeration']", "true");
  Set("//CASE[@NAME='COBOL']/BOOL[@NAME='RemoveLeadNumeration']", "true");
  auto normalised = RunSvreg({"source", "read", ws_, "--type", "COBOL", from});
  EXPECT_EQ(normalised.out, "        MOVE A TO B.\r\n");

  ASSERT_EQ(RunSvreg({"source", "copy", ws_, "--type", "COBOL", from, dir_ / "out.cbl"}).exit_code,
            0);
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), "        MOVE A TO B.\r\n");
}

TEST_F(SvregSource, MarksShiftJisRunsWithTheJapaneseLocale) {
  Set("//LIST[@NAME='ObjectComputerEncoding']", "Japanese");
  Set("//LIST[@NAME='SOSI']", "Removed");
  std::string from = dir_.Write("JP.cbl", "       DISPLAY '\x8C\xDA\x8B\x71'.\n");
  auto result = RunSvreg({"source", "read", ws_, "--type", "COBOL", from});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "       DISPLAY '\x0E\x8C\xDA\x8B\x71\x0F'.\n");
}

TEST_F(SvregSource, ErrorsNameWhatWentWrong) {
  Set("//BOOL[@ID='ExpandTabs']", "true");
  auto missing = RunSvreg({"source", "read", ws_, "--type", "COBOL", dir_ / "nope.cbl"});
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_NE(missing.err.find("nope.cbl"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("(53)"), std::string::npos) << missing.err;

  auto unknown_type = RunSvreg({"source", "read", ws_, "--type", "FORTRAN", dir_ / "x"});
  EXPECT_EQ(unknown_type.exit_code, 2);
  EXPECT_EQ(unknown_type.err,
            "svreg: Incorrect Registration page in the Workspace Options set (-2147221450)\n");

  Set("//CASE[@NAME='English']/TEXT[@NAME='SourceLocale']", "77777");
  auto locale =
      RunSvreg({"source", "read", ws_, "--type", "COBOL", dir_ / "x"}, "", {"LANG=ja_JP.UTF-8"});
  EXPECT_EQ(locale.exit_code, 2);
  EXPECT_NE(locale.err.find("source"), std::string::npos) << locale.err;
  EXPECT_NE(locale.err.find("77777"), std::string::npos) << locale.err;
  EXPECT_NE(locale.err.find("(-2147221451)"), std::string::npos) << locale.err;
}

}  // namespace
}  // namespace svregistration
