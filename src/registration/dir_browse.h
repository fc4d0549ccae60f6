// The folder chooser: asks the user for a folder through the caller's user interface.
#pragma once

#include <cstdint>
#include <string>

#include "svregistration/user_interface.h"

namespace svregistration::registration {

/// The chosen folder's path, or "" when the user cancelled.
std::string BrowseForFolder(UserInterface& ui, std::intptr_t owner_window,
                            const std::string& title);

}  // namespace svregistration::registration
