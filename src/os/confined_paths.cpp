// Resolution beneath a root descriptor: openat2 with RESOLVE_BENEATH where the kernel has it, else
// a walk one component at a time that refuses every link on the way.
#include "os/confined_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

#include "os/fault_injection.h"
#include "os/file_system.h"
#include "svregistration/error.h"

namespace svregistration::os {

namespace {

constexpr const char* kLeadsOut = "it leads outside the workspace";

std::vector<std::string_view> SplitComponents(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/' || path[i] == '\\') {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// -1 with errno set; ENOSYS (or EPERM under a filter that forbids the call) when the kernel
// cannot resolve beneath a descriptor.
int OpenBeneathKernel(int root_fd, const std::string& relative) {
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  return static_cast<int>(::syscall(SYS_openat2, root_fd, relative.c_str(), &how, sizeof how));
}

// The walk for kernels without openat2: every component is opened without following a link, so
// a link anywhere on the way is refused (ELOOP or ENOTDIR).
int OpenBeneathWalk(int root_fd, const std::string& relative) {
  UniqueFd current(::fcntl(root_fd, F_DUPFD_CLOEXEC, 0));
  for (std::string_view part : SplitComponents(relative)) {
    std::string name(part);
    int next = ::openat(current.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      if (errno == ENOTDIR) {
        struct stat info {};
        if (::fstatat(current.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(info.st_mode)) {
          errno = EXDEV;
        }
      }
      return -1;
    }
    current.reset(next);
  }
  return current.release();
}

int OpenBeneath(int root_fd, const std::string& relative) {
  // Learnt once by whichever thread asks first; every thread may ask.
  static std::atomic<bool> kernel_can{true};
  if (kernel_can.load(std::memory_order_relaxed)) {
    int fd = OpenBeneathKernel(root_fd, relative);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != E2BIG)) return fd;
    kernel_can.store(false, std::memory_order_relaxed);
  }
  return OpenBeneathWalk(root_fd, relative);
}

bool StatTarget(const ConfinedTarget& target, struct stat& info) {
  return target.parent &&
         ::fstatat(target.parent.get(), target.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// An open folder listing; it closes its descriptor with it.
using Listing = std::unique_ptr<DIR, int (*)(DIR*)>;

// The listing of the folder `fd`, which it takes (and closes when it cannot be listed).
Listing OpenListing(UniqueFd fd) {
  Listing dir(::fdopendir(fd.get()), ::closedir);
  if (dir) fd.release();
  return dir;
}

// Deletes everything in the open folder `fd`, then nothing else; false with errno on failure.
bool EmptyFolder(int fd) {
  Listing dir = OpenListing(UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0)));
  if (!dir) return false;
  bool ok = true;
  while (dirent* entry = ::readdir(dir.get())) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(info.st_mode)) {
      if (::unlinkat(fd, entry->d_name, 0) != 0 && errno != ENOENT) ok = false;
      continue;
    }
    // A folder without read, write or search permission is made usable first: removal is forced.
    if ((info.st_mode & 0700) != 0700) ::fchmodat(fd, entry->d_name, info.st_mode | 0700, 0);
    UniqueFd child(::openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!child || !EmptyFolder(child.get()) || ::unlinkat(fd, entry->d_name, AT_REMOVEDIR) != 0) {
      ok = false;
    }
  }
  int err = errno;
  dir.reset();
  errno = err;
  return ok;
}

}  // namespace

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  // The usual backtracking match: the last "*" seen takes one more character when the rest fails.
  std::size_t n = 0, p = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
      // "?" takes a whole UTF-8 character: its lead byte and the continuation bytes after it.
      const bool any = pattern[p] == '?';
      ++p;
      ++n;
      while (any && n < name.size() && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string_view WithoutLeadingSeparators(std::string_view path) {
  std::size_t start = path.find_first_not_of("/\\");
  return start == std::string_view::npos ? std::string_view() : path.substr(start);
}

std::optional<std::string> NormaliseRelative(std::string_view relative, bool literal_name) {
  if (!relative.empty() && (relative.front() == '/' || relative.front() == '\\'))
    return std::nullopt;
  if (literal_name) {
    std::size_t slash = relative.find_last_of('/');
    std::string_view name = relative.substr(slash == std::string_view::npos ? 0 : slash + 1);
    if (name.empty() || name == "." || name == "..") return NormaliseRelative(relative);
    if (slash == std::string_view::npos) return std::string(name);
    std::optional<std::string> folder = NormaliseRelative(relative.substr(0, slash));
    if (!folder) return std::nullopt;
    return folder->empty() ? std::string(name) : *folder + "/" + std::string(name);
  }
  std::vector<std::string_view> kept;
  for (std::string_view part : SplitComponents(relative)) {
    if (part == ".") continue;
    if (part == "..") {
      if (kept.empty()) return std::nullopt;
      kept.pop_back();
      continue;
    }
    kept.push_back(part);
  }
  std::string joined;
  for (std::string_view part : kept) {
    if (!joined.empty()) joined.push_back('/');
    joined.append(part);
  }
  return joined;
}

ProtectedPaths::ProtectedPaths(const std::vector<std::string>& paths) : given_(paths) {
  for (const std::string& path : paths) {
    auto normal = NormaliseRelative(path);
    if (!normal || normal->empty()) continue;
    const bool tree = path.back() == '/' || path.back() == '\\';
    (tree ? trees_ : paths_).push_back(*normal);
  }
  // A protected tree's folder is protected itself too.
  paths_.insert(paths_.end(), trees_.begin(), trees_.end());
}

namespace {

// True when `ancestor` is a folder above `path`.
bool IsBelow(const std::string& path, const std::string& ancestor) {
  return path.size() > ancestor.size() && path.compare(0, ancestor.size(), ancestor) == 0 &&
         path[ancestor.size()] == '/';
}

}  // namespace

bool ProtectedPaths::Protects(const std::string& relative) const {
  for (const std::string& kept : paths_) {
    if (kept == relative || IsBelow(kept, relative)) return true;
  }
  return InTree(relative);
}

bool ProtectedPaths::InTree(const std::string& relative) const {
  for (const std::string& tree : trees_) {
    if (tree == relative || IsBelow(relative, tree)) return true;
  }
  return false;
}

bool ProtectedPaths::Lists(const std::string& relative) const {
  return std::find(paths_.begin(), paths_.end(), relative) != paths_.end();
}

ConfinedRoot::ConfinedRoot(std::string root, const std::vector<std::string>& protected_paths)
    : ConfinedRoot(std::move(root), std::make_shared<const ProtectedPaths>(protected_paths)) {}

ConfinedRoot::ConfinedRoot(std::string root, std::shared_ptr<const ProtectedPaths> protected_paths)
    : root_(std::move(root)), protected_(std::move(protected_paths)) {
  while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
  root_fd_.reset(::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!root_fd_) throw ErrnoError(errno, "open the workspace folder", root_);
}

std::optional<std::string> ConfinedRoot::RelativeOf(std::string_view full_path) const {
  if (full_path.size() <= root_.size() || full_path.compare(0, root_.size(), root_) != 0 ||
      full_path[root_.size()] != '/') {
    return std::nullopt;
  }
  return std::string(full_path.substr(root_.size() + 1));
}

std::optional<ConfinedTarget> ConfinedRoot::Resolve(std::string_view relative, std::string& why,
                                                    bool literal_name) const {
  std::optional<std::string> normal = NormaliseRelative(relative, literal_name);
  if (!normal) {
    why = kLeadsOut;
    return std::nullopt;
  }
  if (normal->empty()) {
    why = "it is the workspace folder itself";
    return std::nullopt;
  }
  if (IsProtected(*normal)) {
    why = "it is one of the workspace's own files or folders";
    return std::nullopt;
  }
  ConfinedTarget target;
  target.relative = *normal;
  target.path = root_ + "/" + *normal;
  std::size_t slash = normal->find_last_of('/');
  target.name = slash == std::string::npos ? *normal : normal->substr(slash + 1);
  std::string parent = slash == std::string::npos ? "." : normal->substr(0, slash);
  int fd = OpenBeneath(root_fd_.get(), parent);
  if (fd < 0) {
    if (errno == EXDEV || errno == ELOOP) {
      why = "it passes through a link that leads outside the workspace";
      return std::nullopt;
    }
    // A missing folder on the way: the target does not exist, nothing to delete.
  }
  target.parent.reset(fd);
  return target;
}

std::optional<ConfinedTarget> ConfinedRoot::ResolveFileToWrite(std::string_view relative,
                                                               std::string& why,
                                                               bool literal_name) const {
  std::optional<ConfinedTarget> target = Resolve(relative, why, literal_name);
  struct stat info {};
  if (target && StatTarget(*target, info) && !S_ISREG(info.st_mode)) {
    why = S_ISLNK(info.st_mode) ? "a link stands at its name"
                                : "something other than a file "
                                  "stands at its name";
    return std::nullopt;
  }
  return target;
}

std::optional<ConfinedTarget> ConfinedRoot::ResolveFileToWriteIn(const ConfinedTarget& folder,
                                                                 std::string_view relative,
                                                                 std::string& why,
                                                                 bool literal_name) const {
  std::optional<std::string> normal = NormaliseRelative(relative, literal_name);
  const std::size_t slash = normal ? normal->find_last_of('/') : std::string::npos;
  const std::string_view parent = !normal || slash == std::string::npos
                                      ? std::string_view()
                                      : std::string_view(*normal).substr(0, slash);
  if (!normal || normal->empty() || !folder.self || parent != folder.relative ||
      (slash == std::string::npos && !folder.relative.empty())) {
    return ResolveFileToWrite(relative, why, literal_name);
  }
  if (IsProtected(*normal)) {
    why = "it is one of the workspace's own files or folders";
    return std::nullopt;
  }
  ConfinedTarget target;
  target.relative = *normal;
  target.path = root_ + "/" + *normal;
  target.name = slash == std::string::npos ? *normal : normal->substr(slash + 1);
  struct stat info {};
  if (::fstatat(folder.self.get(), target.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      !S_ISREG(info.st_mode)) {
    why = S_ISLNK(info.st_mode) ? "a link stands at its name"
                                : "something other than a file stands at its name";
    return std::nullopt;
  }
  return target;
}

std::optional<ConfinedTarget> ConfinedRoot::ResolveFolderToWrite(std::string_view relative,
                                                                 std::string& why) const {
  std::optional<std::string> normal = NormaliseRelative(relative);
  if (!normal) {
    why = kLeadsOut;
    return std::nullopt;
  }
  if (InProtectedTree(*normal)) {
    why = "it lies among the workspace's own files";
    return std::nullopt;
  }
  ConfinedTarget target;
  target.relative = *normal;
  target.path = normal->empty() ? root_ : root_ + "/" + *normal;
  std::size_t slash = normal->find_last_of('/');
  target.name = slash == std::string::npos ? *normal : normal->substr(slash + 1);
  // The folder itself is opened beneath the root too: a link in its place may not lead out.
  UniqueFd folder(OpenBeneath(root_fd_.get(), normal->empty() ? "." : *normal));
  if (!folder && (errno == EXDEV || errno == ELOOP)) {
    why = "it passes through a link that leads outside the workspace";
    return std::nullopt;
  }
  if (folder) {
    target.self = std::move(folder);
    return target;
  }
  if (!normal->empty()) {
    std::string parent = slash == std::string::npos ? "." : normal->substr(0, slash);
    target.parent.reset(OpenBeneath(root_fd_.get(), parent));
  }
  // A protected file where the folder belongs (the repository, say) would be deleted to make
  // the folder: never.
  if (protected_->Lists(*normal) && IsFile(target)) {
    why = "one of the workspace's own files stands at its name";
    return std::nullopt;
  }
  return target;
}

bool ConfinedRoot::NothingButAFileAt(const ConfinedTarget& folder, const std::string& name,
                                     std::string& why, bool* nothing) {
  struct stat info {};
  const bool absent =
      !folder.self || ::fstatat(folder.self.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0;
  if (nothing != nullptr) *nothing = absent;
  if (absent || S_ISREG(info.st_mode)) return true;
  why = S_ISLNK(info.st_mode) ? "a link stands at its name"
                              : "something other than a file stands at its name";
  return false;
}

bool ConfinedRoot::IsFile(const ConfinedTarget& target) {
  struct stat info {};
  return StatTarget(target, info) && !S_ISDIR(info.st_mode);
}

bool ConfinedRoot::IsFolder(const ConfinedTarget& target) {
  struct stat info {};
  return StatTarget(target, info) && S_ISDIR(info.st_mode);
}

long ConfinedRoot::CountFiles(const ConfinedTarget& target) {
  if (NextFileSystemFault() != 0 || !target.parent) return -1;
  UniqueFd fd(::openat(target.parent.get(), target.name.c_str(),
                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) return -1;
  Listing dir = OpenListing(std::move(fd));
  if (!dir) return -1;
  long count = 0;
  while (dirent* entry = ::readdir(dir.get())) {
    struct stat info {};
    if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(info.st_mode)) {
      ++count;
    }
  }
  return count;
}

ConfinedOutcome ConfinedRoot::DeleteFile(const ConfinedTarget& target, std::string& why) {
  if (int err = NextFileSystemFault()) {
    why = ErrnoText(err, "delete file", target.path);
    return ConfinedOutcome::kFailed;
  }
  struct stat info {};
  if (!StatTarget(target, info)) return ConfinedOutcome::kMissing;
  if (S_ISDIR(info.st_mode)) {
    why = "'" + target.path + "' is a folder, not a file";
    return ConfinedOutcome::kRefused;
  }
  if (::unlinkat(target.parent.get(), target.name.c_str(), 0) != 0) {
    if (errno == ENOENT) return ConfinedOutcome::kMissing;
    why = ErrnoText(errno, "delete file", target.path);
    return ConfinedOutcome::kFailed;
  }
  return ConfinedOutcome::kDeleted;
}

ConfinedOutcome ConfinedRoot::DeleteMatching(const ConfinedTarget& target, std::string& why) {
  if (!target.parent) return ConfinedOutcome::kMissing;
  Listing dir =
      OpenListing(UniqueFd(::openat(target.parent.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
  if (!dir) {
    why = ErrnoText(errno, "list the folder of", target.path);
    return ConfinedOutcome::kFailed;
  }
  std::vector<std::string> matching;
  while (dirent* entry = ::readdir(dir.get())) {
    struct stat info {};
    if (MatchesWildcard(entry->d_name, target.name) &&
        ::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(info.st_mode)) {
      matching.emplace_back(entry->d_name);
    }
  }
  ConfinedOutcome outcome = ConfinedOutcome::kMissing;
  for (const std::string& name : matching) {
    ConfinedTarget one{UniqueFd(::fcntl(target.parent.get(), F_DUPFD_CLOEXEC, 0)), name, "",
                       ParentFolderName(target.path) + "/" + name, UniqueFd()};
    std::string failed;
    ConfinedOutcome deleted = DeleteFile(one, failed);
    if (deleted == ConfinedOutcome::kFailed) {
      why = failed;
      outcome = deleted;
    } else if (deleted == ConfinedOutcome::kDeleted && outcome == ConfinedOutcome::kMissing) {
      outcome = deleted;
    }
  }
  return outcome;
}

ConfinedOutcome ConfinedRoot::DeleteFolder(const ConfinedTarget& target, std::string& why) {
  if (int err = NextFileSystemFault()) {
    why = ErrnoText(err, "delete folder", target.path);
    return ConfinedOutcome::kFailed;
  }
  struct stat info {};
  if (!StatTarget(target, info)) return ConfinedOutcome::kMissing;
  const char* name = target.name.c_str();
  int parent = target.parent.get();
  if (!S_ISDIR(info.st_mode)) {
    if (!S_ISLNK(info.st_mode)) {
      why = "'" + target.path + "' is a file, not a folder";
      return ConfinedOutcome::kRefused;
    }
    if (::unlinkat(parent, name, 0) == 0) return ConfinedOutcome::kDeleted;
    why = ErrnoText(errno, "delete the link", target.path);
    return ConfinedOutcome::kFailed;
  }
  if ((info.st_mode & 0700) != 0700) ::fchmodat(parent, name, info.st_mode | 0700, 0);
  UniqueFd fd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd || !EmptyFolder(fd.get()) || ::unlinkat(parent, name, AT_REMOVEDIR) != 0) {
    why = ErrnoText(errno, "delete folder", target.path);
    return ConfinedOutcome::kFailed;
  }
  return ConfinedOutcome::kDeleted;
}

}  // namespace svregistration::os
