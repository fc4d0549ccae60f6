// The walk of a run's files and folders.
#include "workspace/file_walk.h"

#include <fmt/core.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "svregistration/error.h"
#include "workspace/error_source.h"

namespace svregistration::workspace {

namespace {

namespace fs = std::filesystem;

using Seen = std::set<std::pair<dev_t, ino_t>>;

// `plain` is what the folder listing said: a plain file needs no look of its own.
void Walk(const fs::path& path, bool plain, bool named,
          const std::function<void(const std::string&, bool)>& visit, Seen& seen) {
  struct stat info {};
  if (plain || ::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    visit(path.string(), named);
    return;
  }
  if (!seen.insert({info.st_dev, info.st_ino}).second) return;
  // Names only, sorted: a folder of many thousand files is held as its names, not as paths.
  std::vector<std::pair<std::string, bool>> entries;
  std::error_code ec;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;  // a link is looked at through
    entries.emplace_back(it->path().filename().string(),
                         !it->is_symlink(type_ec) && it->is_regular_file(type_ec));
  }
  if (ec) {
    throw Error(error_number::kPathFileAccessError, kWorkspaceErrorSource,
                fmt::format("cannot read the folder '{}': {}", path.string(), ec.message()));
  }
  std::sort(entries.begin(), entries.end());
  for (const auto& [name, entry_plain] : entries)
    Walk(path / name, entry_plain, false, visit, seen);
}

}  // namespace

void WalkFiles(const std::vector<std::string>& paths,
               const std::function<void(const std::string& file, bool named)>& visit) {
  Seen seen;
  for (const std::string& path : paths) Walk(path, false, true, visit, seen);
}

}  // namespace svregistration::workspace
