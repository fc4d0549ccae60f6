// Walking the files a run is given: folders recursively in name order, each folder once.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace svregistration::workspace {

/// Calls `visit` for every file under each path (the path itself when it is no folder), with
/// `named` true for a path given itself rather than found in a folder. A folder reached twice
/// through links is walked once. Raises Error 75 naming a folder that cannot be read.
void WalkFiles(const std::vector<std::string>& paths,
               const std::function<void(const std::string& file, bool named)>& visit);

}  // namespace svregistration::workspace
