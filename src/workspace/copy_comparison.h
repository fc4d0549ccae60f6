// A registered copy compared with its original's workspace form, as the options make it now.
// Reads files and the options only, never the repository, so that copies may be compared on
// several threads at once: each thread converts through a service of its own.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "svregistration/workspace/copy_status.h"
#include "workspace/beneath.h"

namespace svregistration::workspace {

/// An original (a user's file, outside the workspace) as it is, whole; nullopt when it cannot be
/// read.
std::optional<std::string> ReadOriginal(const std::string& path);

/// The original's workspace form as bytes.
std::string FormOf(const std::shared_ptr<WorkspaceHost>& workspace, const std::string& type,
                   const std::string& original);

/// The state of the copy `status` names (its id, name, type, source and original filled in), as
/// far as the files tell: a copy that differs is kModified, for the caller to explain. The copy
/// is opened through `files`, beneath the workspace and never through a link.
CopyStatus CompareCopy(const std::shared_ptr<WorkspaceHost>& workspace, BeneathFiles& files,
                       CopyStatus status);

}  // namespace svregistration::workspace
