// svreg codepage import|from-icu|decode|encode, run as a separate process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <random>

#include "codepage_test_support.h"
#include "support/shared_fixtures.h"

namespace svregistration::testing {
namespace {

using ::testing::HasSubstr;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class CodepageCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(SVREG_SVREG_BINARY).empty()) GTEST_SKIP() << "svreg is not built";
  }

  // Runs svreg with the arguments (already quoted for the shell) and an optional locale.
  Outcome Svreg(const std::string& arguments, const std::string& locale = "C") {
    std::string err_path = dir_ / "stderr.txt";
    std::string command =
        "LC_ALL=" + locale + " '" + SVREG_SVREG_BINARY + "' " + arguments + " 2>'" + err_path + "'";
    Outcome run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      run.out.append(buffer, n);
    }
    int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadFile(err_path);
    return run;
  }

  std::string Q(const std::string& path) { return "'" + path + "'"; }

  TempDir dir_;
};

TEST_F(CodepageCliTest, ImportAndFromIcuWriteTheSameTable) {
  SVREG_REQUIRE_SHARED();
  std::string ucm = (SharedDir() / "fixtures/ucm/ibm-37_P100-1995.ucm").string();
  Outcome imported =
      Svreg("codepage import " + Q(ucm) + " " + Q(dir_ / "a.tbl") + " --ccsid 37 --json");
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_THAT(imported.out, HasSubstr("\"bytes\":1024"));
  EXPECT_THAT(imported.out, HasSubstr("\"ccsid\":37"));
  Outcome from_icu = Svreg("codepage from-icu ibm-37 " + Q(dir_ / "b.tbl"));
  ASSERT_EQ(from_icu.status, 0) << from_icu.err;
  EXPECT_EQ(from_icu.out, "");
  EXPECT_EQ(ReadFile(dir_ / "a.tbl"), ReadFile(dir_ / "b.tbl"));
}

TEST_F(CodepageCliTest, DecodeAndEncode) {
  std::string map = dir_.Write("sample.ucm", kSampleMap);
  ASSERT_EQ(Svreg("codepage import " + Q(map) + " " + Q(dir_ / "s.tbl")).status, 0);
  std::string records = dir_.Write("records.bin", B({0xC1, 0xC2, 0x0E, 0x42, 0xC1, 0x0F, 0xC3}));

  Outcome decoded =
      Svreg("codepage decode " + Q(dir_ / "s.tbl") + " " + Q(records) + " --sosi remove-all",
            "ja_JP.UTF-8");
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_EQ(decoded.out,
            "AB\xEF\xBC\xA1"
            "C");
  Outcome replaced =
      Svreg("codepage decode " + Q(dir_ / "s.tbl") + " --sosi replace-all --json < " + Q(records),
            "ja_JP.UTF-8");
  EXPECT_EQ(replaced.out, "{\"text\":\"AB \xEF\xBC\xA1 C\"}\n");

  std::string text = dir_.Write("text.txt", "AB\n\xEF\xBC\xA1");
  Outcome encoded = Svreg("codepage encode " + Q(dir_ / "s.tbl") + " " + Q(text));
  ASSERT_EQ(encoded.status, 0) << encoded.err;
  EXPECT_EQ(encoded.out, Text(Join({B({0xC1, 0xC2}), Repeat(0x40, 78), B({0x0E, 0x42, 0xC1})})));
  Outcome hex = Svreg("codepage encode --json " + Q(dir_ / "s.tbl") + " " + Q(text));
  EXPECT_THAT(hex.out, HasSubstr("\"hex\":\"C1C2404040"));
}

// A file of many pieces (pairs and literals cut at piece ends) decodes as ToUnicode of it whole.
TEST_F(CodepageCliTest, LargeFileDecodesAsOneBuffer) {
  std::string map = dir_.Write("sample.ucm", kSampleMap);
  ASSERT_EQ(Svreg("codepage import " + Q(map) + " " + Q(dir_ / "s.tbl")).status, 0);
  const std::uint8_t alphabet[] = {0x0E, 0x0F, 0x40, 0x42, 0xC1, 0xC2, 0xC7, 0x7D, 0x87, 0x43};
  std::mt19937 random(5);
  std::vector<std::uint8_t> records(700001);
  for (auto& b : records) b = alphabet[random() % sizeof alphabet];
  std::string path = dir_.Write("large.bin", records);

  CCSID table;
  table.Load(dir_ / "s.tbl", 0);
  std::u16string text;
  {
    ScopedLocale locale("ja_JP.UTF-8");
    text = table.ToUnicode(records, SOSIKeepType::KeepInLiterals);
  }
  std::string expected(3 * text.size(), '\0');
  std::int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(expected.data(), static_cast<std::int32_t>(expected.size()), &length, text.data(),
              static_cast<std::int32_t>(text.size()), &status);
  ASSERT_TRUE(U_SUCCESS(status));
  expected.resize(static_cast<std::size_t>(length));

  Outcome decoded =
      Svreg("codepage decode " + Q(dir_ / "s.tbl") + " --sosi keep-in-literals < " + Q(path),
            "ja_JP.UTF-8");
  ASSERT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_TRUE(decoded.out == expected);
}

TEST_F(CodepageCliTest, ErrorsExitWithTwoAndTheirNumber) {
  Outcome unknown = Svreg("codepage from-icu no-such-converter " + Q(dir_ / "x.tbl"));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_THAT(unknown.err, HasSubstr("no-such-converter"));
  EXPECT_THAT(unknown.err, HasSubstr("(5)"));
  Outcome missing = Svreg("codepage decode " + Q(dir_ / "absent.tbl") + " /dev/null");
  EXPECT_EQ(missing.status, 2);
  EXPECT_THAT(missing.err, HasSubstr("absent.tbl"));
  EXPECT_THAT(missing.err, HasSubstr("(53)"));
  Outcome bad_choice = Svreg("codepage decode " + Q(dir_ / "absent.tbl") + " --sosi keep-some");
  EXPECT_EQ(bad_choice.status, 2);
}

}  // namespace
}  // namespace svregistration::testing
