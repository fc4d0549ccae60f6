// The EBCDIC source conversion: 80-byte records through the instance's cached table, to the
// registered locale's code page, then through the normaliser.
#include <gtest/gtest.h>

#include "registration/registration_settings.h"
#include "registration/sv_standard_state.h"
#include "support/error_capture.h"
#include "support/fake_workspace.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"
#include "svregistration/ccsid.h"
#include "svregistration/error.h"
#include "svregistration/icu_table.h"

namespace svregistration {
namespace {

using namespace testing;

class EbcdicSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CCSID table;
    FillFromIcu(table, "ibm-37");
    std::filesystem::create_directories(dir_.path() / "ws/codepages");
    table.Save(dir_ / "ws/codepages/ibm-37.tbl");
  }
  std::shared_ptr<FakeWorkspace> Workspace(const std::string& table_name = "ibm-37.tbl") {
    return std::make_shared<FakeWorkspace>(dir_ / "ws",
                                           WorkspaceOptionsXml({.expand_tabs = true,
                                                                .remove_numeration = true,
                                                                .legacy = "EBCDIC",
                                                                .encoding_table = table_name}));
  }
  // "HELLO" in code page 037, padded with EBCDIC spaces to an 80-byte record.
  static std::string Record(const std::string& ebcdic_text) {
    return ebcdic_text + std::string(80 - ebcdic_text.size(), '\x40');
  }

  TempDir dir_;
  SVStandard service_;
};

TEST_F(EbcdicSourceTest, RecordsBecomeLinesNormalised) {
  const std::string hello = "\xC8\xC5\xD3\xD3\xD6";
  std::string source =
      dir_.Write("PAY.cbl", Record(hello) + Record("\x05" + hello) + Record(hello));
  auto bytes = service_.ReadSource(Workspace(), "COBOL", source);
  // Trailing blanks of the lines that end go; a TAB stays a TAB; the last line keeps its blanks.
  EXPECT_EQ(Text(bytes), "HELLO\r\n\tHELLO\r\nHELLO" + std::string(75, ' '));
  EXPECT_FALSE(registration::ThreadRegistrationSettings().ExpandTabs);  // switched off
}

// Japanese, in blocks: a copy is converted a block of records at a time, and records and
// double-byte runs that straddle the blocks come out as the whole-file conversion gives them.
// Wave dash, minus sign and double vertical line come out as their best fits in code page 932,
// not as "?", and their pairs are not split.
TEST_F(EbcdicSourceTest, JapaneseSourcesConvertInBlocksAsWholeWithBestFits) {
  CCSID table;
  FillFromIcu(table, "ibm-930");
  table.Save(dir_ / "ws/codepages/ibm-930.tbl");
  ScopedLocale user("ja_JP.UTF-8");  // the user's locale decides which pairs stay whole
  auto workspace = std::make_shared<FakeWorkspace>(
      dir_ / "ws",
      WorkspaceOptionsXml(
          {.legacy = "EBCDIC", .encoding_table = "ibm-930.tbl", .registered_locale = "1041"}));
  const std::string record = Record("\xC1\x0E\x43\xA1\x42\x60\x44\x7C\x0F\xC2");
  std::string records;
  for (int i = 0; i < 2000; ++i) records += record;  // 160,000 bytes: blocks end inside records
  std::string source = dir_.Write("LONG.cbl", records);
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

TEST_F(EbcdicSourceTest, EmptySourceLoadsNoTableAndChangesNoSetting) {
  std::string source = dir_.Write("EMPTY.cbl", "");
  EXPECT_TRUE(service_.ReadSource(Workspace("missing.tbl"), "COBOL", source).empty());
  EXPECT_EQ(registration::StateOf(service_).CodePageTable, nullptr);
  EXPECT_TRUE(registration::ThreadRegistrationSettings().ExpandTabs);
}

TEST_F(EbcdicSourceTest, TableIsLoadedOnceAndAFailedLoadIsNotKept) {
  std::string source = dir_.Write("PAY.cbl", Record("\xC8"));
  service_.ReadSource(Workspace(), "COBOL", source);
  auto cached = registration::StateOf(service_).CodePageTable;
  ASSERT_NE(cached, nullptr);
  service_.ReadSource(Workspace("IBM-37.TBL"), "COBOL", source);  // letter case is ignored
  EXPECT_EQ(registration::StateOf(service_).CodePageTable, cached);

  ExpectError([&] { service_.ReadSource(Workspace("missing.tbl"), "COBOL", source); },
              error_number::kFileNotFound, "missing.tbl");
  EXPECT_EQ(registration::StateOf(service_).CodePageTable, nullptr);
}

}  // namespace
}  // namespace svregistration
