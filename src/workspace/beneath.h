// Files the host reads or deletes at paths that come from data (a journal line, a copy recorded on
// an object): opened beneath the workspace folder's own descriptor, never through a link, never
// above the folder.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace svregistration::workspace {

/// A descriptor closed with its owner.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

/// The folder holding `relative` (components split at "/"), opened beneath `root_fd` with no link
/// anywhere on the way, and the last component in `name`; -1 when it cannot be opened, or when
/// the path is empty, absolute or climbs.
int OpenParentWithoutLinks(int root_fd, const std::string& relative, std::string& name);

/// Plain files opened beneath a workspace folder without links, one after another: the folder
/// of the last one stays open, so that the copies of one Sources folder cost an open each.
class BeneathFiles {
 public:
  /// Opens `root`; every Open answers -1 when it cannot be opened.
  explicit BeneathFiles(const std::string& root);
  ~BeneathFiles();
  BeneathFiles(const BeneathFiles&) = delete;
  BeneathFiles& operator=(const BeneathFiles&) = delete;

  /// `relative` (components split at "/") opened for reading, its status in `info`, when it is a
  /// plain file reached without a link; -1 when there is none such (missing, a link, a folder,
  /// or a path leading out). The caller closes it.
  int Open(const std::string& relative, struct stat& info);

 private:
  int root_fd_ = -1;
  std::string folder_;  ///< relative to the root, of folder_fd_
  int folder_fd_ = -1;
};

/// The status of `relative` itself (a link is not followed) below the folder `root_fd`, reached
/// without a link on the way; nullopt when there is nothing there or the path leads out.
std::optional<struct stat> StatBeneath(int root_fd, const std::string& relative);

/// The whole content of the plain file `relative` below the folder `root`, reached without a
/// link; nullopt when there is none such (missing, a link, a folder, or a path leading out).
std::optional<std::string> ReadBeneath(const std::string& root, const std::string& relative);

}  // namespace svregistration::workspace
