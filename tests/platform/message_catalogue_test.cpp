// The message catalogue: every id in the three languages, chosen from the locale environment.
#include "resources/message_catalogue.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace svregistration::resources {
namespace {

TEST(MessageCatalogue, EveryIdExistsInEveryLanguage) {
  for (int id = 500; id <= 512; ++id) {
    for (Language language : {Language::kEnglish, Language::kJapanese, Language::kKorean}) {
      EXPECT_FALSE(LoadMessage(id, language).empty()) << id;
    }
  }
  EXPECT_EQ(LoadMessage(499, Language::kEnglish), "");
  EXPECT_EQ(LoadMessage(513, Language::kEnglish), "");
  EXPECT_EQ(LoadMessage(509, Language::kEnglish), "Unable to copy file from %1 to %2");
  EXPECT_EQ(LoadMessage(501, Language::kJapanese), "ディレクトリーを作成できません:「%1」");
  EXPECT_EQ(LoadMessage(511, Language::kKorean), "'%2' 유형의 '%1' 오브젝트가 등록 취소됨");
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
  for (const Case& c : cases) {
    for (auto [name, value] : {std::pair{"LC_ALL", c.lc_all}, std::pair{"LC_MESSAGES", c.lc_messages},
                               std::pair{"LANG", c.lang}}) {
      if (value != nullptr) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    }
    EXPECT_EQ(CurrentLanguage(), c.expected) << (c.lang ? c.lang : "-");
  }
  unsetenv("LANG");
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
}

}  // namespace
}  // namespace svregistration::resources
