// How the host reads a copy's path as an object records it: the folders, "/", and the file's own
// name, in which a "\" is part of the name (a file on Linux may be called "a\b.cbl"). A path
// without "/" was written by a host that joined with "\", which then separates folders.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace svregistration::workspace {

/// The recorded path relative to the workspace folder, with "/" between its folders.
inline std::string RecordedRelative(const std::string& recorded) {
  const std::size_t slash = recorded.rfind('/');
  std::string folders = slash == std::string::npos ? recorded : recorded.substr(0, slash);
  std::replace(folders.begin(), folders.end(), '\\', '/');
  return slash == std::string::npos ? folders : folders + recorded.substr(slash);
}

/// True when the path is relative and every component a name ("a/b.cbl"; not "", "/a", "a/",
/// "a//b", "./a" or "a/../b"): it is lexically normal as it stands.
inline bool PlainRelative(std::string_view path) {
  if (path.empty() || path.front() == '/') return false;
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace svregistration::workspace
