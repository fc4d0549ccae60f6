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

std::optional<std::string> ReadBeneath(const std::string& root, const std::string& relative) {
  const int root_fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (root_fd < 0) return std::nullopt;
  std::string name;
  const int parent = OpenParentWithoutLinks(root_fd, relative, name);
  ::close(root_fd);
  if (parent < 0) return std::nullopt;
  const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  ::close(parent);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::string> content;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
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
  }
  ::close(fd);
  return content;
}

}  // namespace svregistration::workspace
