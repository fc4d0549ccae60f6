// Reading a tool's input as the library reads its own files: a file, a pipe or a device read to
// its end, or standard input ("-"), whole or a piece at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "svregistration/export.h"

namespace svregistration {

namespace os {
class FileReader;
}

/// An input read a piece at a time. Raises Error 53 naming a missing file, or another number
/// and the reason when it cannot be read.
class SVREG_API InputReader {
 public:
  explicit InputReader(const std::string& path);
  ~InputReader();
  InputReader(const InputReader&) = delete;
  InputReader& operator=(const InputReader&) = delete;

  /// Fills `buffer` with the next bytes; fewer than `capacity` only at the end.
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity);

 private:
  std::unique_ptr<os::FileReader> reader_;
};

/// The whole input at once.
SVREG_API std::vector<std::uint8_t> ReadInputWhole(const std::string& path);

}  // namespace svregistration
