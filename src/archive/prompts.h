// The texts of the dialogs the archive classes show.
#pragma once

#include <string_view>

namespace svregistration::archive {

/// The prompt of the input box that asks for an archive's password.
inline constexpr std::string_view kPasswordPrompt = "Please Enter The Password!";

/// The title of the message box and of the input box: the application's name, which is what the
/// platform shows when a caller gives no title.
inline constexpr std::string_view kDialogTitle = "SVRegistration";

}  // namespace svregistration::archive
