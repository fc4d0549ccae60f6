// A fresh temporary folder per test, removed with everything in it when the test ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace svregistration::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// The path of `relative` inside the folder, as text.
  std::string operator/(std::string_view relative) const;

  /// Writes a file (creating its folders) and returns its path.
  std::string Write(std::string_view relative, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
std::string Text(const std::vector<std::uint8_t>& bytes);

}  // namespace svregistration::testing
