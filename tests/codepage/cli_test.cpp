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
  /// svreg codepage with `args`, in a Japanese locale unless told; it must succeed.
  static CommandResult Run(std::vector<std::string> args, const std::string& input = "",
                           const char* locale = "ja_JP.UTF-8") {
    ScopedLocale user(locale);
    args.insert(args.begin(), "codepage");
    CommandResult result = RunSvreg(args, input);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return result;
  }
  TempDir dir_;
  std::string table_ = dir_ / "s.tbl";
};

TEST_F(CodepageCliTest, TablesAreMadeAndConvertBothWays) {
  const std::string fullwidth_a = "\xEF\xBC\xA1";
  const std::string imported =
      Run({"import", dir_.Write("sample.ucm", kSampleMap), table_, "--json"}).out;
  EXPECT_NE(imported.find("\"bytes\":2048"), std::string::npos) << imported;
  const std::string records = Text(Bytes{0xC1, 0xC2, 0x0E, 0x42, 0xC1, 0x0F, 0xC3});
  EXPECT_EQ(Run({"decode", table_, dir_.Write("records.bin", records), "--sosi", "remove-all"}).out,
            "AB" + fullwidth_a + "C");
  // The options document's words for the choices serve as well.
  for (const char* sosi : {"replace-all", "Replaced"}) {
    EXPECT_EQ(Run({"decode", table_, "--sosi", sosi, "--json"}, records).out,
              "{\"text\":\"AB " + fullwidth_a + " C\"}\n");
  }
  // UTF-8 holds every character, in any locale: each pair (U+FFFD when not mapped) and the single
  // byte of U+4E00 come out as themselves.
  const std::string pairs = Text(Bytes{0x0E, 0x42, 0xC1, 0x42, 0xC3, 0x0F, 0x43});
  for (const char* locale : {"C.UTF-8", "en_US.UTF-8", "ja_JP.UTF-8"}) {
    EXPECT_EQ(Run({"decode", table_, "--sosi", "remove-all", "-"}, pairs, locale).out,
              fullwidth_a + "\xEF\xBF\xBD\xE4\xB8\x80")
        << locale;
  }
  EXPECT_EQ(Run({"encode", table_, dir_.Write("text.txt", "AB\n" + fullwidth_a)}).out,
            Text(Join({Bytes{0xC1, 0xC2}, Bytes(78, 0x40), Bytes{0x0E, 0x42, 0xC1}})));
  // Each byte of an ill-formed sequence (here two of three, between A and B) is replaced alone.
  const std::string ill_formed = Run({"encode", "--json", table_, "-"}, "A\xE0\xA0\x42").out;
  EXPECT_NE(ill_formed.find("\"hex\":\"C16F6FC2\""), std::string::npos) << ill_formed;
  // from-icu writes the table the library makes from the converter.
  Run({"from-icu", "ibm-37", dir_ / "cli.tbl"});
  CCSID table;
  FillFromIcu(table, "ibm-37");
  table.Save(dir_ / "library.tbl");
  EXPECT_EQ(ReadFile(dir_ / "cli.tbl"), ReadFile(dir_ / "library.tbl"));
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
