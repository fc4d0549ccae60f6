// The class registry and the per-thread host utilities made through it.
#include "svregistration/class_registry.h"

#include <gtest/gtest.h>

#include <cctype>

#include "runtime/host_utilities.h"
#include "support/error_capture.h"
#include "svregistration/error.h"

namespace svregistration {
namespace {

struct UpperFormatter : host::MessageFormatter {
  std::string FormatMessage(const std::string& t, const std::vector<std::string>&) override {
    return "[" + t + "]";
  }
};

// Classes are created by name in any letter case, as the interface asked for; the defaults fill
// placeholders and split paths, and a host may replace them.
TEST(ClassRegistry, CreatesByNameAndHostsMayReplaceTheDefaults) {
  ClassRegistry& registry = ClassRegistry::Instance();
  runtime::ResetThreadUtilities();
  EXPECT_EQ(runtime::ThreadMessageFormatter().FormatMessage("from %1 to %2, %3 %%", {"a", "b"}),
            "from a to b, %3 %%");
  auto split = runtime::ThreadFileUtility().SplitPath("/w/Src/PROG1.CBL");
  EXPECT_EQ(split.folder + "|" + split.base_name + "|" + split.extension, "/w/Src/|PROG1|.CBL");

  registry.Register<host::MessageFormatter>(host::kMessageFormatterClass,
                                            [] { return std::make_shared<UpperFormatter>(); });
  std::string upper = host::kMessageFormatterClass;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(registry.Create<host::MessageFormatter>(upper)->FormatMessage("x", {}), "[x]");
  EXPECT_EQ(
      testing::ErrorNumber([&] { registry.Create<host::IdUtility>(host::kMessageFormatterClass); }),
      error_number::kCannotCreateObject);
  runtime::ResetThreadUtilities();
  EXPECT_EQ(runtime::ThreadMessageFormatter().FormatMessage("x", {}), "[x]");
  registry.Unregister(host::kMessageFormatterClass);
  runtime::ResetThreadUtilities();
  EXPECT_THROW(runtime::ThreadIdUtility(), Error);  // only the host provides one
}

}  // namespace
}  // namespace svregistration
