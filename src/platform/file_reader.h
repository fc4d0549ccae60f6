// Reading files whole or a piece at a time: registered sources and tables, and a tool's input
// (the public InputReader and ReadInputWhole).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace svregistration::platform {

/// What a reader takes. Where a source is expected only a regular file will do: a pipe or a
/// device there is refused at once, never waited on. A tool's input may be anything that reads
/// to an end, standard input ("-") included.
enum class Accept { kRegularFile, kAnyInput };

class FileReader {
 public:
  /// Opens `path`; raises Error 53 naming a missing file (or a folder where a source is
  /// expected), or the reason it cannot be read.
  explicit FileReader(const std::string& path, Accept accept = Accept::kRegularFile);

  /// Fills `buffer` with the next bytes; fewer than `capacity` only at the end.
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity);
  /// The size of a regular file when it was opened; nullopt for a pipe or a device.
  std::optional<std::uint64_t> size() const { return size_; }
  /// The open file, for copies made by the kernel.
  int descriptor() const { return fd_.get(); }

 private:
  std::string path_;
  UniqueFd fd_;
  std::optional<std::uint64_t> size_;
};

/// The whole file; nullopt when no file exists at the path. A pipe or a device is refused.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path);

}  // namespace svregistration::platform
