// Tests of the locale services: locale ids to ANSI code pages, code page properties, POSIX locale
// names and the default locale ids read from the environment; and the message catalogue, whose
// language the locale environment chooses.
#include "nls/locale_services.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "nls/ansi_conversion.h"
#include "nls/locale_table.h"
#include "resources/message_catalogue.h"
#include "support/scoped_environment.h"

namespace svregistration::nls {
namespace {

using testing::ScopedEnvironment;

// The locale variables cleared for a test and put back afterwards.
class LocaleEnvironment : public ::testing::Test {
 protected:
  void Set(const char* name, const char* value) { environment_.Set(name, value); }
  ScopedEnvironment environment_{"LC_ALL", "LC_CTYPE", "LANG", "SVREG_SYSTEM_LOCALE",
                                 "LC_MESSAGES"};
};

TEST(LocaleAnsiCodePage, AnswersTheDefaultAnsiCodePageOfEachLocale) {
  // clang-format off
  const std::pair<LocaleId, std::optional<std::uint32_t>> cases[] = {
      {1041, 932}, {1049, 1251}, {0x241A, 1250},         // specific locales; scripts by sublanguage
      {1081, 0},                                         // Unicode text only
      {0x0011, 932}, {0x7C04, 950},                      // neutral
      {0x10407, 1252}, {0x40411, 932},                   // alternate sorts
      {0x007F, 1252},                                    // invariant
      {0x9999, std::nullopt}, {0x1000, std::nullopt},    // not defined
      {0x0411 | 0x60000, std::nullopt},                  // an undefined sort
  };
  // clang-format on
  for (const auto& [locale, code_page] : cases) {
    EXPECT_EQ(LocaleAnsiCodePage(locale), code_page) << "locale " << locale;
  }
}

// The double-byte code pages answer the lead bytes Windows gives them, whatever ICU's tables
// are built from; every other code page of the table has none and one byte a character. The
// default character is "?" throughout; a code page the table lacks has no properties.
TEST(CodePagePropertiesTest, LeadBytesAreWindowsOwn) {
  using Ranges = std::array<std::uint8_t, 12>;
  const std::map<std::uint32_t, Ranges> double_byte = {{932, {0x81, 0x9F, 0xE0, 0xFC}},
                                                       {936, {0x81, 0xFE}},
                                                       {949, {0x81, 0xFE}},
                                                       {950, {0x81, 0xFE}}};
  std::size_t seen = 0;
  for (const detail::CodePageEntry& entry : detail::CodePageTable()) {
    const std::optional<CodePageInfo> info = CodePageProperties(entry.code_page);
    ASSERT_TRUE(info) << entry.code_page;
    const auto lead = double_byte.find(entry.code_page);
    const bool dbcs = lead != double_byte.end();
    seen += dbcs;
    EXPECT_EQ(info->LeadByte, dbcs ? lead->second : Ranges{}) << entry.code_page;
    EXPECT_EQ(info->MaxCharSize, dbcs ? 2u : 1u) << entry.code_page;
    EXPECT_EQ(info->DefaultChar, (std::array<std::uint8_t, 2>{'?', 0})) << entry.code_page;
  }
  EXPECT_EQ(seen, double_byte.size());
  for (std::uint32_t code_page : {12345u, 1u, 65001u, 1200u, 20932u}) {
    EXPECT_FALSE(CodePageProperties(code_page)) << code_page;
  }
}

TEST(LocaleIdFromPosixName, MapsPosixNamesToLocaleIds) {
  // clang-format off
  const std::pair<const char*, std::optional<LocaleId>> cases[] = {
      {"JA_jp.utf8", 1041}, {"ja-JP", 1041},            // any letter case, encoding, separator
      {"es", 3082},                                     // a language alone: its default locale
      {"en_DK.UTF-8", 1033},                            // a territory the table lacks: the same
      {"POSIX", 1033}, {"C.UTF-8", 1033},
      {"de_DE.ISO-8859-15@euro", 1031},                 // a modifier the table lacks is ignored
      {"sr_RS", 0x281A}, {"sr_RS@latin", 0x241A},       // modifiers that choose the script
      {"de_DE@phoneb", 0x10407},                        // or the sort
      {"iw_IL", 1037},                                  // old language codes
      {"xx_YY", std::nullopt}, {"", std::nullopt}, {".UTF-8", std::nullopt},
  };
  // clang-format on
  for (const auto& [name, locale] : cases) {
    EXPECT_EQ(LocaleIdFromPosixName(name), locale) << "'" << name << "'";
  }
}

TEST_F(LocaleEnvironment, UserLocaleComesFromTheFirstVariableThatIsSetAndNotEmpty) {
  EXPECT_EQ(UserDefaultLocaleId(), 1033u);
  // The variable set, its value, the user's locale then.
  const std::tuple<const char*, const char*, LocaleId> steps[] = {
      {"LANG", "ja_JP.UTF-8", 1041},   {"LC_CTYPE", "ko_KR.UTF-8", 1042}, {"LC_ALL", "", 1042},
      {"LC_ALL", "zh_CN.UTF-8", 2052}, {"LC_ALL", "xx_YY.UTF-8", 1033},  // an unknown name ends the
                                                                         // search: no falling
                                                                         // through
  };
  for (const auto& [name, value, locale] : steps) {
    Set(name, value);
    EXPECT_EQ(UserDefaultLocaleId(), locale) << name << "=" << value;
  }
}

TEST_F(LocaleEnvironment, SystemLocaleComesFromItsVariableOrTheUsers) {
  Set("LANG", "ja_JP.UTF-8");
  EXPECT_EQ(SystemDefaultLocaleId(), 1041u);
  const std::pair<const char*, LocaleId> cases[] = {
      {"1042", 1042},   {"0x0804", 2052}, {"ru_RU.UTF-8", 1049}, {"xx_YY", 1033},
      {"12345", 12345}, {"2048", 1041},   {"1024", 1041},        {"10x42", 1033}};
  for (const auto& [value, locale] : cases) {
    Set("SVREG_SYSTEM_LOCALE", value);
    EXPECT_EQ(SystemDefaultLocaleId(), locale) << value;
  }
  // The default locale ids are resolved before a look-up.
  Set("SVREG_SYSTEM_LOCALE", "1049");
  EXPECT_EQ(std::tuple(LocaleAnsiCodePage(kLocaleUserDefault), LocaleAnsiCodePage(0),
                       LocaleAnsiCodePage(kLocaleSystemDefault)),
            std::tuple(932u, 932u, 1251u));
  // Code page 0 is the system locale's: in the properties and in conversions. A system locale
  // with Unicode text only has no ANSI code page of its own.
  Set("SVREG_SYSTEM_LOCALE", "1041");
  EXPECT_EQ(CodePageProperties(0)->MaxCharSize, 2u);
  EXPECT_EQ(UnicodeToAnsi(u"あ", 0), (std::vector<std::uint8_t>{0x82, 0xA0}));
  Set("SVREG_SYSTEM_LOCALE", "ru_RU.UTF-8");
  EXPECT_EQ(SystemAnsiCodePage(), 1251u);
  EXPECT_EQ(CodePageProperties(0)->MaxCharSize, 1u);
  Set("SVREG_SYSTEM_LOCALE", "1081");
  EXPECT_EQ(SystemAnsiCodePage(), 1252u);
}

// The table's own consistency: every locale's code page is a supported one, every name of a
// specific locale finds that locale again, and each language has one default locale.
TEST(LocaleTable, IsConsistent) {
  std::map<std::string, int> defaults;  // each language of a specific locale: its defaults
  for (const detail::LocaleEntry& entry : detail::LocaleTable()) {
    if (entry.ansi_code_page != 0) {
      EXPECT_TRUE(CodePageProperties(entry.ansi_code_page)) << entry.name;
    }
    if (entry.kind == detail::LocaleKind::kNeutral || entry.name.empty()) continue;
    EXPECT_EQ(LocaleIdFromPosixName(entry.name), entry.id) << entry.name;
    int& count = defaults[std::string(entry.name.substr(0, entry.name.find_first_of("_@")))];
    if (entry.kind == detail::LocaleKind::kLanguageDefault) ++count;
  }
  for (const auto& [language, count] : defaults) EXPECT_EQ(count, 1) << language;
  EXPECT_GT(detail::LocaleTable().size(), 400u);
}

// Each message id has its own text in each language, with the placeholders of the English one.
TEST(MessageCatalogue, EveryIdExistsInEveryLanguage) {
  using resources::Language;
  for (int id = 500; id <= 512; ++id) {
    const std::string english = resources::LoadMessage(id, Language::kEnglish);
    for (Language language : {Language::kJapanese, Language::kKorean}) {
      const std::string text = resources::LoadMessage(id, language);
      EXPECT_FALSE(text.empty() || text == english) << id;
      for (const char* placeholder : {"%1", "%2"}) {
        EXPECT_EQ(text.find(placeholder) == std::string::npos,
                  english.find(placeholder) == std::string::npos)
            << id << " " << placeholder;
      }
    }
  }
  for (int id : {499, 513}) EXPECT_EQ(resources::LoadMessage(id, Language::kEnglish), "") << id;
}

TEST_F(LocaleEnvironment, MessageLanguageFollowsTheEnvironment) {
  using resources::Language;
  const std::tuple<const char*, const char*, const char*, Language> cases[] = {
      // LC_ALL, LC_MESSAGES, LANG
      {nullptr, nullptr, "ja_JP.UTF-8", Language::kJapanese},
      {nullptr, "ko_KR.UTF-8", "ja_JP.UTF-8", Language::kKorean},
      {"en_US.UTF-8", "ko_KR.UTF-8", "ja_JP.UTF-8", Language::kEnglish},
      {"", nullptr, "ko_KR", Language::kKorean},
      {nullptr, nullptr, "C", Language::kEnglish},
      {nullptr, nullptr, nullptr, Language::kEnglish},
  };
  for (const auto& [all, messages, lang, expected] : cases) {
    Set("LC_ALL", all);
    Set("LC_MESSAGES", messages);
    Set("LANG", lang);
    EXPECT_EQ(resources::CurrentLanguage(), expected) << (lang ? lang : "-");
  }
}

}  // namespace
}  // namespace svregistration::nls
