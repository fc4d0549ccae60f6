#include "support/shared_fixtures.h"

namespace svregistration::testing {

std::filesystem::path SharedDir() {
  std::filesystem::path dir(SVREG_SHARED_DIR);
  std::error_code ec;
  return std::filesystem::is_directory(dir, ec) ? dir : std::filesystem::path();
}

}  // namespace svregistration::testing
