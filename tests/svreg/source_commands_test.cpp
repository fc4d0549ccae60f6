// svreg source copy and svreg source read end to end, Japanese double-byte sources included.
#include <gtest/gtest.h>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace svregistration {
namespace {

using testing::ExpectSvregFails;
using testing::ReadFile;
using testing::RunSvreg;

class SvregSource : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RunSvreg({"init", ws_}).exit_code, 0); }
  void Set(const std::string& xpath, const std::string& value) {
    ASSERT_EQ(RunSvreg({"option", ws_, "set", xpath, value}).exit_code, 0);
  }
  testing::CommandResult Read(const std::string& file) {
    return RunSvreg({"source", "read", ws_, "--type", "COBOL", file});
  }
  testing::TempDir dir_;
  std::string ws_ = dir_ / "ws";
};

// The workspace's options decide: none at first, then the normalisation, then the Japanese case
// of the encoding page, which marks Shift-JIS runs.
TEST_F(SvregSource, ReadsAndCopiesAsTheOptionsSay) {
  std::string from =
      dir_.Write("PAY.cbl", "000100\tMOVE A TO B.  " + std::string(52, ' ') + "00010000\n");
  auto plain = Read(from);
  ASSERT_EQ(plain.exit_code, 0) << plain.err;
  EXPECT_EQ(plain.out, ReadFile(from));

  Set("//BOOL[@ID='ExpandTabs']", "true");
  Set("//BOOL[@ID='RemoveNumeration']", "true");
  Set("//CASE[@NAME='COBOL']/BOOL[@NAME='RemoveLeadNumeration']", "true");
  EXPECT_EQ(Read(from).out, "        MOVE A TO B.\r\n");
  ASSERT_EQ(RunSvreg({"source", "copy", ws_, "--type", "COBOL", from, dir_ / "out.cbl"}).exit_code,
            0);
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), "        MOVE A TO B.\r\n");

  Set("//LIST[@NAME='ObjectComputerEncoding']", "Japanese");
  Set("//LIST[@NAME='SOSI']", "Removed");
  EXPECT_EQ(Read(dir_.Write("JP.cbl", "       DISPLAY '\x8C\xDA\x8B\x71'.\n")).out,
            "       DISPLAY '\x0E\x8C\xDA\x8B\x71\x0F'.\r\n");
}

TEST_F(SvregSource, ErrorsNameWhatWentWrongAndTheirNumber) {
  Set("//BOOL[@ID='ExpandTabs']", "true");
  ExpectSvregFails({"source", "read", ws_, "--type", "COBOL", dir_ / "nope.cbl"}, 2,
                   {"nope.cbl", "(53)"});
  Set("//CASE[@NAME='English']/TEXT[@NAME='SourceLocale']", "77777");
  ExpectSvregFails({"source", "read", ws_, "--type", "COBOL", dir_ / "x"}, 2,
                   {"77777", "(-2147221451)"}, {"LANG=ja_JP.UTF-8"});
}

}  // namespace
}  // namespace svregistration
