// The class registry and the per-thread host utilities made through it.
#include "svregistration/class_registry.h"

#include <gtest/gtest.h>

#include "platform/host_utilities.h"
#include "support/error_capture.h"
#include "svregistration/error.h"

namespace svregistration {
namespace {

struct Greeter {
  virtual ~Greeter() = default;
  virtual std::string Hello() { return "hello"; }
};

TEST(ClassRegistry, CreatesByNameIgnoringCase) {
  ClassRegistry& registry = ClassRegistry::Instance();
  registry.Register<Greeter>("Test.Greeter", [] { return std::make_shared<Greeter>(); });
  EXPECT_EQ(registry.Create<Greeter>("test.GREETER")->Hello(), "hello");
  EXPECT_EQ(testing::ErrorNumber([&] { registry.Create<host::IdUtility>("Test.Greeter"); }),
            error_number::kCannotCreateObject);
  registry.Unregister("Test.Greeter");
  EXPECT_THROW(registry.Create<Greeter>("Test.Greeter"), Error);
}

struct UpperFormatter : host::MessageFormatter {
  std::string FormatMessage(const std::string& t, const std::vector<std::string>&) override {
    return "[" + t + "]";
  }
};

TEST(HostUtilities, DefaultsFillPlaceholdersAndHostsMayReplaceThem) {
  platform::ResetThreadUtilities();
  EXPECT_EQ(platform::ThreadMessageFormatter().FormatMessage("from %1 to %2, %3 %%", {"a", "b"}),
            "from a to b, %3 %%");
  auto split = platform::ThreadFileUtility().SplitPath("/w/Src/PROG1.CBL");
  EXPECT_EQ(split.folder, "/w/Src/");
  EXPECT_EQ(split.base_name, "PROG1");
  EXPECT_EQ(split.extension, ".CBL");

  ClassRegistry::Instance().Register<host::MessageFormatter>(
      host::kMessageFormatterClass, [] { return std::make_shared<UpperFormatter>(); });
  platform::ResetThreadUtilities();
  EXPECT_EQ(platform::ThreadMessageFormatter().FormatMessage("x", {}), "[x]");
  ClassRegistry::Instance().Unregister(host::kMessageFormatterClass);
  platform::ResetThreadUtilities();
  EXPECT_THROW(platform::ThreadIdUtility(), Error);  // only the host provides one
}

}  // namespace
}  // namespace svregistration
