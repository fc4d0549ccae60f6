// The source text of every error the reference workspace host raises.
#pragma once

namespace svregistration::workspace {

inline constexpr const char* kWorkspaceErrorSource = "Workspace";

}  // namespace svregistration::workspace
