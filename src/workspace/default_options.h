// The options documents a new workspace starts with.
#pragma once

#include <string>

namespace svregistration::workspace {

/// The Registration page (tabs and sequence numbers off, an entry for COBOL, COPYBOOK, JCL, PLI
/// and BMS) and the Encoding page (ASCII with SOSI retained; English 1033 selected, Japanese
/// 1041, and the EBCDIC tables US 037 and Japanese 930).
std::string DefaultWorkspaceOptions();

/// The Inventory page with an empty Directory (the default Sources/<type>) for every type.
std::string DefaultGlobalOptions();

}  // namespace svregistration::workspace
