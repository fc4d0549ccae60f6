// What the fuzz targets share: a checked condition that aborts with a message, the tests'
// temporary folder (one per process here), and a user interface that answers a password prompt once
// with a fixed text, then empty, and shows messages nowhere.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "support/temp_dir.h"
#include "svregistration/error.h"
#include "svregistration/user_interface.h"

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

/// Answers the first input box with a fixed password and every later one empty (cancel).
class QuietUserInterface final : public UserInterface {
 public:
  void ShowMessage(const std::string&, const std::string&) override {}
  std::string AskText(const std::string&, const std::string&, bool) override {
    return asked_++ == 0 ? "fuzz-password" : "";
  }
  std::string BrowseForFolder(std::intptr_t, const std::string&) override { return ""; }
  void ProcessPendingEvents() override {}

 private:
  int asked_ = 0;
};

/// Installs a fresh QuietUserInterface for the calling thread.
inline void InstallQuietUserInterface() {
  SetUserInterface(std::make_shared<QuietUserInterface>());
}

/// Files written by the process stop growing at 64 MiB (the write fails instead of filling the
/// disk with a member that expands without end).
inline void LimitFileSize() {
  static const bool done = [] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = rlim_t{64} << 20;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    return true;
  }();
  (void)done;
}

/// Extracts the input, written as an archive file, with `Archive` (ZIP or RAR) into a fresh
/// output folder that is the only entry of its parent folder. Afterwards the parent must hold
/// nothing else, and every symbolic link below the output folder must name a relative target
/// that stays below it, read from where the link lies.
template <class Archive>
void ExtractAndCheck(const std::uint8_t* data, std::size_t size, const char* extension) {
  namespace fs = std::filesystem;
  static testing::TempDir scratch;
  static const fs::path parent = scratch.path() / "parent";
  static const fs::path output = parent / "out";
  LimitFileSize();
  std::error_code ec;
  fs::remove_all(parent, ec);
  fs::create_directories(output);
  const std::string archive = scratch.Write(std::string("input.") + extension, AsText(data, size));
  InstallQuietUserInterface();

  try {
    Archive().Extract(archive, output.string(), "");
  } catch (const Error&) {
  }

  for (const fs::directory_entry& entry : fs::directory_iterator(parent)) {
    Require(entry.path().filename() == "out", "something was written beside the output folder");
  }
  std::size_t count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(scratch.path())) {
    (void)entry;
    ++count;
  }
  Require(count == 2, "something was written beside the archive");
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
