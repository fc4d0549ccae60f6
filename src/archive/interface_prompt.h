// The password prompt of the three-argument Extract: the input box of the archive object's user
// interface, with the texts the archive classes have always shown.
#pragma once

#include <string>
#include <string_view>

#include "svregistration/extraction_report.h"
#include "svregistration/user_interface.h"

namespace svregistration::archive {

/// The prompt of the input box that asks for an archive's password.
inline constexpr std::string_view kPasswordPrompt = "Please Enter The Password!";

/// The title of the message box and of the input box: the application's name, which is what the
/// platform shows when a caller gives no title.
inline constexpr std::string_view kDialogTitle = "SVRegistration";

class InterfacePrompt final : public PasswordPrompt {
 public:
  explicit InterfacePrompt(UserInterface& ui) : ui_(ui) {}
  std::string Ask(const PasswordRequest& request) override;

 private:
  UserInterface& ui_;
};

}  // namespace svregistration::archive
