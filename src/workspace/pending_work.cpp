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
#include <fstream>
#include <set>

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

// A relative path from a journal may name only something below the root.
bool StaysBelow(const std::string& relative) {
  fs::path path(relative);
  if (path.is_absolute() || relative.empty()) return false;
  for (const fs::path& part : path) {
    if (part == "..") return false;
  }
  return true;
}

void RecoverJournal(
    const std::string& root, const fs::path& journal,
    const std::function<bool(const std::string&)>& recorded,
    const std::function<void(const std::string&, std::int64_t)>& invalidate_changed) {
  std::ifstream in(journal);
  std::set<std::string> copies;
  std::vector<std::pair<std::string, std::int64_t>> refreshes;
  std::string line;
  while (std::getline(in, line)) {
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string kind = line.substr(0, tab);
    std::string subject = line.substr(tab + 1);
    if (kind == "copy") {
      copies.insert(subject);
    } else if (kind == "keep") {
      copies.erase(subject);
    } else if (kind == "refresh") {
      std::size_t second = subject.find('\t');
      if (second == std::string::npos) continue;
      refreshes.emplace_back(subject.substr(second + 1), std::stoll(subject.substr(0, second)));
    }
  }
  for (const std::string& copy : copies) {
    if (!StaysBelow(copy) || recorded(copy)) continue;
    ::unlink((fs::path(root) / copy).c_str());
  }
  // The file system's clock ticks coarsely: a second's margin discards too much rather than too
  // little (generated files can be made again; stale ones would be trusted).
  for (const auto& [id, started] : refreshes) invalidate_changed(id, started - 1'000'000'000);
}

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

void PendingWork::Recover(
    const std::string& root, const std::function<bool(const std::string&)>& recorded,
    const std::function<void(const std::string&, std::int64_t)>& invalidate_changed) {
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(root) / kFolder, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().extension() != ".journal") continue;
    int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    // A journal still locked belongs to a run that is alive.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      RecoverJournal(root, it->path(), recorded, invalidate_changed);
      ::unlink(it->path().c_str());
    }
    ::close(fd);
  }
}

}  // namespace svregistration::workspace
