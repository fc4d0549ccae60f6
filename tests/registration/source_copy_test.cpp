// CopySource and ReadSource on a small fake workspace: plain and normalised copies, Japanese
// double-byte sources, and the errors of missing and unwritable files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/error_capture.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/error.h"
#include "svregistration/sv_standard.h"

namespace svregistration {
namespace {

using testing::ExpectError;
using testing::FakeWorkspace;
using testing::OptionsSpec;
using testing::ReadFile;
using testing::TempDir;
using testing::Text;
using testing::WorkspaceOptionsXml;

class SourceCopyTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeWorkspace> Workspace(const OptionsSpec& options) {
    return std::make_shared<FakeWorkspace>(dir_.path().string(), WorkspaceOptionsXml(options));
  }
  TempDir dir_;
  SVStandard service_;
};

// A plain copy when no option asks for a conversion (RemoveNumeration does only together with
// Numeration); ReadSource always normalises. A normalised copy replaces the target.
TEST_F(SourceCopyTest, CopiesPlainOrNormalised) {
  std::string content = "\t000100 IDENTIFICATION DIVISION.   \n";
  std::string from = dir_.Write("in.cbl", content);
  service_.CopySource(Workspace({.remove_numeration = true}), "COBOL", from, dir_ / "out.cbl");
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), content);
  EXPECT_EQ(Text(service_.ReadSource(Workspace({}), "COBOL", from)), content);
  EXPECT_EQ(Text(service_.ReadSource(Workspace({.remove_numeration = true}), "COBOL", from)),
            "\t000100 IDENTIFICATION DIVISION.\r\n");

  from = dir_.Write("in.cbl", "000100\tMOVE A TO B.   " + std::string(50, ' ') + "00010000\n");
  dir_.Write("out.cbl", std::string(500, 'x'));
  OptionsSpec options{.expand_tabs = true,
                      .remove_numeration = true,
                      .numeration = true,
                      .remove_lead_numeration = true};
  service_.CopySource(Workspace(options), "COBOL", from, dir_ / "out.cbl");
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), "        MOVE A TO B.\r\n");
  service_.CopySource(Workspace(options), "COBOL", dir_.Write("empty.cbl", ""), dir_ / "out.cbl");
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), "");
}

TEST_F(SourceCopyTest, JapaneseDoubleByteRunsAreMarked) {
  // "A あい Z" in Shift-JIS.
  std::string from = dir_.Write("in.cbl", "A \x82\xA0\x82\xA2 Z\n");
  OptionsSpec removed{.sosi = "Removed", .source_locale = "1041", .registered_locale = "1041"};
  EXPECT_EQ(Text(service_.ReadSource(Workspace(removed), "COBOL", from)),
            "A \x0E\x82\xA0\x82\xA2\x0F Z\n");
  OptionsSpec replaced{.sosi = "Replaced", .source_locale = "1041", .registered_locale = "1041"};
  service_.CopySource(Workspace(replaced), "COBOL", from, dir_ / "out.cbl");
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), "A\x0E\x82\xA0\x82\xA2\x0FZ\n");
  // An English registered locale has no lead bytes: nothing is marked.
  OptionsSpec english{.sosi = "Removed", .source_locale = "1041", .registered_locale = "1033"};
  EXPECT_EQ(Text(service_.ReadSource(Workspace(english), "COBOL", from)), "A \x82\xA0\x82\xA2 Z\n");
}

TEST_F(SourceCopyTest, MissingSourceNamesThePath) {
  for (bool normalised : {false, true}) {
    ExpectError(
        [&] {
          service_.CopySource(Workspace({.expand_tabs = normalised}), "COBOL", dir_ / "missing.cbl",
                              dir_ / "out.cbl");
        },
        normalised ? error_number::kFileNotFound : error_number::kFileCopyFailed, "missing.cbl");
  }
}

TEST_F(SourceCopyTest, UnwritableTargetRaises200WithBothPaths) {
  std::string from = dir_.Write("in.cbl", "\tX\n");
  std::string to = dir_.Write("ro.cbl", "old");
  ::chmod(to.c_str(), 0444);
  ExpectError([&] { service_.CopySource(Workspace({.expand_tabs = true}), "COBOL", from, to); },
              error_number::kFileCopyFailed, from + " to " + to);
  EXPECT_EQ(ReadFile(to), "old");
}

TEST_F(SourceCopyTest, SettingsErrorsReachTheCaller) {
  EXPECT_THROW(service_.CopySource(Workspace({}), "JCL", dir_ / "x", dir_ / "y"), Error);
  EXPECT_THROW(service_.ReadSource(nullptr, "COBOL", dir_ / "x"), Error);
}

}  // namespace
}  // namespace svregistration
