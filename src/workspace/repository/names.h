// Comparing names, type codes and attribute names as the workspace does: without regard to letter
// case, by the library's one rule (Unicode simple case folding).
#pragma once

#include <string>
#include <string_view>

#include "svregistration/case_folding.h"

namespace svregistration::workspace {

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return EqualsIgnoringCase(a, b);
}

}  // namespace svregistration::workspace
