// The locale signature: which changes of the environment it sees and which it must not confuse
// with the variables it watches.
#include "registration/options_cache.h"

#include <gtest/gtest.h>

#include "support/scoped_environment.h"

namespace svregistration::registration {
namespace {

TEST(LocaleSignatureTest, SeesEveryChangeOfTheLocaleVariablesAndNothingElse) {
  struct Step {
    const char* name;
    const char* value;
    bool seen;
  };
  const Step steps[] = {
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
  for (const Step& step : steps) environment.Set(step.name, nullptr);  // all unset to begin with
  LocaleSignature signature;
  EXPECT_FALSE(signature.Matches());  // the first time
  EXPECT_TRUE(signature.Matches());
  for (const Step& step : steps) {
    environment.Set(step.name, step.value);
    EXPECT_EQ(signature.Matches(), !step.seen)
        << step.name << "=" << (step.value ? step.value : "");
    EXPECT_TRUE(signature.Matches()) << step.name;
  }
}

}  // namespace
}  // namespace svregistration::registration
