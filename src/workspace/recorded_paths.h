// How the host reads a copy's path as an object records it: the folders, "/", and the file's own
// name, in which a "\" is part of the name (a file on Linux may be called "a\b.cbl"). A path
// without "/" was written by a host that joined with "\", which then separates folders.
#pragma once

#include <algorithm>
#include <string>

namespace svregistration::workspace {

/// The recorded path relative to the workspace folder, with "/" between its folders.
inline std::string RecordedRelative(const std::string& recorded) {
  const std::size_t slash = recorded.rfind('/');
  std::string folders = slash == std::string::npos ? recorded : recorded.substr(0, slash);
  std::replace(folders.begin(), folders.end(), '\\', '/');
  return slash == std::string::npos ? folders : folders + recorded.substr(slash);
}

}  // namespace svregistration::workspace
