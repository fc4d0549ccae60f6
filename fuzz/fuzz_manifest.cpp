// Fuzz target of manifest removal: the input is written as a manifest inside a small workspace of
// generated files and removed pass by pass. Whatever the lines say (".." included), the files
// beside the workspace, the workspace folder and its protected files must stay.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "fuzz_support.h"
#include "registration/file_removal.h"
#include "registration/sv_standard_state.h"
#include "support/fake_workspace.h"
#include "svregistration/error.h"

namespace fs = std::filesystem;
using svregistration::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The files beside the workspace and the tree a manifest works on, remade for every input.
  const svregistration::testing::TempDir& scratch = svregistration::fuzz::Scratch();
  std::error_code ec;
  fs::remove_all(scratch.path() / "m", ec);
  for (const char* file :
       {"sentinel.txt", "side/keep.txt", "m/own.db", "m/m/a.lst", "m/m/b.obj", "m/m/x y.lst",
        "m/m/gen/PAY.lst", "m/m/gen/sub/PAY.obj", "m/m/keep/other", "m/m/A.LST"}) {
    scratch.Write(file, "x");
  }
  fs::create_directories(scratch.path() / "m/m/deep/sub/subsub");
  fs::create_directories(scratch.path() / "m/m/empty");
  fs::create_directory_symlink("../../side", scratch.path() / "m/m/out");

  scratch.Write("m/m/x.mf", svregistration::fuzz::AsText(data, size));
  auto workspace = std::make_shared<svregistration::testing::FakeWorkspace>(scratch / "m", "");
  workspace->protected_paths = {"own.db"};
  svregistration::registration::State state;
  state.WorkspaceDirectory = workspace->root;
  state.Workspace = workspace;
  try {
    svregistration::registration::RemoveManifestFiles(state, "m/x.mf");
  } catch (const svregistration::Error&) {
  }
  Require(fs::exists(scratch.path() / "m/own.db"), "a protected file was deleted");
  Require(fs::exists(scratch.path() / "sentinel.txt"),
          "a file beside the manifest's tree was deleted");
  Require(fs::exists(scratch.path() / "side/keep.txt"),
          "a folder beside the manifest's tree was deleted");
  return 0;
}
