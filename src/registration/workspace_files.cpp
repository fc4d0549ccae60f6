// Confinement of the paths registration and refresh write to.
#include "registration/workspace_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "os/file_system.h"
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
  if (slash == std::string::npos) return os::JoinRecordedPath(root, relative);
  return os::JoinHostPath(root, relative.substr(0, slash)) + "/" + relative.substr(slash + 1);
}

namespace {

// The host's protected paths normalised, for the root bound now.
void UpdateProtected(State& state) {
  if (!state.protected_paths || state.protected_root != state.WorkspaceDirectory ||
      !state.protected_revision.Same(state.Workspace)) {
    std::vector<std::string> paths = ProtectedPathsOf(state);
    state.protected_revision.Take(state.Workspace);
    state.protected_root = state.WorkspaceDirectory;
    if (!state.protected_paths || state.protected_paths->given() != paths) {
      state.protected_paths = std::make_shared<const os::ProtectedPaths>(paths);
    }
  }
}

// The workspace folder beneath which everything is resolved, the protected paths as they are;
// made when it is missing, since registration makes its Sources folder, and the folders above
// it, before anything else.
os::ConfinedRoot OpenConfined(State& state) {
  try {
    return os::ConfinedRoot(state.WorkspaceDirectory, state.protected_paths);
  } catch (const Error&) {
    std::error_code ignored;  // a folder that cannot be made is reported when it is opened
    std::filesystem::create_directories(state.WorkspaceDirectory, ignored);
  }
  return os::ConfinedRoot(state.WorkspaceDirectory, state.protected_paths);
}

// Where the open folder is; nullopt when that cannot be told.
template <class Identity>
std::optional<Identity> IdentityOf(int fd) {
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) return std::nullopt;
  return Identity{info.st_dev, info.st_ino};
}

template <class Identity>
bool LeadsTo(const std::string& path, const Identity& identity) {
  struct stat info {};
  return ::fstatat(AT_FDCWD, path.c_str(), &info, 0) == 0 && info.st_dev == identity.device &&
         info.st_ino == identity.inode;
}

}  // namespace

WorkspaceFiles::WorkspaceFiles(State& state)
    : root_((UpdateProtected(state), OpenConfined(state))) {}

WorkspaceFiles::WorkspaceFiles(os::ConfinedRoot root) : root_(std::move(root)) {}

WorkspaceFiles& WorkspaceFiles::Kept(State& state, const std::string& relative,
                                     std::optional<std::string>& folder, std::string& why) {
  UpdateProtected(state);
  if (state.kept_files && state.kept_files->StillFor(state, relative)) {
    folder = state.kept_files->folder_->path;
    return *state.kept_files;
  }
  state.kept_files.reset();  // closed before they are opened again
  std::shared_ptr<WorkspaceFiles> files(new WorkspaceFiles(OpenConfined(state)));
  folder = files->SourcesFolder(relative, why);
  if (folder && files->folder_->self) {
    auto root = IdentityOf<Identity>(files->root_.descriptor());
    auto sources = IdentityOf<Identity>(files->folder_->self.get());
    if (root && sources) {
      files->kept_root_ = *root;
      files->kept_folder_ = *sources;
      files->kept_for_ = state.WorkspaceDirectory;
      files->kept_relative_ = relative;
      files->kept_protected_ = state.protected_paths;
    }
  }
  state.kept_files = files;
  return *files;
}

bool WorkspaceFiles::StillFor(const State& state, const std::string& relative) const {
  return kept_root_ && kept_for_ == state.WorkspaceDirectory && kept_relative_ == relative &&
         kept_protected_ == state.protected_paths && LeadsTo(folder_->path, kept_folder_);
}

bool WorkspaceFiles::ReopenedKeptRoot() const {
  if (!kept_root_ || LeadsTo(root_.root(), *kept_root_)) return false;
  root_ = os::ConfinedRoot(kept_for_, kept_protected_);
  kept_root_ = IdentityOf<Identity>(root_.descriptor());
  return true;
}

std::optional<std::string> WorkspaceFiles::SourcesFolder(const std::string& relative,
                                                         std::string& why) {
  folder_.reset();
  std::optional<os::ConfinedTarget> folder = root_.ResolveFolderToWrite(relative, why);
  if (!folder) return std::nullopt;
  folder_ = std::make_shared<const os::ConfinedTarget>(std::move(*folder));
  return folder_->path;
}

bool WorkspaceFiles::CopyIn(const os::ConfinedTarget& folder, const std::string& name,
                            std::string& why, bool& nothing) const {
  const std::string relative = folder.relative.empty() ? name : folder.relative + "/" + name;
  if (name.empty() || name == "." || name == ".." || root_.Protects(relative)) {
    why = "it is one of the workspace's own files";
    // What stands there is not looked at: the name is refused whatever it holds.
    nothing = false;
    return false;
  }
  return os::ConfinedRoot::NothingButAFileAt(folder, name, why, &nothing);
}

os::ConfinedTarget WorkspaceFiles::RecordedCopyTarget(const std::string& relative) const {
  std::string full = RecordedCopyPath(root_.root(), relative);
  auto literal = root_.RelativeOf(full);
  std::string why = "it leads outside the workspace";
  // The literal form keeps a "\" in the name; a path read with "\" as separators has none left.
  const bool literal_name = literal && literal->find('\\') != std::string::npos;
  std::optional<os::ConfinedTarget> target;
  if (literal) {
    target = folder_ ? root_.ResolveFileToWriteIn(*folder_, *literal, why, literal_name)
                     : root_.ResolveFileToWrite(*literal, why, literal_name);
    // Resolved beneath the workspace folder (not in the Sources folder): a kept one must be
    // where it was.
    if (target && target->parent && ReopenedKeptRoot()) {
      target = root_.ResolveFileToWrite(*literal, why, literal_name);
    }
  }
  if (!target) {
    throw Error(error_number::kPathFileAccessError, "SVRegistration",
                "the registered copy '" + relative + "' is not written: " + why);
  }
  return std::move(*target);
}

}  // namespace svregistration::registration
