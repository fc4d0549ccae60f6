// Opening beneath the workspace folder without links, one component at a time.
#include "workspace/beneath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <vector>

namespace svregistration::workspace {

int OpenParentWithoutLinks(int root_fd, const std::string& relative, std::string& name) {
  if (relative.empty() || relative.front() == '/') return -1;
  std::vector<std::string_view> parts;
  for (std::size_t start = 0; start <= relative.size();) {
    std::size_t slash = std::min(relative.find('/', start), relative.size());
    std::string_view part(relative.data() + start, slash - start);
    if (part.empty() || part == "." || part == "..") return -1;
    parts.push_back(part);
    start = slash + 1;
  }
  name = std::string(parts.back());
  int current = ::fcntl(root_fd, F_DUPFD_CLOEXEC, 0);
  for (std::size_t i = 0; i + 1 < parts.size() && current >= 0; ++i) {
    std::string part(parts[i]);
    int next = ::openat(current, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(current);
    current = next;
  }
  return current;
}

BeneathFiles::BeneathFiles(const std::string& root)
    : root_fd_(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

BeneathFiles::~BeneathFiles() {
  if (folder_fd_ >= 0) ::close(folder_fd_);
  if (root_fd_ >= 0) ::close(root_fd_);
}

int BeneathFiles::Open(const std::string& relative, struct stat& info) {
  if (root_fd_ < 0 || relative.empty() || relative.front() == '/') return -1;
  const std::size_t slash = relative.rfind('/');
  const std::string_view folder(relative.data(), slash == std::string::npos ? 0 : slash);
  std::string name;
  if (folder_fd_ >= 0 && folder == folder_) {
    // The folder's components were checked when it was opened; the name is checked here.
    name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.empty() || name == "." || name == "..") return -1;
  } else {
    const int parent = OpenParentWithoutLinks(root_fd_, relative, name);
    if (parent < 0) return -1;
    if (folder_fd_ >= 0) ::close(folder_fd_);
    folder_fd_ = parent;
    folder_ = folder;
  }
  const int fd = ::openat(folder_fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::optional<struct stat> StatBeneath(int root_fd, const std::string& relative) {
  std::string name;
  const int parent = OpenParentWithoutLinks(root_fd, relative, name);
  if (parent < 0) return std::nullopt;
  struct stat info {};
  const bool found = ::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
  ::close(parent);
  if (!found) return std::nullopt;
  return info;
}

std::optional<std::string> ReadBeneath(const std::string& root, const std::string& relative) {
  BeneathFiles files(root);
  struct stat info {};
  const int fd = files.Open(relative, info);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> content;
  content.emplace();
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      content.reset();
      break;
    }
    if (got == 0) break;
    content->append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return content;
}

}  // namespace svregistration::workspace
