// The locale signature: which changes of the environment it sees and which it must not confuse
// with the variables it watches.
#include "registration/options_cache.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/scoped_environment.h"

namespace svregistration::registration {
namespace {

TEST(LocaleSignatureTest, SeesEveryChangeOfTheLocaleVariablesAndNothingElse) {
  // The variable, the value it is set to (nullptr: unset), whether the signature sees the change.
  const std::tuple<const char*, const char*, bool> steps[] = {
      {"LANG", "ja_JP.UTF-8", true},
      {"LANG", "ja_JP.UTF-8", false},  // set again to the same
      {"LANGUAGE", "fr", false},       // a longer name beginning as one watched
      {"LC_ALLX", "C", false},
      {"SVREG_SYSTEM_LOCALE_X", "1041", false},
      {"LC_ALL", "de_DE", true},
      {"LC_CTYPE", "C", true},
      {"SVREG_SYSTEM_LOCALE", "1041", true},
      {"SVREG_SYSTEM_LOCALE", "", true},  // empty is not unset
      {"SVREG_SYSTEM_LOCALE", nullptr, true},
      {"LC_ALL", nullptr, true},
  };
  testing::ScopedEnvironment environment;
  for (const auto& [name, value, seen] : steps) environment.Set(name, nullptr);  // all unset first
  LocaleSignature signature;
  EXPECT_FALSE(signature.Matches());  // the first time
  EXPECT_TRUE(signature.Matches());
  for (const auto& [name, value, seen] : steps) {
    environment.Set(name, value);
    EXPECT_EQ(signature.Matches(), !seen) << name << "=" << (value ? value : "");
    EXPECT_TRUE(signature.Matches()) << name;
  }
}

}  // namespace
}  // namespace svregistration::registration
