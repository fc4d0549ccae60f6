// Confinement of the paths registration and refresh write to.
#include "registration/workspace_files.h"

#include <filesystem>

#include "platform/file_system.h"
#include "svregistration/error.h"

namespace svregistration::registration {

std::vector<std::string> ProtectedPathsOf(State& state) {
  std::vector<std::string> paths = state.Workspace->ProtectedPaths();
  std::string root = state.WorkspaceDirectory;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const std::string tables = state.Workspace->GetSolvaneName(host::kCodePageTableDirectory);
  if (tables.size() > root.size() + 1 && tables.compare(0, root.size(), root) == 0 &&
      tables[root.size()] == '/') {
    paths.push_back(tables.substr(root.size() + 1) + "/");
  }
  return paths;
}

std::string RecordedCopyPath(const std::string& root, const std::string& relative) {
  std::size_t slash = relative.find_last_of('/');
  if (slash == std::string::npos) return platform::JoinRecordedPath(root, relative);
  return platform::JoinHostPath(root, relative.substr(0, slash)) + "/" + relative.substr(slash + 1);
}

namespace {

// The workspace folder, made when it is missing: registration makes its Sources folder, and the
// folders above it, before anything else.
std::string MadeRoot(const State& state) {
  std::error_code ignored;  // a folder that cannot be made is reported when it is opened
  if (!state.WorkspaceDirectory.empty()) {
    std::filesystem::create_directories(state.WorkspaceDirectory, ignored);
  }
  return state.WorkspaceDirectory;
}

}  // namespace

WorkspaceFiles::WorkspaceFiles(State& state) : root_(MadeRoot(state), ProtectedPathsOf(state)) {}

std::optional<std::string> WorkspaceFiles::SourcesFolder(const std::string& relative,
                                                         std::string& why) const {
  auto target = root_.ResolveFolderToWrite(relative, why);
  if (!target) return std::nullopt;
  return target->path;
}

std::optional<std::string> WorkspaceFiles::CopyToWrite(const std::string& relative,
                                                       std::string& why) const {
  auto target = root_.ResolveFileToWrite(relative, why, true);
  if (!target) return std::nullopt;
  return target->path;
}

std::string WorkspaceFiles::RecordedCopy(const std::string& relative) const {
  std::string full = RecordedCopyPath(root_.root(), relative);
  auto literal = root_.RelativeOf(full);
  std::string why = "it leads outside the workspace";
  // The literal form keeps a "\" in the name; a path read with "\" as separators has none left.
  const bool literal_name = literal && literal->find('\\') != std::string::npos;
  std::optional<platform::ConfinedTarget> target;
  if (literal) target = root_.ResolveFileToWrite(*literal, why, literal_name);
  if (!target) {
    throw Error(error_number::kPathFileAccessError, "SVRegistration",
                "the registered copy '" + relative + "' is not written: " + why);
  }
  return target->path;
}

}  // namespace svregistration::registration
