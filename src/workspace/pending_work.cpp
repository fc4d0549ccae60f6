// The journals of pending work: one line per step, appended before the step is taken.
#include "svregistration/workspace/pending_work.h"

#include <fcntl.h>
#include <fmt/core.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "svregistration/error.h"
#include "workspace/error_source.h"

namespace svregistration::workspace {

namespace {

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A journal subject is one line of text: a path or id with a line break cannot be recorded (its
// leftover is then reported as an existing file by the next registration, never deleted).
bool Recordable(const std::string& subject) { return subject.find('\n') == std::string::npos; }

[[noreturn]] void JournalFailure(const std::string& what, const std::string& path, int err) {
  throw Error(error_number::kPathFileAccessError, kWorkspaceErrorSource,
              fmt::format("cannot {} '{}': {}", what, path, std::strerror(err)));
}

// The folder `name` in `parent`, made when missing and opened without following a link: a link
// planted in its place (leading out of the workspace, say) is refused, never written through.
int OwnFolder(int parent, const char* name, const std::string& shown) {
  if (::mkdirat(parent, name, 0755) != 0 && errno != EEXIST) {
    JournalFailure("make the journal folder", shown, errno);
  }
  int fd = ::openat(parent, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    JournalFailure("use the journal folder (it is not a folder of this workspace)", shown, errno);
  }
  return fd;
}

}  // namespace

// The descriptors, closed with it.
struct PendingWork::Files {
  int folder = -1;
  int journal = -1;
  std::string name;
  ~Files() {
    for (int fd : {journal, folder}) {
      if (fd >= 0) ::close(fd);
    }
  }
};

PendingWork::PendingWork(const std::string& root) : files_(std::make_unique<Files>()) {
  const int root_fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (root_fd < 0) JournalFailure("open the workspace folder", root, errno);
  const std::string own = root + "/.svreg";
  int svreg = -1;
  try {
    svreg = OwnFolder(root_fd, ".svreg", own);
    files_->folder = OwnFolder(svreg, "pending", own + "/pending");
  } catch (const Error&) {
    ::close(root_fd);
    if (svreg >= 0) ::close(svreg);
    throw;
  }
  ::close(root_fd);
  ::close(svreg);
  files_->name = fmt::format("{}-{}.journal", ::getpid(), NowNs());
  path_ = own + "/pending/" + files_->name;
  // Made under another name and locked before it takes its own: another run's recovery must
  // never find it unlocked and take this live run for a dead one.
  const std::string starting = files_->name + ".starting";
  const int folder = files_->folder;
  files_->journal =
      ::openat(folder, starting.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
  if (files_->journal < 0 || ::flock(files_->journal, LOCK_EX | LOCK_NB) != 0 ||
      ::renameat(folder, starting.c_str(), folder, files_->name.c_str()) != 0) {
    JournalFailure("start the journal of this run", path_, errno);
  }
}

PendingWork::~PendingWork() {
  if (finished_) ::unlinkat(files_->folder, files_->name.c_str(), 0);
}

void PendingWork::Append(const std::string& line) {
  const int fd = files_->journal;
  if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    JournalFailure("write the journal of this run", path_, errno);
  }
}

void PendingWork::RecordCopy(const std::string& relative_path) {
  if (Recordable(relative_path)) Append("copy\t" + relative_path + "\n");
}

void PendingWork::RecordCopies(const std::vector<std::string>& relative_paths) {
  std::string lines;
  for (const std::string& path : relative_paths) {
    if (Recordable(path)) lines.append("copy\t").append(path).append("\n");
  }
  if (!lines.empty()) Append(lines);
}

void PendingWork::RecordKeep(const std::string& relative_path) {
  if (Recordable(relative_path)) Append("keep\t" + relative_path + "\n");
}

void PendingWork::RecordRefresh(const std::string& object_id) {
  if (!Recordable(object_id)) return;
  std::string line = fmt::format("refresh\t{}\t{}\n", NowNs(), object_id);
  refreshes_ += line;
  Append(line);
}

void PendingWork::CopiesCommitted() {
  if (::ftruncate(files_->journal, 0) != 0)
    return;  // the copies stay recorded; recovery checks each anyway
  if (!refreshes_.empty()) Append(refreshes_);
}

}  // namespace svregistration::workspace
