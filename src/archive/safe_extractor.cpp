// The writer both archive classes extract through. Names and links are checked first; then every
// folder below the output folder is reached from its parent's descriptor with O_NOFOLLOW, and
// members are created relative to their folder's descriptor, so no link can redirect a write.
#include "archive/safe_extractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <tuple>
#include <utility>

#include "archive/archive_handle.h"
#include "os/fault_injection.h"
#include "os/file_system.h"

namespace svregistration::archive {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

/// How many links one resolution follows before it counts as a loop (the kernel's limit).
constexpr int kMaxLinkHops = 40;
/// How many random temporary names are tried before giving up on a folder.
constexpr int kMaxNameAttempts = 100;

/// A reader that hands over no data this many times in a row is taken as stuck. Decoders may
/// return empty blocks now and then while they work; this many in a row is far beyond that.
constexpr int kMaxIdleReads = 1 << 16;

/// The member name as a path relative to the output folder: repeated separators and "."
/// components dropped. Empty when the name is absolute, has a ".." component or names the output
/// folder itself.
std::string RelativeInside(std::string_view name) {
  if (name.empty() || name.front() == '/') return {};
  std::string relative;
  relative.reserve(name.size());
  std::size_t pos = 0;
  while (pos <= name.size()) {
    const std::size_t end = std::min(name.find('/', pos), name.size());
    const std::string_view part = name.substr(pos, end - pos);
    if (part == "..") return {};
    if (!part.empty() && part != ".") {
      if (!relative.empty()) relative.push_back('/');
      relative.append(part);
    }
    pos = end + 1;
  }
  return relative;
}

/// The folder part of a relative path ("" at the top) and its last component.
std::pair<std::string, std::string> SplitLast(const std::string& relative) {
  const std::size_t slash = relative.rfind('/');
  if (slash == std::string::npos) return {std::string(), relative};
  return {relative.substr(0, slash), relative.substr(slash + 1)};
}

/// Appends the components of `path` to `parts`.
template <typename Parts>
void AppendComponents(std::string_view path, Parts& parts) {
  std::size_t pos = 0;
  while (pos <= path.size()) {
    const std::size_t end = std::min(path.find('/', pos), path.size());
    if (end > pos) parts.emplace_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
}

std::string JoinComponents(const std::vector<std::string>& parts) {
  std::string joined;
  for (const std::string& part : parts) {
    if (!joined.empty()) joined.push_back('/');
    joined.append(part);
  }
  return joined;
}

/// The target of the symbolic link `name` in `folder`; false when it is not a link.
bool ReadLink(int folder, const char* name, std::string& target) {
  char buffer[4096];
  const ssize_t size = ::readlinkat(folder, name, buffer, sizeof buffer);
  if (size < 0 || static_cast<std::size_t>(size) >= sizeof buffer) return false;
  target.assign(buffer, static_cast<std::size_t>(size));
  return true;
}

/// A name for a file being written that no member can have asked for by accident and that a
/// person recognises as ours: ".svreg-extract-" and 16 random hex digits.
std::string TemporaryName() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char name[40];
  std::snprintf(name, sizeof name, ".svreg-extract-%016llx",
                static_cast<unsigned long long>(random()));
  return name;
}

/// Makes something under a fresh temporary name with `make` (0 on success, else errno set) and
/// returns that name; empty when it cannot be made.
template <typename Make>
std::string MakeUnderTemporaryName(Make make) {
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    std::string name = TemporaryName();
    if (make(name.c_str()) == 0) return name;
    if (errno != EEXIST) break;
  }
  return {};
}

/// The times of the entry as {access, modification}; the access time is the modification time
/// unless the archive stores one (some readers report an access time of 0 for "none"). False
/// when the archive stores no modification time.
bool EntryTimes(archive_entry* entry, timespec (&times)[2]) {
  if (archive_entry_mtime_is_set(entry) == 0) return false;
  times[1].tv_sec = archive_entry_mtime(entry);
  times[1].tv_nsec = archive_entry_mtime_nsec(entry);
  times[0] = times[1];
  if (archive_entry_atime_is_set(entry) != 0 && archive_entry_atime(entry) > 0) {
    times[0].tv_sec = archive_entry_atime(entry);
    times[0].tv_nsec = archive_entry_atime_nsec(entry);
  }
  return true;
}

/// The process umask, read without changing it where the system tells it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

/// Writes the whole block at its offset.
bool WriteBlock(int fd, const void* data, std::size_t size, la_int64_t offset) {
  if (const int fault = os::NextFileSystemFault()) {
    errno = fault;
    return false;
  }
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::pwrite(fd, bytes, size, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
    offset += written;
  }
  return true;
}

}  // namespace

int LibarchiveData::Next(const void*& data, std::size_t& size, la_int64_t& offset) {
  return archive_read_data_block(reader_, &data, &size, &offset);
}

std::string LibarchiveData::ErrorText() { return archive::ErrorText(reader_); }

SafeExtractor::SafeExtractor(std::string output_path, ReportBuilder& report)
    : root_(output_path.empty() ? std::string(".") : std::move(output_path)), report_(report) {}

SafeExtractor::~SafeExtractor() {
  RemoveLinksLeadingOut();
  ApplyFolderFixups();
}

MemberOutcome SafeExtractor::Refuse(std::string reason) {
  error_ = std::move(reason);
  return MemberOutcome::kRefused;
}

MemberOutcome SafeExtractor::Fail(std::string reason) {
  error_ = std::move(reason);
  return MemberOutcome::kFailed;
}

int SafeExtractor::OpenFolder(std::string_view relative, bool create) {
  if (!root_fd_) {
    if (create) {
      std::error_code ignored;
      std::filesystem::create_directories(root_, ignored);
    }
    root_fd_.reset(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root_fd_) return -1;
  }
  if (relative.empty()) return root_fd_.get();
  if (cached_fd_ && relative == cached_relative_) return cached_fd_.get();

  // Start from the folder kept open when it lies on the way.
  int current = root_fd_.get();
  std::size_t pos = 0;
  if (cached_fd_ && relative.size() > cached_relative_.size() &&
      relative.substr(0, cached_relative_.size()) == cached_relative_ &&
      relative[cached_relative_.size()] == '/') {
    current = cached_fd_.get();
    pos = cached_relative_.size() + 1;
  }
  os::UniqueFd walked;  // the folder reached so far, once below the ones kept open
  std::string component;
  while (pos < relative.size()) {
    const std::size_t end = std::min(relative.find('/', pos), relative.size());
    component.assign(relative.substr(pos, end - pos));
    os::UniqueFd next(::openat(current, component.c_str(), kFolderFlags));
    if (!next && create) {
      // Missing: make it. A link or a file in the way: replace it by a folder when this
      // extraction made it; what was there before is the user's and stays.
      const int error = errno;
      const bool cleared =
          error == ENOENT || ((error == ELOOP || error == ENOTDIR) &&
                              RemoveInTheWay(current, component.c_str(), relative.substr(0, end)));
      const bool made = cleared && ::mkdirat(current, component.c_str(), 0777) == 0;
      if (made) written_.emplace(relative.substr(0, end));
      if (made || (cleared && errno == EEXIST)) {
        next.reset(::openat(current, component.c_str(), kFolderFlags));
      }
    }
    if (!next) return -1;  // errno stays: a successful close leaves it alone
    walked = std::move(next);
    current = walked.get();
    pos = end + 1;
  }
  cached_fd_ = std::move(walked);
  cached_relative_.assign(relative);
  return current;
}

bool SafeExtractor::RemoveInTheWay(int parent, const char* name, std::string_view relative) {
  struct stat status {};
  if (::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (written_.count(std::string(relative)) == 0) {
    errno = EEXIST;
    return false;
  }
  if (::unlinkat(parent, name, S_ISDIR(status.st_mode) ? AT_REMOVEDIR : 0) != 0) return false;
  // A folder just removed may be the one kept open.
  if (cached_fd_ && cached_relative_.size() >= relative.size() &&
      std::string_view(cached_relative_).substr(0, relative.size()) == relative &&
      (cached_relative_.size() == relative.size() || cached_relative_[relative.size()] == '/')) {
    cached_fd_.reset();
    cached_relative_.clear();
  }
  return true;
}

int SafeExtractor::NextBlock(MemberData& data, DataBlock& block) {
  for (int idle = 0; idle <= kMaxIdleReads; ++idle) {
    const int status = data.Next(block.data, block.size, block.offset);
    if (status != ARCHIVE_OK || block.size != 0) return status;
  }
  return ARCHIVE_FAILED;
}

SafeExtractor::Temporary SafeExtractor::CreateTemporary(int parent, mode_t mode) {
  Temporary file;
  if (unnamed_files_ && !unnamed_files_checked_) unnamed_files_ = CanLinkUnnamed(parent);
  if (unnamed_files_) {
    file.fd.reset(::openat(parent, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, mode));
    if (file.fd || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return file;
    unnamed_files_ = false;  // this file system has no unnamed files
  }
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    file.name = TemporaryName();
    file.fd.reset(::openat(parent, file.name.c_str(), kNewFileFlags, mode));
    if (file.fd || errno != EEXIST) break;
  }
  if (!file.fd) file.name.clear();
  return file;
}

bool SafeExtractor::CanLinkUnnamed(int parent) {
  unnamed_files_checked_ = true;
  // A file linked once cannot be linked again after its name is gone: the probe has its own.
  os::UniqueFd fd(::openat(parent, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600));
  if (!fd) return false;
  const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
  const std::string probe = MakeUnderTemporaryName([&](const char* temporary) {
    return ::linkat(AT_FDCWD, self.c_str(), parent, temporary, AT_SYMLINK_FOLLOW);
  });
  if (probe.empty()) return false;
  ::unlinkat(parent, probe.c_str(), 0);
  return true;
}

bool SafeExtractor::PutInPlace(int parent, Temporary& file, const char* name,
                               std::string_view relative) {
  if (file.name.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(file.fd.get());
    if (::linkat(AT_FDCWD, self.c_str(), parent, name, AT_SYMLINK_FOLLOW) == 0) {
      written_.emplace(relative);
      return true;
    }
    if (errno != EEXIST) return false;
    // Something is there already: the file gets a temporary name, and that is renamed over it.
    for (int attempt = 0;; ++attempt) {
      file.name = TemporaryName();
      if (::linkat(AT_FDCWD, self.c_str(), parent, file.name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        break;
      }
      if (errno != EEXIST || attempt == kMaxNameAttempts) {
        file.name.clear();
        return false;
      }
    }
  }
  if (::renameat(parent, file.name.c_str(), parent, name) != 0) {
    // Only an empty folder this extraction made gives way to a file.
    if ((errno != EISDIR && errno != ENOTEMPTY && errno != EEXIST) ||
        !RemoveInTheWay(parent, name, relative) ||
        ::renameat(parent, file.name.c_str(), parent, name) != 0) {
      return false;
    }
  }
  file.name.clear();
  written_.emplace(relative);
  return true;
}

MemberOutcome SafeExtractor::WriteFile(MemberData& data, archive_entry* entry,
                                       const std::string& relative, int parent, const char* name,
                                       DataBlock& block, int status) {
  const auto perm = static_cast<mode_t>(archive_entry_perm(entry) & 0777);
  mode_t mode = perm != 0 ? perm : 0644;
  bool keep_mode = false;
  if (perm == 0) {
    // No permissions stored: the file replaced keeps its own.
    struct stat replaced {};
    if (::fstatat(parent, name, &replaced, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(replaced.st_mode)) {
      mode = replaced.st_mode & 07777;
      keep_mode = true;
    }
  }
  Temporary file = CreateTemporary(parent, mode);
  if (!file.fd) return Fail(os::ErrnoText(errno, "create a file in the folder of", relative));

  MemberOutcome outcome = MemberOutcome::kExtracted;
  la_int64_t end = 0;
  for (; status != ARCHIVE_EOF; status = NextBlock(data, block)) {
    // A warning here is a checksum that does not match: the data is not sound.
    if (status != ARCHIVE_OK) {
      outcome = Fail("cannot read the data of '" + relative + "': " + data.ErrorText());
      break;
    }
    if (!WriteBlock(file.fd.get(), block.data, block.size, block.offset)) {
      outcome = Fail(os::ErrnoText(errno, "write", relative));
      break;
    }
    end = std::max(end, block.offset + static_cast<la_int64_t>(block.size));
  }
  if (outcome == MemberOutcome::kExtracted && archive_entry_size_is_set(entry) != 0 &&
      end < archive_entry_size(entry)) {
    outcome = Fail("the data of '" + relative + "' ends before its stored size");
  }
  if (outcome == MemberOutcome::kExtracted && verify_ != nullptr && !(*verify_)(file.fd.get())) {
    outcome = Fail("the checksum of '" + relative + "' does not match its data: not kept");
  }
  if (outcome == MemberOutcome::kExtracted) {
    if (keep_mode) ::fchmod(file.fd.get(), mode);  // exactly, not less the umask
    timespec times[2]{};
    if (EntryTimes(entry, times)) ::futimens(file.fd.get(), times);
    if (!PutInPlace(parent, file, name, relative)) {
      outcome = Fail(os::ErrnoText(errno, "put in place", relative));
    }
  }
  file.fd.reset();
  // A file that did not come out whole is not left behind under any name.
  if (!file.name.empty()) ::unlinkat(parent, file.name.c_str(), 0);
  return outcome;
}

bool SafeExtractor::LinkResolvesInside(std::string_view relative, std::string_view target) {
  if (target.empty() || target.front() == '/') return false;
  const bool on_disk = OpenFolder({}, false) >= 0;
  // The folders from the output folder down to where resolution stands; never a link, since
  // every link met is replaced by its target.
  std::vector<std::string> path;
  AppendComponents(SplitLast(std::string(relative)).first, path);
  std::deque<std::string> pending;
  AppendComponents(target, pending);
  int hops = 0;
  std::string link_target;
  while (!pending.empty()) {
    std::string part = std::move(pending.front());
    pending.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      if (path.empty()) return false;
      path.pop_back();
      continue;
    }
    path.push_back(std::move(part));
    // What does not exist yet counts as a folder.
    if (!on_disk || !ReadLink(root_fd_.get(), JoinComponents(path).c_str(), link_target)) continue;
    if (++hops > kMaxLinkHops || link_target.empty() || link_target.front() == '/') return false;
    path.pop_back();
    std::deque<std::string> spliced;
    AppendComponents(link_target, spliced);
    pending.insert(pending.begin(), spliced.begin(), spliced.end());
  }
  return !path.empty();
}

void SafeExtractor::RemoveLinksLeadingOut() {
  // Removing one link can change where another leads, so the check runs until nothing changes.
  for (bool removed = !links_made_.empty(); removed;) {
    removed = false;
    for (auto link = links_made_.begin(); link != links_made_.end();) {
      const auto [folder, leaf] = SplitLast(*link);
      const int parent = OpenFolder(folder, false);
      std::string target;
      if (parent >= 0 && ReadLink(parent, leaf.c_str(), target) &&
          LinkResolvesInside(*link, target)) {
        ++link;
        continue;
      }
      // A link that is gone or was replaced since is no longer ours to check.
      if (parent >= 0 && !target.empty() && ::unlinkat(parent, leaf.c_str(), 0) == 0) {
        report_.Removed(*link, "symbolic link to \"" + target +
                                   "\", which leads out of the output folder through links "
                                   "extracted after it");
        removed = true;
      }
      link = links_made_.erase(link);
    }
  }
}

MemberOutcome SafeExtractor::Extract(::archive* reader, archive_entry* entry,
                                     const std::function<bool(int fd)>& verify) {
  LibarchiveData data(reader);
  return Extract(data, entry, verify);
}

MemberOutcome SafeExtractor::Extract(MemberData& data, archive_entry* entry,
                                     const std::function<bool(int fd)>& verify) {
  verify_ = verify ? &verify : nullptr;
  const MemberOutcome outcome = ExtractMember(data, entry);
  verify_ = nullptr;
  report_.Outcome(outcome == MemberOutcome::kExtracted, error_);
  return outcome;
}

MemberOutcome SafeExtractor::ExtractMember(MemberData& data, archive_entry* entry) {
  error_.clear();
  const char* name = archive_entry_pathname(entry);
  if (name == nullptr) return Refuse("the name cannot be read");
  const std::string relative = RelativeInside(name);
  if (relative.empty()) {
    return Refuse("the name is absolute, has a \"..\" component or names the output folder");
  }
  const auto type = archive_entry_filetype(entry);
  const char* hard_link = archive_entry_hardlink(entry);
  const char* symlink = archive_entry_symlink(entry);
  const auto refuse_link = [&] {
    return Refuse(std::string("symbolic link to \"") + (symlink != nullptr ? symlink : "") +
                  "\", which leads out of the output folder");
  };
  // Where a relative target leads is known once the link's own folder is a real folder.
  if (hard_link == nullptr && type == AE_IFLNK &&
      (symlink == nullptr || *symlink == '\0' || *symlink == '/')) {
    return refuse_link();
  }
  if (hard_link == nullptr && type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) {
    return Refuse("not a file, folder or link");
  }

  // A hard link's target must be a file already inside, reached without links.
  os::UniqueFd link_folder;
  std::string link_name;
  if (hard_link != nullptr) {
    const std::string link_relative = RelativeInside(hard_link);
    std::string link_folder_relative;
    std::tie(link_folder_relative, link_name) = SplitLast(link_relative);
    const int folder = link_relative.empty() ? -1 : OpenFolder(link_folder_relative, false);
    struct stat status {};
    if (folder >= 0 && ::fstatat(folder, link_name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode)) {
      link_folder.reset(::dup(folder));
    }
    if (!link_folder) {
      return Refuse(std::string("hard link to \"") + hard_link +
                    "\", which is not a file inside the output folder");
    }
  }

  DataBlock block;
  const bool has_data = type == AE_IFREG && hard_link == nullptr;
  const int first = has_data ? NextBlock(data, block) : ARCHIVE_EOF;
  if (first != ARCHIVE_OK && first != ARCHIVE_EOF) {
    return Fail("cannot read the data of '" + relative + "': " + data.ErrorText());
  }

  const auto [folder_relative, leaf] = SplitLast(relative);
  const int parent = OpenFolder(folder_relative, true);
  if (parent < 0) {
    return Fail(os::ErrnoText(errno, "create the folder", folder_relative));
  }
  if (has_data) return WriteFile(data, entry, relative, parent, leaf.c_str(), block, first);

  timespec times[2]{};
  const bool has_times = EntryTimes(entry, times);
  if (hard_link != nullptr) {
    Temporary made{{}, MakeUnderTemporaryName([&](const char* temporary) {
                     return ::linkat(link_folder.get(), link_name.c_str(), parent, temporary, 0);
                   })};
    const bool linked = !made.name.empty() && PutInPlace(parent, made, leaf.c_str(), relative);
    const int error = errno;
    if (!made.name.empty()) ::unlinkat(parent, made.name.c_str(), 0);
    return linked ? MemberOutcome::kExtracted : Fail(os::ErrnoText(error, "link", relative));
  }
  if (type == AE_IFLNK) {
    if (!LinkResolvesInside(relative, symlink)) return refuse_link();
    Temporary made{{}, MakeUnderTemporaryName([&](const char* temporary) {
                     return ::symlinkat(symlink, parent, temporary);
                   })};
    if (made.name.empty() || !PutInPlace(parent, made, leaf.c_str(), relative)) {
      const int error = errno;
      if (!made.name.empty()) ::unlinkat(parent, made.name.c_str(), 0);
      return Fail(os::ErrnoText(error, "make the link", relative));
    }
    links_made_.push_back(relative);
    if (has_times) ::utimensat(parent, leaf.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return MemberOutcome::kExtracted;
  }
  // A folder: one that exists is kept; a file or link in its place that this extraction made is
  // replaced, one that was there before stays and the member fails.
  if (::mkdirat(parent, leaf.c_str(), 0777) == 0) {
    written_.emplace(relative);
  } else {
    struct stat status {};
    const bool is_folder = errno == EEXIST &&
                           ::fstatat(parent, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISDIR(status.st_mode);
    if (!is_folder && (!RemoveInTheWay(parent, leaf.c_str(), relative) ||
                       ::mkdirat(parent, leaf.c_str(), 0777) != 0)) {
      return Fail(os::ErrnoText(errno, "create the folder", relative));
    }
    if (!is_folder) written_.emplace(relative);
  }
  // A folder that was there before keeps its mode and time: a ".ssh/" member must not open up
  // the user's own ".ssh".
  if (written_.count(relative) == 0) return MemberOutcome::kExtracted;
  const auto perm = static_cast<mode_t>(archive_entry_perm(entry) & 0777);
  fixups_.push_back({relative, perm != 0 ? perm : mode_t{0755}, has_times, times[1]});
  return MemberOutcome::kExtracted;
}

void SafeExtractor::ApplyFolderFixups() {
  if (fixups_.empty()) return;
  const mode_t mask = CurrentUmask();
  // The deepest first: a folder's own time stamp changes when something in it does.
  std::stable_sort(fixups_.begin(), fixups_.end(), [](const FolderFixup& a, const FolderFixup& b) {
    return a.relative.size() > b.relative.size();
  });
  for (const FolderFixup& fixup : fixups_) {
    const int fd = OpenFolder(fixup.relative, false);
    if (fd < 0) continue;  // replaced by a file or a link since
    ::fchmod(fd, fixup.mode & ~mask);
    if (fixup.has_time) {
      const timespec times[2] = {fixup.mtime, fixup.mtime};
      ::futimens(fd, times);
    }
  }
  fixups_.clear();
}

}  // namespace svregistration::archive
