// The file system object over POSIX and std::filesystem.
#include "os/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "nls/text.h"
#include "os/fault_injection.h"
#include "os/unique_fd.h"
#include "svregistration/error.h"
#include "svregistration/file_writing.h"

namespace svregistration::os {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSource = "FileSystem";

}  // namespace

std::string ErrnoText(int err, std::string_view what, std::string_view path) {
  std::string text = "cannot ";
  text.append(what).append(" '").append(path).append("': ").append(std::strerror(err));
  return text;
}

Error ErrnoError(int err, const std::string& what, const std::string& path) {
  int number = error_number::kPathFileAccessError;
  switch (err) {
    case ENOENT:
      number = error_number::kFileNotFound;
      break;
    case ENOTDIR:
      number = error_number::kPathNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      number = error_number::kPermissionDenied;
      break;
    case EEXIST:
      number = error_number::kFileAlreadyExists;
      break;
    default:
      break;
  }
  return Error(number, kSource, ErrnoText(err, what, path));
}

namespace {

Error ErrnoErrorOf(const std::error_code& ec, const std::string& what, const std::string& path) {
  return ErrnoError(ec.value(), what, path);
}

// Raises the armed fault, if this operation is the one it is armed for.
void CheckFault(const char* what, const std::string& path) {
  if (int err = NextFileSystemFault()) throw ErrnoError(err, what, path);
}

bool StatPath(const std::string& path, struct stat& info) {
  return ::stat(path.c_str(), &info) == 0;
}

bool IsReadOnly(const struct stat& info) { return (info.st_mode & 0222) == 0; }

void RemoveOneFile(const std::string& path, bool force) {
  CheckFault("delete file", path);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) throw ErrnoError(errno, "delete file", path);
  if (S_ISDIR(info.st_mode)) throw ErrnoError(ENOENT, "delete file", path);
  if (!force && S_ISREG(info.st_mode) && IsReadOnly(info)) {
    throw Error(error_number::kPermissionDenied, kSource,
                "cannot delete file '" + path + "': it is read-only");
  }
  if (::unlink(path.c_str()) != 0) throw ErrnoError(errno, "delete file", path);
}

// Makes everything below a folder writable so that it can be removed.
void MakeWritable(const fs::path& folder) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  }
}

bool ContainsReadOnly(const fs::path& folder) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) == 0 && S_ISREG(info.st_mode) && IsReadOnly(info))
      return true;
  }
  return false;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && StatPath(path, info) && !S_ISDIR(info.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && StatPath(path, info) && S_ISDIR(info.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) { return SameFile(StatusOf(a), b); }

PathStatus StatusOf(const std::string& path) {
  struct stat info {};
  if (path.empty() || !StatPath(path, info)) return {};
  return PathStatus{true, S_ISDIR(info.st_mode), static_cast<std::uint64_t>(info.st_dev),
                    static_cast<std::uint64_t>(info.st_ino)};
}

bool SameFile(const PathStatus& known, const std::string& path) {
  if (!known.exists) return false;
  const PathStatus other = StatusOf(path);
  return other.exists && other.device == known.device && other.inode == known.inode;
}

void CreateFolder(const std::string& path) {
  CheckFault("create folder", path);
  if (::mkdir(path.c_str(), 0777) != 0) throw ErrnoError(errno, "create folder", path);
}

void DeleteFile(const std::string& path, bool force) { RemoveOneFile(path, force); }

void DeleteFolder(const std::string& path, bool force) {
  CheckFault("delete folder", path);
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    // The link goes, never what it leads to.
    if (::unlink(path.c_str()) != 0) throw ErrnoError(errno, "delete the link", path);
    return;
  }
  if (!FolderExists(path))
    throw Error(error_number::kPathNotFound, kSource,
                "cannot delete folder '" + path + "': no such folder");
  if (force) {
    MakeWritable(path);
  } else if (ContainsReadOnly(path)) {
    throw Error(error_number::kPermissionDenied, kSource,
                "cannot delete folder '" + path + "': it holds read-only files");
  }
  std::error_code ec;
  fs::remove_all(path, ec);
  if (ec) throw ErrnoErrorOf(ec, "delete folder", path);
}

long CountFilesIn(const std::string& folder) {
  CheckFault("read folder", folder);
  std::error_code ec;
  long count = 0;
  fs::directory_iterator it(folder, ec);
  if (ec) throw ErrnoErrorOf(ec, "read folder", folder);
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (!it->is_directory(ec)) ++count;
  }
  return count;
}

std::vector<std::string> SubFolders(const std::string& folder) {
  CheckFault("read folder", folder);
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) throw ErrnoErrorOf(ec, "read folder", folder);
  std::vector<std::string> folders;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) folders.push_back(it->path().string());
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

std::uint64_t FileSize(const std::string& path) {
  struct stat info {};
  if (!StatPath(path, info)) throw ErrnoError(errno, "read the size of", path);
  return static_cast<std::uint64_t>(info.st_size);
}

std::string ParentFolderName(std::string_view path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string_view::npos) return "";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string GetFileName(std::string_view path) {
  std::size_t slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string BuildPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string joined(folder);
  if (joined.back() != '/') joined.push_back('/');
  joined.append(name);
  return joined;
}

std::string AbsolutePathName(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

std::string HostRelativePath(std::string_view relative) {
  std::string path(relative);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string JoinHostPath(std::string_view root, std::string_view relative) {
  std::string joined(root);
  joined.push_back('/');
  joined.append(HostRelativePath(relative));
  return joined;
}

std::string JoinRecordedPath(std::string_view root, std::string_view relative) {
  std::size_t slash = relative.find_last_of('/');
  std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  if (relative.find('\\', name_start) != std::string_view::npos) {
    std::string literal = JoinHostPath(root, relative.substr(0, name_start));
    if (name_start == 0) literal.push_back('/');
    literal.append(relative.substr(name_start));
    struct stat info {};
    if (::lstat(literal.c_str(), &info) == 0) return literal;
  }
  return JoinHostPath(root, relative);
}

namespace {

// Writes all bytes to fd; false with errno set on failure.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  // An injected fault strikes after half the bytes, as a full disk would.
  if (int err = NextFileSystemFault()) {
    if (::write(fd, data, size / 2) < 0) {
      // The fault reported below stands for this failure too.
    }
    errno = err;
    return false;
  }
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The temporary name of a replacement beside its target: a dot, the name, ".tmp-", the process id
// and a counter, so that it is recognisably this program's.
std::string TemporaryName(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  return "." + name + ".tmp-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1));
}

std::string TemporaryNameFor(const std::string& path) {
  return BuildPath(ParentFolderName(path), TemporaryName(GetFileName(path)));
}

// The data goes first into an unnamed file in the target's folder, so that a kill while it is
// written leaves nothing; only the whole file gets a name. An invalid descriptor when the file
// system has no unnamed files.
UniqueFd OpenUnnamedBeside(const std::string& path) {
  std::string folder = ParentFolderName(path);
  return UniqueFd(
      ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
}

bool LinkUnnamed(int fd, const std::string& name, int folder = AT_FDCWD) {
  std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// The file a path names when its last component is a link (a chain followed to its end): a
// replacement is written there, so that the link stays a link.
// `info` receives what the path's final file is (the lstat of the last step, which is no link),
// and `exists` whether there is one.
std::string FollowFinalLinks(const std::string& path, struct stat& info, bool& exists) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    exists = ::lstat(current.c_str(), &info) == 0;
    if (!exists || !S_ISLNK(info.st_mode)) return current;
    std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
    ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0) {
      exists = ::stat(current.c_str(), &info) == 0;
      return current;
    }
    target.resize(static_cast<std::size_t>(n));
    current = target.front() == '/' ? target : BuildPath(ParentFolderName(current), target);
  }
  throw ErrnoError(ELOOP, "write", path);
}

}  // namespace

// Where nothing is there (no file, no link), the file is made under its own name at once (three
// times cheaper than an unnamed file on ext4), exclusively, and removed again when it cannot be
// finished. The create fails on anything that is there.
bool FileReplacement::MakeDirect(const std::string& path) {
  fd_.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd_) return false;
  path_ = temp_ = path;
  direct_ = true;
  made_with_ = 0666;
  return true;
}

std::unique_ptr<FileReplacement> FileReplacement::MakeNewIn(int folder, const std::string& name,
                                                            const std::string& path,
                                                            unsigned mode) {
  std::unique_ptr<FileReplacement> replacement(new FileReplacement());
  mode &= 0666;
  replacement->fd_.reset(
      ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (!replacement->fd_) return nullptr;
  replacement->folder_ = folder;
  replacement->made_with_ = mode;
  replacement->name_in_folder_ = name;
  replacement->path_ = path;
  replacement->direct_ = true;
  return replacement;
}

std::unique_ptr<FileReplacement> FileReplacement::ReplaceIn(int folder, const std::string& name,
                                                            const std::string& path) {
  struct stat info {};
  if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) throw ErrnoError(errno, "write", path);
    if (auto made = MakeNewIn(folder, name, path)) {
      // The caller's folder may close before the replacement goes: it keeps its own.
      made->owned_folder_.reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
      made->folder_ = made->owned_folder_.get();
      return made;
    }
    throw ErrnoError(errno, "write", path);
  }
  if (S_ISDIR(info.st_mode)) throw ErrnoError(EISDIR, "write", path);
  if (S_ISLNK(info.st_mode)) throw ErrnoError(ELOOP, "write", path);
  if (IsReadOnly(info)) {
    throw Error(error_number::kPermissionDenied, kSource,
                "cannot write '" + path + "': it is read-only");
  }
  std::unique_ptr<FileReplacement> replacement(new FileReplacement());
  replacement->path_ = path;
  replacement->exists_ = true;
  replacement->target_in_folder_ = name;
  replacement->owned_folder_.reset(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
  if (!replacement->owned_folder_) throw ErrnoError(errno, "write", path);
  replacement->folder_ = replacement->owned_folder_.get();
  replacement->OpenInFolder(info);
  return replacement;
}

void FileReplacement::OpenInFolder(const struct stat& info) {
  const int folder = folder_;
  fd_.reset(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  unnamed_ = static_cast<bool>(fd_);
  if (!unnamed_) {
    name_in_folder_ = TemporaryName(target_in_folder_);
    fd_.reset(::openat(folder, name_in_folder_.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  }
  if (!fd_) {
    const int err = errno;
    name_in_folder_.clear();
    // A folder that takes no new files while the file itself is writable: written in place.
    if ((err != EACCES && err != EPERM) ||
        ::faccessat(folder, target_in_folder_.c_str(), W_OK, AT_SYMLINK_NOFOLLOW) != 0) {
      throw ErrnoError(err, "write", path_);
    }
    fd_.reset(
        ::openat(folder, target_in_folder_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
    if (!fd_) throw ErrnoError(errno, "write", path_);
    in_place_ = true;
    return;
  }
  ::fchmod(fd_.get(), info.st_mode & 07777);
  if (::fchown(fd_.get(), info.st_uid, info.st_gid) != 0) {
    // Only the owner's own files can be given away; the mode is what matters to the user.
  }
}

std::unique_ptr<FileReplacement> FileReplacement::MakeNew(const std::string& path) {
  std::unique_ptr<FileReplacement> replacement(new FileReplacement());
  if (!replacement->MakeDirect(path)) return nullptr;
  return replacement;
}

FileReplacement::FileReplacement(const std::string& link_or_path) {
  if (MakeDirect(link_or_path)) return;  // what is there instead is looked at below
  struct stat info {};
  path_ = FollowFinalLinks(link_or_path, info, exists_);
  if (exists_) {
    if (S_ISDIR(info.st_mode)) throw ErrnoError(EISDIR, "write", path_);
    if (IsReadOnly(info)) {
      throw Error(error_number::kPermissionDenied, kSource,
                  "cannot write '" + path_ + "': it is read-only");
    }
  }
  // A link to no file: the file is made where it points.
  if (!exists_ && MakeDirect(path_)) return;
  fd_ = OpenUnnamedBeside(path_);
  unnamed_ = static_cast<bool>(fd_);
  if (!unnamed_) {
    temp_ = TemporaryNameFor(path_);
    fd_.reset(::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  }
  if (!fd_) {
    int err = errno;
    temp_.clear();
    // A folder that takes no new files while the file itself is writable: written in place.
    if (!exists_ || (err != EACCES && err != EPERM) || ::access(path_.c_str(), W_OK) != 0) {
      throw ErrnoError(err, "write", path_);
    }
    fd_.reset(::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
    if (!fd_) throw ErrnoError(errno, "write", path_);
    in_place_ = true;
    return;
  }
  if (exists_) {
    ::fchmod(fd_.get(), info.st_mode & 07777);
    if (::fchown(fd_.get(), info.st_uid, info.st_gid) != 0) {
      // Only the owner's own files can be given away; the mode is what matters to the user.
    }
  }
}

FileReplacement::~FileReplacement() { Drop(); }

void FileReplacement::Drop() {
  if (folder_ >= 0 && !name_in_folder_.empty()) {
    ::unlinkat(folder_, name_in_folder_.c_str(), 0);
  } else if (!temp_.empty()) {
    ::unlink(temp_.c_str());
  }
  temp_.clear();
  name_in_folder_.clear();
}

void FileReplacement::Fail(int err) {
  Drop();
  fd_.reset();
  throw ErrnoError(err, "write", path_);
}

void FileReplacement::Write(const std::uint8_t* data, std::size_t size) {
  if (!fd_) throw ErrnoError(EBADF, "write", path_);
  if (!WriteAll(fd_.get(), data, size)) Fail(errno);
}

int FileReplacement::descriptor() const { return fd_.get(); }

void FileReplacement::LimitModeTo(unsigned original_mode) {
  // Made with no permission the original withholds: nothing to take away.
  if ((made_with_ & ~(static_cast<mode_t>(original_mode) | S_IWUSR)) == 0) return;
  struct stat own {};
  if (!fd_ || ::fstat(fd_.get(), &own) != 0) return;
  const mode_t current = own.st_mode & 07777;
  const mode_t limited = current & (static_cast<mode_t>(original_mode) | S_IWUSR);
  if (limited != current && ::fchmod(fd_.get(), limited) != 0) Fail(errno);
}

void FileReplacement::Commit() {
  if (!fd_) throw ErrnoError(EBADF, "write", path_);
  if (direct_) {
    if (::close(fd_.release()) != 0) Fail(errno);
    temp_.clear();  // whole: kept
    name_in_folder_.clear();
    return;
  }
  if (in_place_) {
    if (::close(fd_.release()) != 0) Fail(errno);
    return;
  }
  if (!target_in_folder_.empty()) {
    // Named and renamed within the open folder: whatever now stands at the name (a link swapped
    // in included) is replaced, never written through.
    if (unnamed_) {
      name_in_folder_ = TemporaryName(target_in_folder_);
      if (!LinkUnnamed(fd_.get(), name_in_folder_, folder_)) {
        name_in_folder_.clear();
        Fail(errno);
      }
    }
    if (::close(fd_.release()) != 0 ||
        ::renameat(folder_, name_in_folder_.c_str(), folder_, target_in_folder_.c_str()) != 0) {
      Fail(errno);
    }
    name_in_folder_.clear();
    return;
  }
  // A new file is linked into place directly: one directory change instead of two.
  if (unnamed_ && !exists_ && LinkUnnamed(fd_.get(), path_)) {
    fd_.reset();
    return;
  }
  if (unnamed_) {
    temp_ = TemporaryNameFor(path_);
    if (!LinkUnnamed(fd_.get(), temp_)) {
      temp_.clear();
      Fail(errno);
    }
  }
  if (::close(fd_.release()) != 0 || ::rename(temp_.c_str(), path_.c_str()) != 0) Fail(errno);
  temp_.clear();
}

// No fsync: the rename makes the replacement whole against a crash of the process, and syncing
// every registered copy would cost more than the copy itself.
void WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  FileReplacement replacement(path);
  replacement.Write(data, size);
  replacement.Commit();
}

}  // namespace svregistration::os

namespace svregistration {

void WriteFileWhole(const std::string& path, std::string_view bytes) {
  os::WriteWholeFile(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace svregistration
