// The shared folder beside the checkout (examples and real fixtures from other projects). Tests
// that need it call SVREG_REQUIRE_SHARED() and are skipped when it is absent.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

namespace svregistration::testing {

/// The shared folder, or an empty path when it does not exist.
inline std::filesystem::path SharedDir() {
  std::filesystem::path dir(SVREG_SHARED_DIR);
  std::error_code ec;
  return std::filesystem::is_directory(dir, ec) ? dir : std::filesystem::path();
}

}  // namespace svregistration::testing

#define SVREG_REQUIRE_SHARED()                                                    \
  do {                                                                            \
    if (::svregistration::testing::SharedDir().empty())                           \
      GTEST_SKIP() << "the shared fixtures folder beside the checkout is absent"; \
  } while (0)
