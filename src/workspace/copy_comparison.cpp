// A registered copy compared with its original's workspace form, as the options make it now.
#include "workspace/copy_comparison.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "svregistration/error.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/workspace_host.h"

namespace svregistration::workspace {

namespace {

// One service per thread, a cache and no state: it keeps the settings it read for as long as the
// options documents say the same, instead of reading them again for every object.
SVStandard& Service() {
  thread_local SVStandard service;
  return service;
}

// Reads up to `size` bytes, fewer only at the end of the file; -1 when reading fails.
ssize_t ReadUpTo(int fd, std::uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, buffer + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

// How the open copy compares with the original's workspace form.
enum class Comparison { kSame, kDifferent, kCopyUnreadable };

// The original's workspace form is made a block at a time and each block compared with the
// copy's next bytes, neither held whole; past the first difference the blocks are only drained.
Comparison CompareWithForm(const std::shared_ptr<WorkspaceHost>& workspace, const std::string& type,
                           const std::string& original, int copy_fd, std::uint64_t copy_size) {
  thread_local std::vector<std::uint8_t> held;  // the copy's bytes beside each block
  Comparison result = Comparison::kSame;
  std::uint64_t compared = 0;
  Service().ReadSourceTo(workspace, type, original,
                         [&](const std::uint8_t* bytes, std::size_t size) {
                           if (result != Comparison::kSame) return;
                           if (held.size() < size) held.resize(size);
                           const ssize_t got = ReadUpTo(copy_fd, held.data(), size);
                           if (got < 0) {
                             result = Comparison::kCopyUnreadable;
                           } else if (static_cast<std::size_t>(got) != size ||
                                      std::memcmp(held.data(), bytes, size) != 0) {
                             result = Comparison::kDifferent;
                           }
                           compared += size;
                         });
  if (result != Comparison::kSame) return result;
  // Compared up to the size the copy had when it was opened: no more to look for.
  if (compared == copy_size) return Comparison::kSame;
  std::uint8_t past_end = 0;
  const ssize_t got = ReadUpTo(copy_fd, &past_end, 1);
  return got < 0    ? Comparison::kCopyUnreadable
         : got == 0 ? Comparison::kSame
                    : Comparison::kDifferent;
}

}  // namespace

std::optional<std::string> ReadOriginal(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string FormOf(const std::shared_ptr<WorkspaceHost>& workspace, const std::string& type,
                   const std::string& original) {
  std::vector<std::uint8_t> bytes = Service().ReadSource(workspace, type, original);
  return std::string(bytes.begin(), bytes.end());
}

CopyStatus CompareCopy(const std::shared_ptr<WorkspaceHost>& workspace, BeneathFiles& files,
                       CopyStatus status) {
  if (status.original.empty()) {
    status.state = CopyState::kOriginalUnknown;
    return status;
  }
  struct stat original_info {};
  if (::stat(status.original.c_str(), &original_info) != 0) {
    status.state = CopyState::kOriginalMissing;
    return status;
  }
  // The recorded copy is data: it is read only beneath the workspace, never through a link.
  struct stat copy_info {};
  const Fd copy(status.source.empty() ? -1 : files.Open(status.source, copy_info));
  if (!copy) {
    status.state = CopyState::kCopyMissing;
    return status;
  }
  if (copy_info.st_dev == original_info.st_dev && copy_info.st_ino == original_info.st_ino) {
    return status;  // the original is the copy itself
  }
  try {
    switch (CompareWithForm(workspace, status.type, status.original, copy.get(),
                            static_cast<std::uint64_t>(copy_info.st_size))) {
      case Comparison::kSame:
        break;
      case Comparison::kDifferent:
        status.state = CopyState::kModified;
        break;
      case Comparison::kCopyUnreadable:
        status.state = CopyState::kCopyMissing;
        break;
    }
  } catch (const Error& e) {
    status.state = CopyState::kUnreadable;
    status.detail = e.description();
  }
  return status;
}

}  // namespace svregistration::workspace
