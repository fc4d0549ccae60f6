// Fuzz target of manifest removal: every input line goes through ManifestEntryPath, then the
// input is written as a manifest inside a small workspace of generated files and removed pass by
// pass. Whatever the lines say (".." included), the files beside the workspace, the workspace
// folder and its protected files must stay.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "registration/file_removal.h"
#include "registration/sv_standard_state.h"
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
  for (const char* file : {"own.db", "m/a.lst", "m/b.obj", "m/x y.lst", "m/gen/PAY.lst",
                           "m/gen/sub/PAY.obj", "m/keep/other", "m/A.LST"}) {
    Touch(folder / file);
  }
  fs::create_directories(folder / "m/deep/sub/subsub");
  fs::create_directories(folder / "m/empty");
  fs::create_directory_symlink("../../side", folder / "m/out");
}

// The least a workspace needs for removal: its root, a log that drops records, protected paths.
class ScratchWorkspace final : public svregistration::host::Workspace {
 public:
  class NullLog final : public svregistration::host::WorkspaceLog {
    void Add(const std::string&, int, const std::optional<std::string>&, const std::string&) override {}
  };
  explicit ScratchWorkspace(std::string root) : root_(std::move(root)) {}
  std::shared_ptr<svregistration::host::Repository> Repository() override { return nullptr; }
  std::string GetSolvaneName(int) override { return root_ + "/tables"; }
  std::shared_ptr<svregistration::host::OptionsHolder> WorkspaceOptions() override { return nullptr; }
  std::shared_ptr<svregistration::host::OptionsHolder> GlobalOptions() override { return nullptr; }
  std::shared_ptr<svregistration::host::WorkspaceLog> Log() override { return log_; }
  std::intptr_t SolvanewareWindowHandle() override { return 0; }
  void SetCancelPressed(bool) override {}
  std::vector<std::string> ProtectedPaths() override { return {"own.db"}; }

 private:
  std::string root_;
  std::shared_ptr<NullLog> log_ = std::make_shared<NullLog>();
};

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
    manifest += line + "\n";
    start = end + 1;
  }

  std::string manifest_path = (folder / "m" / "x.mf").string();
  svregistration::fuzz::WriteBytes(
      manifest_path, reinterpret_cast<const std::uint8_t*>(manifest.data()), manifest.size());
  svregistration::SVStandard::State state;
  state.WorkspaceDirectory = folder.string();
  state.Workspace = std::make_shared<ScratchWorkspace>(folder.string());
  try {
    svregistration::registration::RemoveManifestFiles(state, "m/x.mf");
  } catch (const svregistration::Error&) {
  }
  Require(fs::exists(folder / "own.db"), "a protected file was deleted");
  Require(fs::exists(sentinel), "a file beside the manifest's tree was deleted");
  Require(fs::exists(side), "a folder beside the manifest's tree was deleted");
  return 0;
}
