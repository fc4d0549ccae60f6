// The journals of pending work: one line per step, appended before the step is taken.
#include "svregistration/workspace/pending_work.h"

#include <fcntl.h>
#include <fmt/core.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "svregistration/error.h"

namespace svregistration::workspace {

namespace {

namespace fs = std::filesystem;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A journal subject is one line of text: a path or id with a line break cannot be recorded (its
// leftover is then reported as an existing file by the next registration, never deleted).
bool Recordable(const std::string& subject) { return subject.find('\n') == std::string::npos; }

}  // namespace

PendingWork::PendingWork(const std::string& root) {
  fs::path folder = fs::path(root) / kFolder;
  std::error_code ec;
  fs::create_directories(folder, ec);
  path_ = (folder / fmt::format("{}-{}.journal", ::getpid(), NowNs())).string();
  // Made under another name and locked before it takes its own: another run's recovery must
  // never find it unlocked and take this live run for a dead one.
  std::string starting = path_ + ".starting";
  fd_ = ::open(starting.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0 ||
      ::rename(starting.c_str(), path_.c_str()) != 0) {
    int err = errno;
    if (fd_ >= 0) ::close(fd_);
    throw Error(
        error_number::kPathFileAccessError, "Workspace",
        fmt::format("cannot start the journal of this run '{}': {}", path_, std::strerror(err)));
  }
}

PendingWork::~PendingWork() {
  if (finished_) ::unlink(path_.c_str());
  ::close(fd_);
}

void PendingWork::Append(const std::string& line) {
  if (::write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    throw Error(
        error_number::kPathFileAccessError, "Workspace",
        fmt::format("cannot write the journal of this run '{}': {}", path_, std::strerror(errno)));
  }
}

void PendingWork::RecordCopy(const std::string& relative_path) {
  if (Recordable(relative_path)) Append("copy\t" + relative_path + "\n");
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
  if (::ftruncate(fd_, 0) != 0) return;  // the copies stay recorded; recovery checks each anyway
  if (!refreshes_.empty()) Append(refreshes_);
}

}  // namespace svregistration::workspace
