// Reading a file a piece at a time, for sources too large to want whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace svregistration::platform {

class FileReader {
 public:
  /// Opens a regular file; raises Error 53 naming a missing file, or the reason it cannot be read.
  explicit FileReader(const std::string& path);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  /// Fills `buffer` with the next bytes; fewer than `capacity` only at the end of the file.
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity);
  /// The open file, for copies made by the kernel.
  int descriptor() const { return fd_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace svregistration::platform
