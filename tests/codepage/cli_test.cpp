// svreg codepage import|from-icu|decode|encode, run as a separate process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "codepage_test_support.h"
#include "support/run_command.h"
#include "support/shared_fixtures.h"

namespace svregistration::testing {
namespace {

using ::testing::HasSubstr;

class CodepageCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (SvregBinary().empty()) GTEST_SKIP() << "svreg is not built";
    map_ = dir_.Write("sample.ucm", kSampleMap);
    table_ = dir_ / "s.tbl";
  }

  static CommandResult Run(const std::vector<std::string>& args, const std::string& input = "",
                           const char* locale = "ja_JP.UTF-8") {
    ScopedLocale scoped(locale);
    return RunSvreg(args, input);
  }

  TempDir dir_;
  std::string map_, table_;
};

TEST_F(CodepageCliTest, ImportAndFromIcuWriteTheSameTable) {
  SVREG_REQUIRE_SHARED();
  std::string ucm = (SharedDir() / "fixtures/ucm/ibm-37_P100-1995.ucm").string();
  CommandResult imported =
      Run({"codepage", "import", ucm, dir_ / "a.tbl", "--ccsid", "37", "--json"});
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  EXPECT_THAT(imported.out, HasSubstr("\"bytes\":1024"));
  EXPECT_THAT(imported.out, HasSubstr("\"ccsid\":37"));
  CommandResult from_icu = Run({"codepage", "from-icu", "ibm-37", dir_ / "b.tbl"});
  ASSERT_EQ(from_icu.exit_code, 0) << from_icu.err;
  EXPECT_EQ(from_icu.out, "");
  EXPECT_EQ(ReadFile(dir_ / "a.tbl"), ReadFile(dir_ / "b.tbl"));
}

TEST_F(CodepageCliTest, DecodeAndEncode) {
  ASSERT_EQ(Run({"codepage", "import", map_, table_}).exit_code, 0);
  std::string records = Text(B({0xC1, 0xC2, 0x0E, 0x42, 0xC1, 0x0F, 0xC3}));
  CommandResult decoded = Run(
      {"codepage", "decode", table_, dir_.Write("records.bin", records), "--sosi", "remove-all"});
  ASSERT_EQ(decoded.exit_code, 0) << decoded.err;
  EXPECT_EQ(decoded.out,
            "AB\xEF\xBC\xA1"
            "C");
  CommandResult replaced =
      Run({"codepage", "decode", table_, "--sosi", "replace-all", "--json"}, records);
  EXPECT_EQ(replaced.out, "{\"text\":\"AB \xEF\xBC\xA1 C\"}\n");

  std::string text = dir_.Write("text.txt", "AB\n\xEF\xBC\xA1");
  CommandResult encoded = Run({"codepage", "encode", table_, text});
  ASSERT_EQ(encoded.exit_code, 0) << encoded.err;
  EXPECT_EQ(encoded.out, Text(Join({B({0xC1, 0xC2}), Repeat(0x40, 78), B({0x0E, 0x42, 0xC1})})));
  EXPECT_THAT(Run({"codepage", "encode", "--json", table_, text}).out,
              HasSubstr("\"hex\":\"C1C2404040"));
  // Each byte of an ill-formed sequence is replaced on its own.
  EXPECT_THAT(Run({"codepage", "encode", "--json", table_, "-"},
                  "A\xE0\xA0"
                  "B")
                  .out,
              HasSubstr("\"hex\":\"C16F6FC2\""));
}

TEST_F(CodepageCliTest, ErrorsExitWithTwoAndTheirNumber) {
  CommandResult unknown = Run({"codepage", "from-icu", "no-such-converter", dir_ / "x.tbl"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_THAT(unknown.err, HasSubstr("no-such-converter"));
  EXPECT_THAT(unknown.err, HasSubstr("(5)"));
  CommandResult missing = Run({"codepage", "decode", dir_ / "absent.tbl", "/dev/null"});
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_THAT(missing.err, HasSubstr("absent.tbl"));
  EXPECT_THAT(missing.err, HasSubstr("(53)"));
  EXPECT_EQ(Run({"codepage", "decode", table_, "--sosi", "keep-some"}).exit_code, 2);
}

}  // namespace
}  // namespace svregistration::testing
