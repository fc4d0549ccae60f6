// Files the host reads or deletes at paths that come from data (a journal line, a copy recorded on
// an object): opened beneath the workspace folder's own descriptor, never through a link, never
// above the folder.
#pragma once

#include <optional>
#include <string>

namespace svregistration::workspace {

/// The folder holding `relative` (components split at "/"), opened beneath `root_fd` with no link
/// anywhere on the way, and the last component in `name`; -1 when it cannot be opened, or when
/// the path is empty, absolute or climbs.
int OpenParentWithoutLinks(int root_fd, const std::string& relative, std::string& name);

/// The whole content of the plain file `relative` below the folder `root`, reached without a
/// link; nullopt when there is none such (missing, a link, a folder, or a path leading out).
std::optional<std::string> ReadBeneath(const std::string& root, const std::string& relative);

}  // namespace svregistration::workspace
