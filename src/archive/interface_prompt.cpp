// The input box that asks for an archive's password.
#include "archive/interface_prompt.h"

#include "svregistration/user_interface.h"

namespace svregistration::archive {

std::string InterfacePrompt::Ask(const PasswordRequest& /*request*/) {
  return ui_.AskText(std::string(kDialogTitle), std::string(kPasswordPrompt), true);
}

}  // namespace svregistration::archive
