// Reading files whole or a piece at a time: registered sources and tables, and a tool's input
// (the public InputReader and ReadInputWhole).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/unique_fd.h"

namespace svregistration::os {

/// What a reader takes. Where a source is expected only a regular file will do: a pipe or a
/// device there is refused at once, never waited on. A tool's input may be anything that reads
/// to an end, standard input ("-") included.
enum class Accept { kRegularFile, kAnyInput };

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
  unsigned mode = 0;  ///< the permission bits and kind (st_mode)

  /// True when the open failed because the path leads nowhere: no look at it would find a file.
  bool missing() const;
};
/// Opens the path for reading (a pipe where a file was expected is not waited on).
OpenedFile OpenForReading(const std::string& path);
/// Opens `name` in the open folder `folder` for reading, never through a link at the name; a
/// folder that is not there (-1) holds no file.
OpenedFile OpenForReadingIn(int folder, const std::string& name);

class FileReader {
 public:
  /// Opens `path`; raises Error 53 naming a missing file (or a folder where a source is
  /// expected), or the reason it cannot be read.
  explicit FileReader(const std::string& path, Accept accept = Accept::kRegularFile);
  /// Reads the regular file `opened` holds open (taking it over).
  FileReader(const std::string& path, OpenedFile&& opened);

  /// Fills `buffer` with the next bytes; fewer than `capacity` only at the end, which is not
  /// looked for again once found. A regular file ends at the size it had when it was opened.
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity);
  /// The size of a regular file when it was opened; nullopt for a pipe or a device.
  std::optional<std::uint64_t> size() const { return size_; }
  /// The open file, for copies made by the kernel.
  int descriptor() const { return fd_.get(); }
  /// The file's mode (st_mode) when it was opened.
  unsigned mode() const { return mode_; }

 private:
  void AdviseSequential(std::uint64_t size);

  std::string path_;
  UniqueFd fd_;
  std::optional<std::uint64_t> size_;
  unsigned mode_ = 0;
  std::uint64_t read_ = 0;  ///< bytes read so far
  bool at_end_ = false;
};

/// The whole file; nullopt when no file exists at the path. A pipe or a device is refused.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path);

}  // namespace svregistration::os
