// The message catalogue: every id in the three languages, chosen from the locale environment.
#include "resources/message_catalogue.h"

#include <gtest/gtest.h>

#include "support/scoped_environment.h"

namespace svregistration::resources {
namespace {

// Each id has its own text in each language, with the placeholders of the English one.
TEST(MessageCatalogue, EveryIdExistsInEveryLanguage) {
  for (int id = 500; id <= 512; ++id) {
    const std::string english = LoadMessage(id, Language::kEnglish);
    for (Language language : {Language::kJapanese, Language::kKorean}) {
      const std::string text = LoadMessage(id, language);
      EXPECT_FALSE(text.empty()) << id;
      EXPECT_NE(text, english) << id;
      for (const char* placeholder : {"%1", "%2"}) {
        EXPECT_EQ(text.find(placeholder) == std::string::npos,
                  english.find(placeholder) == std::string::npos)
            << id << " " << placeholder;
      }
    }
  }
  EXPECT_EQ(LoadMessage(499, Language::kEnglish), "");
  EXPECT_EQ(LoadMessage(513, Language::kEnglish), "");
}

TEST(MessageCatalogue, LanguageFollowsTheEnvironment) {
  struct Case {
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    Language expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, "ja_JP.UTF-8", Language::kJapanese},
      {nullptr, "ko_KR.UTF-8", "ja_JP.UTF-8", Language::kKorean},
      {"en_US.UTF-8", "ko_KR.UTF-8", "ja_JP.UTF-8", Language::kEnglish},
      {"", nullptr, "ko_KR", Language::kKorean},
      {nullptr, nullptr, "C", Language::kEnglish},
      {nullptr, nullptr, nullptr, Language::kEnglish},
  };
  testing::ScopedEnvironment environment;
  for (const Case& c : cases) {
    environment.Set("LC_ALL", c.lc_all);
    environment.Set("LC_MESSAGES", c.lc_messages);
    environment.Set("LANG", c.lang);
    EXPECT_EQ(CurrentLanguage(), c.expected) << (c.lang ? c.lang : "-");
  }
}

}  // namespace
}  // namespace svregistration::resources
