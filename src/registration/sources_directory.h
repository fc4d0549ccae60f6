// The Sources directory of an object type, relative to the workspace root.
#pragma once

#include <string>

#include "registration/sv_standard_state.h"

namespace svregistration::registration {

/// The Directory of the type on the global options' Inventory page, or "Sources/<type>" when
/// it is empty. Backslashes in the configured value are separators.
std::string SourcesDirectory(registration::State& state, const std::string& type);

}  // namespace svregistration::registration
