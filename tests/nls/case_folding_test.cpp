// The one rule for letter case: Unicode simple case folding, one code point for one.
#include "svregistration/case_folding.h"

#include <gtest/gtest.h>

namespace svregistration {
namespace {

TEST(CaseFolding, FoldsLettersOfEveryScriptAndNothingElse) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"PAY.CBL", "pay.cbl", true}, {"ÉTÉ", "été", true},
      {"ΣΟΦΙΑ", "σοφια", true},     {"\xE2\x84\xAA", "k", true},  // KELVIN SIGN folds to k
      {"ＰＡＹ", "PAY", false},                                   // full width is another letter
      {"straße", "STRASSE", false},  // simple folding: one code point for one
      {"a\xFF", "A\xFF", true},      // bytes that are not UTF-8 stand for themselves
      {"a\xFF", "a\xFE", false},
  };
  for (const auto& [a, b, equal] : cases) {
    EXPECT_EQ(EqualsIgnoringCase(a, b), equal) << a << " " << b;
    EXPECT_EQ(FoldCase(a) == FoldCase(b), equal) << a << " " << b;
  }
}

}  // namespace
}  // namespace svregistration
