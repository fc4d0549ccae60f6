// Tests of the locale services: locale ids to ANSI code pages, code page properties, POSIX locale
// names and the default locale ids read from the environment.
#include "platform/locale_services.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/locale_table.h"

namespace svregistration::platform {
namespace {

using Lead = std::array<std::uint8_t, 12>;

// Sets the locale variables for one test and puts the previous values back afterwards.
class LocaleEnvironment : public ::testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"LC_ALL", "LC_CTYPE", "LANG", "SVREG_SYSTEM_LOCALE"};

  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = getenv(name);
      if (value != nullptr) saved_[name] = value;
      unsetenv(name);
    }
  }

  void TearDown() override {
    for (const char* name : kVariables) {
      auto it = saved_.find(name);
      if (it == saved_.end()) {
        unsetenv(name);
      } else {
        setenv(name, it->second.c_str(), 1);
      }
    }
  }

  static void Set(const char* name, const char* value) { setenv(name, value, 1); }

 private:
  std::map<std::string, std::string> saved_;
};

TEST(LocaleAnsiCodePage, AnswersTheDefaultAnsiCodePageOfEachLocale) {
  struct Case {
    LocaleId locale;
    std::optional<std::uint32_t> code_page;
  };
  const Case cases[] = {{1041, 932},
                        {1042, 949},
                        {2052, 936},
                        {1028, 950},
                        {3076, 950},
                        {4100, 936},
                        {5124, 950},
                        {1033, 1252},
                        {2057, 1252},
                        {3082, 1252},
                        {1031, 1252},
                        {1045, 1250},
                        {1049, 1251},
                        {1032, 1253},
                        {1055, 1254},
                        {1037, 1255},
                        {1025, 1256},
                        {1061, 1257},
                        {1066, 1258},
                        {1054, 874},
                        {0x241A, 1250},
                        {0x281A, 1251},
                        {0x0443, 1254},
                        {0x0843, 1251},
                        // Locales whose text is Unicode only.
                        {1081, 0},
                        {0x042B, 0},
                        {0x0437, 0},
                        {0x0445, 0},
                        // Neutral, alternate-sort and invariant ids are locale ids too.
                        {0x0011, 932},
                        {0x7C04, 950},
                        {0x10407, 1252},
                        {0x40411, 932},
                        {0x007F, 1252},
                        // Ids Windows does not define.
                        {0x9999, std::nullopt},
                        {12345, std::nullopt},
                        {0x1000, std::nullopt},
                        {0x0411 | 0x60000, std::nullopt}};
  for (const Case& c : cases) {
    EXPECT_EQ(LocaleAnsiCodePage(c.locale), c.code_page) << "locale " << c.locale;
  }
}

TEST_F(LocaleEnvironment, DefaultLocaleIdsAreResolvedBeforeTheLookUp) {
  Set("LANG", "ko_KR.UTF-8");
  Set("SVREG_SYSTEM_LOCALE", "1049");
  EXPECT_EQ(LocaleAnsiCodePage(kLocaleUserDefault), 949u);
  EXPECT_EQ(LocaleAnsiCodePage(0), 949u);
  EXPECT_EQ(LocaleAnsiCodePage(kLocaleSystemDefault), 1251u);
}

TEST(CodePageProperties, DoubleByteCodePagesReportTheirLeadByteRanges) {
  struct Case {
    std::uint32_t code_page;
    Lead lead;
  };
  const Case cases[] = {{932, {0x81, 0x9F, 0xE0, 0xFC}},
                        {936, {0x81, 0xFE}},
                        {949, {0x81, 0xFE}},
                        {950, {0x81, 0xFE}}};
  for (const Case& c : cases) {
    std::optional<CodePageInfo> info = CodePageProperties(c.code_page);
    ASSERT_TRUE(info) << c.code_page;
    EXPECT_EQ(info->MaxCharSize, 2u) << c.code_page;
    EXPECT_EQ(info->LeadByte, c.lead) << c.code_page;
    EXPECT_EQ(info->DefaultChar, (std::array<std::uint8_t, 2>{0x3F, 0x00})) << c.code_page;
  }
}

TEST(CodePageProperties, SingleByteCodePagesHaveNoLeadBytes) {
  for (std::uint32_t code_page :
       {874u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u, 437u, 850u}) {
    std::optional<CodePageInfo> info = CodePageProperties(code_page);
    ASSERT_TRUE(info) << code_page;
    EXPECT_EQ(info->MaxCharSize, 1u) << code_page;
    EXPECT_EQ(info->LeadByte, Lead{}) << code_page;
    EXPECT_EQ(info->DefaultChar[0], 0x3F) << code_page;
  }
}

TEST(CodePageProperties, UnknownCodePagesAreNotSupported) {
  for (std::uint32_t code_page : {12345u, 1u, 65001u, 1200u, 20932u}) {
    EXPECT_FALSE(CodePageProperties(code_page)) << code_page;
  }
}

TEST_F(LocaleEnvironment, CodePageZeroIsTheSystemLocalesCodePage) {
  Set("SVREG_SYSTEM_LOCALE", "1041");
  ASSERT_TRUE(CodePageProperties(0));
  EXPECT_EQ(CodePageProperties(0)->LeadByte, (Lead{0x81, 0x9F, 0xE0, 0xFC}));
  Set("SVREG_SYSTEM_LOCALE", "ru_RU.UTF-8");
  EXPECT_EQ(SystemAnsiCodePage(), 1251u);
  EXPECT_EQ(CodePageProperties(0)->MaxCharSize, 1u);
  // A system locale with Unicode text only has no ANSI code page of its own.
  Set("SVREG_SYSTEM_LOCALE", "1081");
  EXPECT_EQ(SystemAnsiCodePage(), 1252u);
}

TEST(LocaleIdFromPosixName, MapsPosixNamesToLocaleIds) {
  struct Case {
    const char* name;
    std::optional<LocaleId> locale;
  };
  const Case cases[] = {
      {"ja_JP.UTF-8", 1041},
      {"ja_JP", 1041},
      {"ja_JP.eucJP", 1041},
      {"ja", 1041},
      {"JA_jp.utf8", 1041},
      {"en_US", 1033},
      {"en_GB.UTF-8", 2057},
      {"C", 1033},
      {"POSIX", 1033},
      {"C.UTF-8", 1033},
      {"de_DE@euro", 1031},
      {"de_DE.ISO-8859-15@euro", 1031},
      {"de_AT", 3079},
      {"zh_CN.GB18030", 2052},
      {"zh_TW.Big5", 1028},
      {"zh_HK", 3076},
      {"zh_SG", 4100},
      {"zh_MO", 5124},
      {"zh", 2052},
      {"ko_KR.EUC-KR", 1042},
      {"es", 3082},
      {"es_ES", 3082},
      {"es_MX", 2058},
      {"pt", 1046},
      {"pt_PT", 2070},
      {"sr_RS", 0x281A},
      {"sr_RS@latin", 0x241A},
      {"uz_UZ", 0x0443},
      {"uz_UZ@cyrillic", 0x0843},
      {"ca_ES@valencia", 0x0803},
      {"de_DE@phoneb", 0x10407},
      {"no_NO", 1044},
      {"iw_IL", 1037},
      {"ja-JP", 1041},
      {"en_DK.UTF-8", 1033},  // a territory the table lacks: the language's default locale
      {"xx_YY", std::nullopt},
      {"klingon", std::nullopt},
      {"", std::nullopt},
      {".UTF-8", std::nullopt},
      {"@euro", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocaleIdFromPosixName(c.name), c.locale) << "'" << c.name << "'";
  }
}

TEST_F(LocaleEnvironment, UserLocaleComesFromTheFirstVariableThatIsSetAndNotEmpty) {
  EXPECT_EQ(UserDefaultLocaleId(), 1033u);
  Set("LANG", "ja_JP.UTF-8");
  EXPECT_EQ(UserDefaultLocaleId(), 1041u);
  Set("LC_CTYPE", "ko_KR.UTF-8");
  EXPECT_EQ(UserDefaultLocaleId(), 1042u);
  Set("LC_ALL", "");
  EXPECT_EQ(UserDefaultLocaleId(), 1042u);
  Set("LC_ALL", "zh_CN.UTF-8");
  EXPECT_EQ(UserDefaultLocaleId(), 2052u);
  // An unknown name ends the search: it does not fall through to the next variable.
  Set("LC_ALL", "xx_YY.UTF-8");
  EXPECT_EQ(UserDefaultLocaleId(), 1033u);
}

TEST_F(LocaleEnvironment, SystemLocaleComesFromItsVariableOrTheUsers) {
  Set("LANG", "ja_JP.UTF-8");
  EXPECT_EQ(SystemDefaultLocaleId(), 1041u);
  struct Case {
    const char* value;
    LocaleId locale;
  };
  const Case cases[] = {{"1042", 1042},   {"0x0804", 2052}, {"ru_RU.UTF-8", 1049}, {"xx_YY", 1033},
                        {"12345", 12345}, {"2048", 1041},   {"1024", 1041},        {"10x42", 1033}};
  for (const Case& c : cases) {
    Set("SVREG_SYSTEM_LOCALE", c.value);
    EXPECT_EQ(SystemDefaultLocaleId(), c.locale) << c.value;
  }
}

// The table's own consistency: every locale's code page is a supported one, every name of a
// specific locale finds that locale again, and each language has one default locale.
TEST(LocaleTable, IsConsistent) {
  std::map<std::string, int> defaults;
  std::set<std::string> languages;
  for (const detail::LocaleEntry& entry : detail::LocaleTable()) {
    if (entry.ansi_code_page != 0) {
      EXPECT_TRUE(CodePageProperties(entry.ansi_code_page)) << entry.name;
    }
    if (entry.kind == detail::LocaleKind::kNeutral || entry.name.empty()) continue;
    EXPECT_EQ(LocaleIdFromPosixName(entry.name), entry.id) << entry.name;
    std::string language(entry.name.substr(0, entry.name.find_first_of("_@")));
    languages.insert(language);
    if (entry.kind == detail::LocaleKind::kLanguageDefault) ++defaults[language];
  }
  for (const std::string& language : languages) {
    EXPECT_EQ(defaults[language], 1) << language;
  }
  EXPECT_GT(detail::LocaleTable().size(), 400u);
}

}  // namespace
}  // namespace svregistration::platform
