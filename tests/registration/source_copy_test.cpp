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

using testing::Bytes;
using testing::CaptureError;
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

TEST_F(SourceCopyTest, PlainCopyWhenNoOptionApplies) {
  std::string content = "\t000100 IDENTIFICATION DIVISION.   \n";
  std::string from = dir_.Write("in.cbl", content);
  service_.CopySource(Workspace({}), "COBOL", from, dir_ / "out.cbl");
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), content);
  EXPECT_EQ(Text(service_.ReadSource(Workspace({}), "COBOL", from)), content);
}

TEST_F(SourceCopyTest, NormalisedCopyReplacesTheTarget) {
  std::string from =
      dir_.Write("in.cbl", "000100\tMOVE A TO B.   " + std::string(50, ' ') + "00010000\n");
  dir_.Write("out.cbl", std::string(500, 'x'));
  OptionsSpec options{.expand_tabs = true,
                      .remove_numeration = true,
                      .numeration = true,
                      .remove_lead_numeration = true};
  service_.CopySource(Workspace(options), "COBOL", from, dir_ / "out.cbl");
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), "        MOVE A TO B.\r\n");
}

TEST_F(SourceCopyTest, RemoveNumerationAloneDoesNotConvert) {
  // Only Numeration together with RemoveNumeration asks for a conversion.
  std::string content = "ABC   \n";
  std::string from = dir_.Write("in.cbl", content);
  service_.CopySource(Workspace({.remove_numeration = true}), "COBOL", from, dir_ / "out.cbl");
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), content);
  // ReadSource always normalises.
  EXPECT_EQ(Text(service_.ReadSource(Workspace({.remove_numeration = true}), "COBOL", from)),
            "ABC\r\n");
}

// The instance keeps the settings it read only while the documents say the same.
TEST_F(SourceCopyTest, SettingsFollowADocumentChangedInPlace) {
  std::string from = dir_.Write("in.cbl", "\tA\n");
  auto workspace = Workspace({});
  EXPECT_EQ(Text(service_.ReadSource(workspace, "COBOL", from)), "\tA\n");
  workspace->workspace_options->Document()
      ->select_node("//BOOL[@ID='ExpandTabs']")
      .node()
      .attribute("VALUE")
      .set_value("true");
  EXPECT_EQ(Text(service_.ReadSource(workspace, "COBOL", from)), "        A\n");
}

TEST_F(SourceCopyTest, JapaneseDoubleByteRunsAreMarked) {
  // "A あい B" in Shift-JIS.
  std::string from = dir_.Write("in.cbl", "A \x82\xA0\x82\xA2 B\n");
  OptionsSpec removed{.sosi = "Removed", .source_locale = "1041", .registered_locale = "1041"};
  EXPECT_EQ(Text(service_.ReadSource(Workspace(removed), "COBOL", from)),
            "A \x0E\x82\xA0\x82\xA2\x0F B\n");
  OptionsSpec replaced{.sosi = "Replaced", .source_locale = "1041", .registered_locale = "1041"};
  service_.CopySource(Workspace(replaced), "COBOL", from, dir_ / "out.cbl");
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"),
            "A\x0E\x82\xA0\x82\xA2\x0F"
            "B\n");
  // An English registered locale has no lead bytes: nothing is marked.
  OptionsSpec english{.sosi = "Removed", .source_locale = "1041", .registered_locale = "1033"};
  EXPECT_EQ(Text(service_.ReadSource(Workspace(english), "COBOL", from)), "A \x82\xA0\x82\xA2 B\n");
}

TEST_F(SourceCopyTest, EmptySourceGivesEmptyCopy) {
  std::string from = dir_.Write("empty.cbl", "");
  service_.CopySource(Workspace({.expand_tabs = true}), "COBOL", from, dir_ / "out.cbl");
  EXPECT_EQ(ReadFile(dir_ / "out.cbl"), "");
}

TEST_F(SourceCopyTest, MissingSourceNamesThePath) {
  for (bool normalised : {false, true}) {
    auto error = CaptureError([&] {
      service_.CopySource(Workspace({.expand_tabs = normalised}), "COBOL", dir_ / "missing.cbl",
                          dir_ / "out.cbl");
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(),
              normalised ? error_number::kFileNotFound : error_number::kFileCopyFailed);
    EXPECT_NE(error->description().find("missing.cbl"), std::string::npos) << error->description();
  }
}

TEST_F(SourceCopyTest, UnwritableTargetRaises200WithBothPaths) {
  std::string from = dir_.Write("in.cbl", "\tX\n");
  std::string to = dir_.Write("ro.cbl", "old");
  ::chmod(to.c_str(), 0444);
  auto error = CaptureError(
      [&] { service_.CopySource(Workspace({.expand_tabs = true}), "COBOL", from, to); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->number(), error_number::kFileCopyFailed);
  EXPECT_NE(error->description().find(from + " to " + to), std::string::npos)
      << error->description();
  EXPECT_EQ(ReadFile(to), "old");
}

TEST_F(SourceCopyTest, SettingsErrorsReachTheCaller) {
  EXPECT_THROW(service_.CopySource(Workspace({}), "JCL", dir_ / "x", dir_ / "y"), Error);
  EXPECT_THROW(service_.ReadSource(nullptr, "COBOL", dir_ / "x"), Error);
}

}  // namespace
}  // namespace svregistration
