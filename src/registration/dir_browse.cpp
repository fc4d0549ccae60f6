// The folder chooser over the user interface.
#include "registration/dir_browse.h"

#include "svregistration/user_interface.h"

namespace svregistration::registration {

std::string BrowseForFolder(UserInterface& ui, std::intptr_t owner_window,
                            const std::string& title) {
  std::string path = ui.BrowseForFolder(owner_window, title);
  // Only the text up to a first NUL is a path.
  return path.substr(0, path.find('\0'));
}

}  // namespace svregistration::registration
