// CopySource and ReadSource on a small fake workspace: plain and normalised copies, Japanese
// double-byte sources, the errors of missing and unwritable files, and EBCDIC sources: 80-byte
// records through the instance's cached table, to the registered locale's code page, then through
// the normaliser.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "registration/sv_standard_state.h"
#include "support/error_capture.h"
#include "support/fake_repository.h"
#include "support/fake_workspace.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "svregistration/ccsid.h"
#include "svregistration/error.h"
#include "svregistration/icu_table.h"
#include "svregistration/sv_standard.h"

namespace svregistration {
namespace {

using namespace testing;

// The fixture's service with workspaces of the options given.
class SourceCopyTest : public FakeHostTest {
 protected:
  std::shared_ptr<FakeWorkspace> Workspace(const OptionsSpec& options) {
    return std::make_shared<FakeWorkspace>(root_, WorkspaceOptionsXml(options));
  }
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

// The instance keeps the settings it read only while the documents say the same. A host that
// counts the revisions of its documents has them read again only when the count moves (a change
// it does not count is not seen); the locale variables are looked at all the same, and another
// host is never taken for the first. Without a count the documents are compared at every call.
TEST_F(SourceCopyTest, SettingsFollowTheHostsRevision) {
  std::string from = dir_.Write("in.cbl", "\tA \x82\xA0 Z\n");
  auto expand_tabs = [](FakeWorkspace& workspace) {
    pugi::xml_document* options = workspace.workspace_options->Document();
    options->select_node("//BOOL[@ID='ExpandTabs']").node().attribute("VALUE") = "true";
  };
  ScopedEnvironment environment{"SVREG_SYSTEM_LOCALE"};
  environment.Set("SVREG_SYSTEM_LOCALE", "1033");
  auto workspace =
      Workspace({.sosi = "Removed", .source_locale = "1041", .registered_locale = "2048"});
  workspace->revision = 7;
  EXPECT_EQ(Text(service_.ReadSource(workspace, "COBOL", from)), "\tA \x82\xA0 Z\n");
  expand_tabs(*workspace);
  EXPECT_EQ(Text(service_.ReadSource(workspace, "COBOL", from)), "\tA \x82\xA0 Z\n");
  workspace->revision = 8;
  EXPECT_EQ(Text(service_.ReadSource(workspace, "COBOL", from)), "        A \x82\xA0 Z\n");
  environment.Set("SVREG_SYSTEM_LOCALE", "1041");
  EXPECT_EQ(Text(service_.ReadSource(workspace, "COBOL", from)), "        A \x0E\x82\xA0\x0F Z\n");

  auto other = Workspace({.sosi = "Removed", .source_locale = "1041", .registered_locale = "2048"});
  other->revision = 8;
  EXPECT_EQ(Text(service_.ReadSource(other, "COBOL", from)), "\tA \x0E\x82\xA0\x0F Z\n");
  other->revision = 0;  // no count: compared at every call
  expand_tabs(*other);
  EXPECT_EQ(Text(service_.ReadSource(other, "COBOL", from)), "        A \x0E\x82\xA0\x0F Z\n");
}

TEST_F(SourceCopyTest, MissingSourceAndBadSettingsAreErrors) {
  for (bool normalised : {false, true}) {
    ExpectError(
        [&] {
          service_.CopySource(Workspace({.expand_tabs = normalised}), "COBOL", dir_ / "missing.cbl",
                              dir_ / "out.cbl");
        },
        normalised ? error_number::kFileNotFound : error_number::kFileCopyFailed, "missing.cbl");
  }
  // So do the settings' errors.
  EXPECT_THROW(service_.CopySource(Workspace({}), "JCL", dir_ / "x", dir_ / "y"), Error);
  EXPECT_THROW(service_.ReadSource(nullptr, "COBOL", dir_ / "x"), Error);
}

TEST_F(SourceCopyTest, UnwritableTargetRaises200WithBothPaths) {
  std::string from = dir_.Write("in.cbl", "\tX\n");
  std::string to = dir_.Write("ro.cbl", "old");
  ::chmod(to.c_str(), 0444);
  ExpectError([&] { service_.CopySource(Workspace({.expand_tabs = true}), "COBOL", from, to); },
              error_number::kFileCopyFailed, from + " to " + to);
  EXPECT_EQ(ReadFile(to), "old");
}

// With the table of code page 037 saved in the workspace.
class EbcdicSourceTest : public SourceCopyTest {
 protected:
  void SetUp() override {
    CCSID table;
    FillFromIcu(table, "ibm-37");
    std::filesystem::create_directories(dir_.path() / "ws/codepages");
    table.Save(dir_ / "ws/codepages/ibm-37.tbl");
  }
  std::shared_ptr<FakeWorkspace> Ebcdic(const std::string& table_name = "ibm-37.tbl") {
    return Workspace({.expand_tabs = true,
                      .remove_numeration = true,
                      .legacy = "EBCDIC",
                      .encoding_table = table_name});
  }
  // The bytes padded with EBCDIC spaces to an 80-byte record.
  static std::string Record(const std::string& ebcdic_text) {
    return ebcdic_text + std::string(80 - ebcdic_text.size(), '\x40');
  }
};

TEST_F(EbcdicSourceTest, RecordsBecomeLinesNormalised) {
  const std::string hello = "\xC8\xC5\xD3\xD3\xD6";
  std::string source =
      dir_.Write("PAY.cbl", Record(hello) + Record("\x05" + hello) + Record(hello));
  auto bytes = service_.ReadSource(Ebcdic(), "COBOL", source);
  // Trailing blanks of the lines that end go; a TAB stays a TAB; the last line keeps its blanks.
  EXPECT_EQ(Text(bytes), "HELLO\r\n\tHELLO\r\nHELLO" + std::string(75, ' '));
}

// Japanese, in blocks: a copy is converted a block of records at a time, and records and
// double-byte runs that straddle the blocks come out as the whole-file conversion gives them.
// Wave dash, minus sign and double vertical line come out as their best fits in code page 932,
// not as "?", and their pairs are not split, whatever locale the process runs in: the pairs are
// decided in the registered locale's code page.
TEST_F(EbcdicSourceTest, JapaneseSourcesConvertInBlocksAsWholeWithBestFits) {
  CCSID table;
  FillFromIcu(table, "ibm-930");
  table.Save(dir_ / "ws/codepages/ibm-930.tbl");
  auto workspace =
      Workspace({.legacy = "EBCDIC", .encoding_table = "ibm-930.tbl", .registered_locale = "1041"});
  const std::string record = Record("\xC1\x0E\x43\xA1\x42\x60\x44\x7C\x0F\xC2");
  std::string records;
  for (int i = 0; i < 2000; ++i) records += record;  // 160,000 bytes: blocks end inside records
  std::string source = dir_.Write("LONG.cbl", records);
  for (const char* locale : {"ja_JP.UTF-8", "C.UTF-8", "en_US.UTF-8"}) {
    SCOPED_TRACE(locale);
    ScopedLocale user(locale);
    service_.CopySource(workspace, "COBOL", source, dir_ / "LONG.out");
    // What one record gives as a last line and as a line that ends, converted whole. ibm-930
    // gives SO and SI no character: they become U+0000.
    const std::string last =
        Text(service_.ReadSource(workspace, "COBOL", dir_.Write("ONE.cbl", record)));
    const std::string two =
        Text(service_.ReadSource(workspace, "COBOL", dir_.Write("TWO.cbl", record + record)));
    const std::string ended = two.substr(0, two.size() - last.size());
    ASSERT_EQ(last.substr(0, 10), std::string("A\0\x81\x60\x81\x7C\x81\x61\0B", 10));
    std::string expected;
    for (int i = 0; i < 1999; ++i) expected += ended;
    expected += last;
    EXPECT_EQ(ReadFile(dir_ / "LONG.out"), expected);
    EXPECT_EQ(Text(service_.ReadSource(workspace, "COBOL", source)), expected);
  }
}

// An empty source loads no table and changes no setting.
TEST_F(EbcdicSourceTest, TableIsLoadedOnceWhenNeededAndAFailedLoadIsNotKept) {
  std::string empty = dir_.Write("EMPTY.cbl", "");
  EXPECT_TRUE(service_.ReadSource(Ebcdic("missing.tbl"), "COBOL", empty).empty());
  EXPECT_EQ(registration::StateOf(service_).CodePageTable, nullptr);

  std::string source = dir_.Write("PAY.cbl", Record("\xC8"));
  service_.ReadSource(Ebcdic(), "COBOL", source);
  auto cached = registration::StateOf(service_).CodePageTable;
  ASSERT_NE(cached, nullptr);
  service_.ReadSource(Ebcdic("IBM-37.TBL"), "COBOL", source);  // letter case is ignored
  EXPECT_EQ(registration::StateOf(service_).CodePageTable, cached);

  ExpectError([&] { service_.ReadSource(Ebcdic("missing.tbl"), "COBOL", source); },
              error_number::kFileNotFound, "missing.tbl");
  EXPECT_EQ(registration::StateOf(service_).CodePageTable, nullptr);
}

}  // namespace
}  // namespace svregistration
