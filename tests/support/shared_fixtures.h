// The shared folder beside the checkout (examples and real fixtures from other projects). Tests
// that need it call SVREG_REQUIRE_SHARED() and are skipped when it is absent.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

namespace svregistration::testing {

/// The shared folder, or an empty path when it does not exist.
std::filesystem::path SharedDir();

}  // namespace svregistration::testing

#define SVREG_REQUIRE_SHARED()                                                    \
  do {                                                                            \
    if (::svregistration::testing::SharedDir().empty())                           \
      GTEST_SKIP() << "the shared fixtures folder beside the checkout is absent"; \
  } while (0)
