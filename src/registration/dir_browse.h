// The folder chooser: asks the user for a folder through the thread's user interface.
#pragma once

#include <cstdint>
#include <string>

namespace svregistration::registration {

/// The chosen folder's path, or "" when the user cancelled.
std::string BrowseForFolder(std::intptr_t owner_window, const std::string& title);

}  // namespace svregistration::registration
