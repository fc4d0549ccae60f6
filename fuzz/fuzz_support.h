// What the fuzz targets share: a checked condition that aborts with a message, a scratch folder
// for the inputs (the tests' temporary folder, one per process here), and the extraction of an
// archive with the tests' scripted user interface.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include "support/scripted_user_interface.h"
#include "support/temp_dir.h"
#include "svregistration/error.h"

namespace svregistration::fuzz {

/// Aborts the run (a finding) when `condition` is false.
inline void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}

/// The input as the bytes of a text, to write with TempDir::Write.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

/// The process's scratch folder, where inputs and what they make are written.
inline const testing::TempDir& Scratch() {
  static const testing::TempDir scratch;
  return scratch;
}

/// The input written to the file `name` in the scratch folder; its path.
inline std::string WriteInput(const std::uint8_t* data, std::size_t size, const std::string& name) {
  return Scratch().Write(name, AsText(data, size));
}

/// Extracts the input, written as an archive file, with `Archive` (ZIP or RAR) into a fresh
/// output folder that is the only entry of its parent folder. Afterwards the parent must hold
/// nothing else, and every symbolic link below the output folder must name a relative target
/// that stays below it, read from where the link lies.
template <class Archive>
void ExtractAndCheck(const std::uint8_t* data, std::size_t size, const char* extension) {
  namespace fs = std::filesystem;
  static const fs::path parent = Scratch().path() / "parent";
  static const fs::path output = parent / "out";
  // Files written by the process stop growing at 64 MiB (the write fails instead of filling the
  // disk with a member that expands without end).
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{rlim_t{64} << 20, rlim_t{64} << 20};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::error_code ec;
  fs::remove_all(parent, ec);
  fs::create_directories(output);
  const std::string archive = WriteInput(data, size, std::string("input.") + extension);
  // One answer, then empty ones: cancelled.
  Archive extraction = testing::AskingThrough<Archive>(testing::Script({"fuzz-password"}));
  try {
    extraction.Extract(archive, output.string(), "");
  } catch (const Error&) {
  }

  for (const fs::directory_entry& entry : fs::directory_iterator(parent)) {
    Require(entry.path().filename() == "out", "something was written beside the output folder");
  }
  Require(std::distance(fs::directory_iterator(Scratch().path()), fs::directory_iterator()) == 2,
          "something was written beside the archive");
  for (auto it = fs::recursive_directory_iterator(output, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    if (!it->is_symlink(ec)) continue;
    fs::path target = fs::read_symlink(it->path(), ec);
    if (ec) continue;
    Require(target.is_relative(), "a symbolic link names an absolute target");
    fs::path resolved = (it->path().parent_path() / target).lexically_normal();
    fs::path inside = resolved.lexically_relative(output);
    Require(!inside.empty() && inside != "." && *inside.begin() != "..",
            "a symbolic link leads out of the output folder");
  }
}

}  // namespace svregistration::fuzz
