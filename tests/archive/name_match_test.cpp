// Wildcard matching of zip member names and prefix matching of RAR member names.
#include "archive/name_match.h"

#include <gtest/gtest.h>

#include <tuple>

namespace svregistration::archive {
namespace {

using Case = std::tuple<const char*, const char*, bool>;  // pattern, name, matches

TEST(NameMatchTest, WildcardsFollowTheZipToolsRules) {
  // clang-format off
  const Case cases[] = {
      {"src/main.cbl", "src/main.cbl", true}, {"src/main.cbl", "src/main.cblx", false},
      {"src/main.cbl", "SRC/MAIN.CBL", false},  // letter case counts
      {"src", "src/main.cbl", false},           // a plain name is the whole name
      {"*.cbl", "src/deep/main.cbl", true},     // '*' crosses folders
      {"*", "", true}, {"a*b*c", "aXbYbZc", true}, {"a*b*c", "aXbYbZ", false},
      {"*a*a*a*", "bababab", true}, {"src/?ain.cbl", "src/main.cbl", true},
      {"?", "é", true}, {"??", "é", false},  // '?' is one character, two bytes here
      {"[mu]*", "util", true}, {"[!m]*", "main", false}, {"[^m]*", "util", true},
      {"[a-c]x", "bx", true}, {"[a-c]x", "dx", false}, {"[]]x", "]x", true}, {"[a-]", "-", true},
      {"[é]", "é", true}, {"a[b", "a[b", true}, {"a[b", "ab", false},  // a lone '[' is itself
  };
  // clang-format on
  for (const auto& [pattern, name, matches] : cases) {
    EXPECT_EQ(WildcardMatch(pattern, name), matches) << pattern << " / " << name;
  }
}

TEST(NameMatchTest, PrefixesCompareUpperCaseForms) {
  // clang-format off
  const Case cases[] = {
      {"DOCS", "docs/a.txt", true}, {"DOCS", "DocsOld/b.txt", true}, {"DOCS", "src/c.cbl", false},
      {"", "anything", true}, {"docs/a.txt", "docs", false},
      {"docs\\", "docs/a.txt", true}, {"testdir\\test.txt", "testdir/test.txt", true},
      {"docs/", "docs\\a.txt", true}, {"docs\\", "docsold/a.txt", false},  // one separator
      {"ÉTÉ", "été/x", true}, {"\xff", "\xff", true}, {"\xfe", "\xff", false},  // stray bytes
  };
  // clang-format on
  for (const auto& [pattern, name, matches] : cases) {
    EXPECT_EQ(MemberNameStartsWith(name, pattern), matches) << pattern << " / " << name;
  }
}

}  // namespace
}  // namespace svregistration::archive
