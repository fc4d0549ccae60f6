// Reading a file a piece at a time, for sources too large to want whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace svregistration::platform {

/// A file opened for reading, with what it is; for callers that decide themselves what a missing
/// or unreadable file means.
struct OpenedFile {
  UniqueFd fd;
  int error = 0;  ///< errno of the failed open; 0 when it is open
  bool folder = false;
  bool regular = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;

  /// True when the open failed because the path leads nowhere: no look at it would find a file.
  bool missing() const;
};
/// Opens the path for reading (a pipe where a file was expected is not waited on).
OpenedFile OpenForReading(const std::string& path);

class FileReader {
 public:
  /// Opens a regular file; raises Error 53 naming a missing file, or the reason it cannot be read.
  explicit FileReader(const std::string& path);
  /// Reads the regular file `opened` holds open (taking it over).
  FileReader(const std::string& path, OpenedFile&& opened);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  /// Fills `buffer` with the next bytes; fewer than `capacity` only at the end of the file, which
  /// is not looked for again once found.
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity);
  /// The open file, for copies made by the kernel.
  int descriptor() const { return fd_; }

 private:
  void AdviseSequential(std::uint64_t size);

  std::string path_;
  int fd_ = -1;
  bool at_end_ = false;
};

}  // namespace svregistration::platform
