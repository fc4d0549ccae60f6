// The state of registered copies and the untracked files of the Sources folders.
#include "svregistration/workspace/copy_status.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/core.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <unordered_set>

#include "svregistration/error.h"
#include "svregistration/workspace/copy_recipe.h"
#include "svregistration/workspace/pending_work.h"
#include "svregistration/workspace/workspace_host.h"
#include "workspace/beneath.h"
#include "workspace/copy_comparison.h"
#include "workspace/error_source.h"
#include "workspace/file_threads.h"
#include "workspace/recorded_paths.h"
#include "workspace/repository/schema.h"
#include "workspace/status_ahead.h"

namespace svregistration::workspace {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSource = kWorkspaceErrorSource;

// Why a copy that differs from its original's form does: the settings, when the copy would now
// be made differently, or the original.
void Explain(const std::shared_ptr<WorkspaceHost>& workspace, host::RepositoryObject* object,
             const CopyRecipe* now, CopyStatus& status) {
  status.state = CopyState::kModified;
  auto recorded = object != nullptr
                      ? RecordedRecipe(*object)
                      : RecordedRecipe(*workspace->workspace_repository()->ObjectById(status.id));
  if (!recorded) return;
  // A verbatim copy is made the same way now when the options leave this original as it is;
  // otherwise the copy differs for the settings, or for them and the original alike.
  if (!recorded->normalised &&
      FormOf(workspace, status.type, status.original) == ReadOriginal(status.original)) {
    return;
  }
  std::vector<std::string> changes =
      RecipeChanges(*recorded, now ? *now : CopyRecipe::Current(*workspace, status.type, true));
  for (const std::string& change : changes) {
    status.state = CopyState::kSettingsChanged;
    status.detail += (status.detail.empty() ? "" : ", ") + change;
  }
}

// The objects the ids name, a folder by its members.
std::vector<std::shared_ptr<host::RepositoryObject>> Named(WorkspaceHost& workspace,
                                                           const std::vector<std::string>& ids) {
  std::vector<std::shared_ptr<host::RepositoryObject>> objects;
  for (const std::string& id : ids) {
    auto object = workspace.KnownObject(id);
    if (object->ObjectType()->TypeCode() != kFolderTypeCode) {
      objects.push_back(object);
      continue;
    }
    auto members = object->Members();
    for (; members && !members->Eof(); members->MoveNext()) objects.push_back(members->Item());
  }
  return objects;
}

// A Sources folder relative to the root that may be listed: inside the workspace, not the root
// itself, and none of the workspace's own folders (options, code pages, journals).
bool ListableFolder(WorkspaceHost& workspace, const std::string& relative) {
  std::error_code ec;
  fs::path root = fs::canonical(workspace.root(), ec);
  fs::path folder = fs::canonical(fs::path(workspace.root()) / relative, ec);
  if (ec || folder == root) return false;
  std::string inside = folder.lexically_relative(root).string();
  if (inside.empty() || inside.rfind("..", 0) == 0) return false;
  for (const char* own : {"options", "codepages", ".svreg"}) {
    if (inside == own || inside.rfind(std::string(own) + "/", 0) == 0) return false;
  }
  return true;
}

std::vector<std::string> SourcesFolders(WorkspaceHost& workspace) {
  std::set<std::string> folders;
  for (const auto& type : workspace.workspace_repository()->ObjectTypes()) {
    if (type.source_attribute.empty()) continue;
    std::string folder = workspace.SourcesDirectoryOf(type.code);
    if (ListableFolder(workspace, folder)) folders.insert(folder);
  }
  return {folders.begin(), folders.end()};
}

// The names of the files (and links) directly in a folder opened by its descriptor.
std::vector<std::string> FilesIn(int folder_fd) {
  std::vector<std::string> names;
  int fd = ::dup(folder_fd);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (dir == nullptr) {
    if (fd >= 0) ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    // The listing tells what most entries are; only a file system that does not is asked.
    bool file = entry->d_type == DT_REG || entry->d_type == DT_LNK;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      if (::fstatat(folder_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      file = S_ISREG(info.st_mode) || S_ISLNK(info.st_mode);
    }
    if (file) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// Calls `each` with the descriptor of every Sources folder and its path relative to the root.
template <class Each>
void ForEachSourcesFolder(WorkspaceHost& workspace, Each&& each) {
  for (const std::string& folder : SourcesFolders(workspace)) {
    int fd =
        ::open((fs::path(workspace.root()) / folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    each(fd, folder);
    ::close(fd);
  }
}

// The path lexically normal; most recorded paths are already, and are handed back as they are.
std::string NormalPath(std::string slashed) {
  return PlainRelative(slashed) ? slashed : fs::path(slashed).lexically_normal().string();
}

using RecordedSet = std::unordered_set<std::string>;

RecordedSet Recorded(const std::vector<std::string>& sources) {
  RecordedSet recorded;
  recorded.reserve(sources.size());
  for (const std::string& source : sources) recorded.insert(NormalPath(RecordedRelative(source)));
  return recorded;
}

RecordedSet Recorded(WorkspaceHost& workspace) {
  return Recorded(workspace.workspace_repository()->RecordedSources());
}

// The files in the Sources folders that are not recorded.
std::vector<std::string> UntrackedIn(WorkspaceHost& workspace, const RecordedSet& recorded) {
  std::vector<std::string> untracked;
  ForEachSourcesFolder(workspace, [&](int fd, const std::string& folder) {
    const std::string prefix = NormalPath(folder) + "/";
    for (const std::string& name : FilesIn(fd)) {
      std::string relative = NormalPath(prefix + name);
      if (recorded.count(relative) == 0) untracked.push_back(std::move(relative));
    }
  });
  return untracked;
}

}  // namespace

const char* CopyStateName(CopyState state) noexcept {
  switch (state) {
    case CopyState::kUpToDate:
      return "up_to_date";
    case CopyState::kModified:
      return "modified";
    case CopyState::kOriginalMissing:
      return "original_missing";
    case CopyState::kOriginalUnknown:
      return "original_unknown";
    case CopyState::kCopyMissing:
      return "copy_missing";
    case CopyState::kSettingsChanged:
      return "settings_changed";
    case CopyState::kUnreadable:
      return "unreadable";
    case CopyState::kUntracked:
      break;
  }
  return "untracked";
}

namespace {

// What names an object's copy: its id, name, type, source and original (`original`, when given).
CopyStatus Named(host::RepositoryObject& object, const std::string& original) {
  CopyStatus status;
  status.id = object.Id();
  status.name = object.Name();
  auto type = object.ObjectType();
  status.type = type->TypeCode();
  status.source = RecordedRelative(object.GetAttribute(type->SourceAttribute()));
  status.original =
      original.empty() ? object.GetAttribute(std::string(kOriginalSourceAttribute)) : original;
  return status;
}

// The state of the copy `status` names; `object`, when the caller holds it, is the object
// itself, otherwise looked up when needed.
CopyStatus StatusIn(const std::shared_ptr<WorkspaceHost>& workspace, BeneathFiles& files,
                    CopyStatus status, host::RepositoryObject* object, const CopyRecipe* now) {
  status = CompareCopy(workspace, files, std::move(status));
  if (status.state == CopyState::kModified) Explain(workspace, object, now, status);
  return status;
}

// The state of every listed object with a copy, then the untracked files. The copies are
// compared on a few threads while the calling thread lists the Sources folders; a copy that
// differs is explained afterwards, where the repository may be read.
std::vector<CopyStatus> ListedStatus(const std::shared_ptr<WorkspaceHost>& workspace) {
  std::map<std::string, CopyRecipe> recipes;  // by type: the options are read once
  const std::vector<ObjectInfo> objects = workspace->workspace_repository()->ListObjects();
  std::vector<std::string> sources;  // what the copies are recorded as, for the untracked files
  sources.reserve(objects.size());
  std::vector<CopyStatus> statuses;
  std::vector<const CopyRecipe*> nows;
  for (const ObjectInfo& info : objects) {
    sources.push_back(info.source);
    if (info.source.empty()) continue;
    auto recipe = recipes.find(info.type);
    if (recipe == recipes.end()) {
      recipe = recipes.emplace(info.type, CopyRecipe::Current(*workspace, info.type, true)).first;
    }
    // What the listing holds names the copy; the object is looked up only to explain one
    // that differs.
    CopyStatus& status = statuses.emplace_back();
    status.id = info.id;
    status.name = info.name;
    status.type = info.type;
    status.source = RecordedRelative(info.source);
    status.original = info.original;
    nows.push_back(&recipe->second);
  }

  const std::size_t count = statuses.size();
  StatusAhead ahead(workspace, std::move(statuses), HelperThreadsForFiles(), count);
  const std::vector<std::string> untracked = UntrackedIn(*workspace, Recorded(sources));
  statuses.clear();
  statuses.reserve(count + untracked.size());
  for (std::size_t i = 0; i < count; ++i) {
    CopyStatus& status = statuses.emplace_back(std::move(ahead.At(i)));
    if (status.state == CopyState::kModified) Explain(workspace, nullptr, nows[i], status);
  }
  for (const std::string& file : untracked) {
    CopyStatus& status = statuses.emplace_back();
    status.source = file;
    status.state = CopyState::kUntracked;
  }
  return statuses;
}

}  // namespace

CopyStatus StatusOf(const std::shared_ptr<WorkspaceHost>& workspace, host::RepositoryObject& object,
                    const std::string& original, const CopyRecipe* now) {
  BeneathFiles files(workspace->root());
  return StatusIn(workspace, files, Named(object, original), &object, now);
}

std::vector<CopyStatus> WorkspaceStatus(const std::shared_ptr<WorkspaceHost>& workspace,
                                        const std::vector<std::string>& ids) {
  std::vector<CopyStatus> statuses;
  if (!ids.empty()) {
    BeneathFiles files(workspace->root());
    for (const auto& object : Named(*workspace, ids)) {
      if (!object->ObjectType()->SourceAttribute().empty()) {
        statuses.push_back(StatusIn(workspace, files, Named(*object, ""), object.get(), nullptr));
      }
    }
    return statuses;
  }
  return ListedStatus(workspace);
}

std::vector<std::string> UntrackedFiles(WorkspaceHost& workspace) {
  return UntrackedIn(workspace, Recorded(workspace));
}

std::vector<std::string> RemoveUntrackedFiles(const std::shared_ptr<WorkspaceHost>& workspace) {
  RecoverInterruptedWork(workspace);
  // A live run's copies are not recorded until it commits: they are not the clean's to take.
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(workspace->root()) / PendingWork::kFolder, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".journal") {
      throw Error(error_number::kPathFileAccessError, kSource,
                  fmt::format("another run is working in the workspace '{}' (its journal {}): "
                              "nothing was deleted",
                              workspace->root(), it->path().filename().string()));
    }
  }
  const RecordedSet recorded = Recorded(*workspace);
  std::vector<std::string> removed;
  ForEachSourcesFolder(*workspace, [&](int fd, const std::string& folder) {
    for (const std::string& name : FilesIn(fd)) {
      std::string relative = (fs::path(folder) / name).lexically_normal().string();
      if (recorded.count(relative) != 0) continue;
      if (::unlinkat(fd, name.c_str(), 0) != 0) {
        throw Error(error_number::kPathFileAccessError, kSource,
                    fmt::format("cannot delete '{}': {}", relative, std::strerror(errno)));
      }
      removed.push_back(relative);
    }
  });
  return removed;
}

CopyAndForm ReadCopyAndForm(const std::shared_ptr<WorkspaceHost>& workspace,
                            const std::string& id) {
  auto object = workspace->KnownObject(id);
  auto type = object->ObjectType();
  std::string source = RecordedRelative(object->GetAttribute(type->SourceAttribute()));
  std::string original = object->GetAttribute(std::string(kOriginalSourceAttribute));
  std::optional<std::string> copy =
      source.empty() ? std::nullopt : ReadBeneath(workspace->root(), source);
  if (!copy) {
    throw Error(error_number::kFileNotFound, kSource,
                fmt::format("the object '{}' has no registered copy{}", id,
                            source.empty() ? "" : " ('" + source + "' is missing)"));
  }
  std::error_code ec;
  if (original.empty() || !fs::exists(original, ec)) {
    throw Error(error_number::kFileNotFound, kSource,
                original.empty()
                    ? fmt::format("the object '{}' records no original", id)
                    : fmt::format("the original '{}' of '{}' does not exist", original, id));
  }
  return {*copy, FormOf(workspace, type->TypeCode(), original)};
}

}  // namespace svregistration::workspace
