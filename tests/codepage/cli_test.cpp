// svreg codepage import|from-icu|decode|encode, run as a separate process.
#include <gtest/gtest.h>

#include "codepage_test_support.h"
#include "support/run_command.h"
#include "support/scoped_environment.h"
#include "svregistration/icu_table.h"

namespace svregistration::testing {
namespace {

class CodepageCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (SvregBinary().empty()) GTEST_SKIP() << "svreg is not built";
  }
  static CommandResult Run(const std::vector<std::string>& args, const std::string& input = "",
                           const char* locale = "ja_JP.UTF-8") {
    ScopedLocale user(locale);
    CommandResult result = RunSvreg(args, input);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return result;
  }
  TempDir dir_;
  std::string table_ = dir_ / "s.tbl";
};

TEST_F(CodepageCliTest, TablesAreMadeAndConvertBothWays) {
  EXPECT_NE(Run({"codepage", "import", dir_.Write("sample.ucm", kSampleMap), table_, "--json"})
                .out.find("\"bytes\":2048"),
            std::string::npos);
  const std::string records = Text(Bytes{0xC1, 0xC2, 0x0E, 0x42, 0xC1, 0x0F, 0xC3});
  EXPECT_EQ(Run({"codepage", "decode", table_, dir_.Write("records.bin", records), "--sosi",
                 "remove-all"})
                .out,
            "AB\xEF\xBC\xA1"
            "C");
  EXPECT_EQ(Run({"codepage", "decode", table_, "--sosi", "replace-all", "--json"}, records).out,
            "{\"text\":\"AB \xEF\xBC\xA1 C\"}\n");
  // UTF-8 holds every character, in any locale: each pair (U+FFFD when not mapped) and the single
  // byte of U+4E00 come out as themselves.
  for (const char* locale : {"C.UTF-8", "en_US.UTF-8", "ja_JP.UTF-8"}) {
    EXPECT_EQ(Run({"codepage", "decode", table_, "--sosi", "remove-all", "-"},
                  Text(Bytes{0x0E, 0x42, 0xC1, 0x42, 0xC3, 0x0F, 0x43}), locale)
                  .out,
              "\xEF\xBC\xA1\xEF\xBF\xBD\xE4\xB8\x80")
        << locale;
  }
  // The options document's words for the choices.
  EXPECT_EQ(Run({"codepage", "decode", table_, "--sosi", "Replaced", "--json"}, records).out,
            "{\"text\":\"AB \xEF\xBC\xA1 C\"}\n");
  const std::string text = dir_.Write("text.txt", "AB\n\xEF\xBC\xA1");
  EXPECT_EQ(Run({"codepage", "encode", table_, text}).out,
            Text(Join({Bytes{0xC1, 0xC2}, Bytes(78, 0x40), Bytes{0x0E, 0x42, 0xC1}})));
  // from-icu writes the table the library makes from the converter.
  Run({"codepage", "from-icu", "ibm-37", dir_ / "cli.tbl"});
  CCSID table;
  FillFromIcu(table, "ibm-37");
  table.Save(dir_ / "library.tbl");
  EXPECT_EQ(ReadFile(dir_ / "cli.tbl"), ReadFile(dir_ / "library.tbl"));
  // Each byte of an ill-formed sequence is replaced on its own.
  EXPECT_NE(Run({"codepage", "encode", "--json", table_, "-"},
                "A\xE0\xA0"
                "B")
                .out.find("\"hex\":\"C16F6FC2\""),
            std::string::npos);
}

TEST_F(CodepageCliTest, ErrorsExitWithTwoAndTheirNumber) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"codepage", "from-icu", "no-such-converter", dir_ / "x.tbl"}, "no-such-converter"},
      {{"codepage", "decode", dir_ / "absent.tbl", "/dev/null"}, "absent.tbl"},
      {{"codepage", "from-icu", "UTF-8", dir_ / "x.tbl"}, "(5)\n"},
      {{"codepage", "decode", table_, "--sosi", "keep-some"}, "keep-some"},
  };
  for (const auto& [args, says] : cases) ExpectSvregFails(args, 2, {says});
}

}  // namespace
}  // namespace svregistration::testing
