// Finding and opening the volumes of a RAR archive.
#include "archive/rar/rar_volumes.h"

#include <fcntl.h>

#include <cctype>
#include <filesystem>
#include <string_view>

#include "nls/text.h"

namespace svregistration::archive {

namespace {

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

}  // namespace

std::vector<std::string> RarVolumes(const std::string& first) {
  std::vector<std::string> volumes{first};
  const std::string lower = nls::ToLower(first);
  constexpr std::string_view kExtension = ".rar";
  constexpr std::string_view kPart = ".part";
  if (lower.size() < kExtension.size() ||
      lower.compare(lower.size() - kExtension.size(), kExtension.size(), kExtension) != 0) {
    return volumes;
  }
  const std::size_t digits_end = lower.size() - kExtension.size();
  std::size_t digits_begin = digits_end;
  while (digits_begin > 0 && std::isdigit(static_cast<unsigned char>(lower[digits_begin - 1]))) {
    --digits_begin;
  }
  const std::size_t width = digits_end - digits_begin;
  if (width > 0 && digits_begin >= kPart.size() &&
      lower.compare(digits_begin - kPart.size(), kPart.size(), kPart) == 0) {
    // New naming: only the first part begins a set.
    if (width > 9 || std::stoul(first.substr(digits_begin, width)) != 1) return volumes;
    for (unsigned long part = 2;; ++part) {
      std::string number = std::to_string(part);
      if (number.size() < width) number.insert(0, width - number.size(), '0');
      std::string name = first.substr(0, digits_begin) + number + first.substr(digits_end);
      if (!FileExists(name)) break;
      volumes.push_back(std::move(name));
    }
    return volumes;
  }
  // Old naming: name.rar, name.r00, name.r01 ... name.r99.
  const char r = first[first.size() - 3];
  const std::string stem = first.substr(0, digits_end) + '.' + r;
  for (int part = 0; part < 100; ++part) {
    std::string name =
        stem + static_cast<char>('0' + part / 10) + static_cast<char>('0' + part % 10);
    if (!FileExists(name)) break;
    volumes.push_back(std::move(name));
  }
  return volumes;
}

std::vector<int> RarVolumeSet::fds() const {
  std::vector<int> fds;
  for (const os::UniqueFd& file : files) fds.push_back(file.get());
  return fds;
}

RarVolumeSet OpenRarVolumes(const std::string& first) {
  RarVolumeSet set;
  for (std::string& path : RarVolumes(first)) {
    os::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) break;
    set.paths.push_back(std::move(path));
    set.files.push_back(std::move(file));
  }
  return set;
}

}  // namespace svregistration::archive
