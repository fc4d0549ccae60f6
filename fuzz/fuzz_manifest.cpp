// Fuzz target of manifest removal: every input line goes through ManifestEntryPath, then the
// input is written as a manifest inside a small tree of generated files and removed pass by pass.
// Lines that climb out with ".." are dropped first (they name whatever the host wants deleted);
// every other line must leave the files beside the tree alone.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "registration/file_removal.h"
#include "svregistration/error.h"

namespace {

namespace fs = std::filesystem;
using svregistration::fuzz::Require;

void Touch(const fs::path& path) {
  fs::create_directories(path.parent_path());
  svregistration::fuzz::WriteBytes(path, reinterpret_cast<const std::uint8_t*>("x"), 1);
}

// The tree a manifest works on, remade for every input.
void MakeTree(const fs::path& folder) {
  std::error_code ec;
  fs::remove_all(folder, ec);
  for (const char* file :
       {"a.lst", "b.obj", "x y.lst", "gen/PAY.lst", "gen/sub/PAY.obj", "keep/other", "A.LST"}) {
    Touch(folder / file);
  }
  fs::create_directories(folder / "deep/sub/subsub");
  fs::create_directories(folder / "empty");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static svregistration::fuzz::ScratchFolder scratch;
  static const fs::path sentinel = scratch.path() / "sentinel.txt";
  static const fs::path side = scratch.path() / "side" / "keep.txt";
  static const fs::path folder = scratch.path() / "m";
  Touch(sentinel);
  Touch(side);
  MakeTree(folder);

  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string manifest;
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    std::string line(input.substr(start, end - start));
    std::string path = svregistration::registration::ManifestEntryPath(line);
    Require(path.size() <= line.size() &&
                line.compare(line.size() - path.size(), path.size(), path) == 0,
            "the entry path is not the end of its line");
    if (line.find("..") == std::string::npos) manifest += line + "\n";
    start = end + 1;
  }

  std::string manifest_path = (folder / "x.mf").string();
  svregistration::fuzz::WriteBytes(
      manifest_path, reinterpret_cast<const std::uint8_t*>(manifest.data()), manifest.size());
  try {
    svregistration::registration::RemoveManifestFiles(manifest_path);
  } catch (const svregistration::Error&) {
  }
  Require(fs::exists(sentinel), "a file beside the manifest's tree was deleted");
  Require(fs::exists(side), "a folder beside the manifest's tree was deleted");
  return 0;
}
