// libunarr's own lines kept off stderr: which lines are its, stderr held while any decode runs and
// passed on without them, and a RAR extraction through the library that leaves stderr clean.
#include "archive/rar/unarr_diagnostics.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "archive_test_support.h"
#include "support/shared_fixtures.h"

namespace svregistration::testing {
namespace {

TEST(UnarrDiagnosticsTest, TellsLibunarrsLinesFromOthers) {
  const std::pair<const char*, bool> cases[] = {
      {"- rar.c:65: Unknown entry type\n", true},
      {"! uncompress-rar.c:24: Invalid data\n", true},
      {"- rar.c::", false},  // no line number
      {"- rar.cpp:65: x\n", false},
      {"- rar.h:65: x\n", false},
      {"-rar.c:65: x\n", false},
      {"svreg: not extracted: d.txt: wrong password\n", false},
  };
  for (const auto& [line, theirs] : cases)
    EXPECT_EQ(archive::IsUnarrDiagnostic(line), theirs) << line;
}

/// What the process writes to stderr while `action` runs, which goes to the file `path` meanwhile.
template <class Action>
std::string StderrOf(const std::string& path, Action action) {
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ::dup2(file, STDERR_FILENO);
  ::close(file);
  action();
  std::fflush(stderr);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  return ReadFile(path);
}

void WriteStderr(const std::string& text) {
  ASSERT_EQ(::write(STDERR_FILENO, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Holders in two threads: what either writes arrives when the last goes, in order, without
// libunarr's lines, including a last line without its end.
TEST(UnarrDiagnosticsTest, StderrIsHeldUntilTheLastHolderGoes) {
  TempDir dir;
  const std::string path = dir / "stderr.txt";
  const auto write_while_held = [&] {
    std::optional<archive::UnarrDiagnosticsHeld> outer(std::in_place);
    std::fprintf(stderr, "- rar.c:65: Unknown entry type\n");
    WriteStderr("kept 1\n");
    std::thread([] {
      archive::UnarrDiagnosticsHeld inner;
      WriteStderr("! uncompress-rar.c:24: Invalid data\nkept 2\n");
    }).join();
    EXPECT_EQ(ReadFile(path), "");  // still held
    std::fprintf(stderr, "kept 3 (no line end)");
    outer.reset();
    WriteStderr(" and after\n");
  };
  EXPECT_EQ(StderrOf(path, write_while_held), "kept 1\nkept 2\nkept 3 (no line end) and after\n");
}

// Every caller of RAR is spared libunarr's lines: a member the password does not open and one no
// decoder reads are in the report, and nothing is on stderr.
TEST(UnarrDiagnosticsTest, RarExtractionLeavesStderrClean) {
  SVREG_REQUIRE_SHARED();
  TempDir dir;
  for (const char* name : {"rar4_encrypted.rar", "rar3_lowdist_reset.rar"}) {
    SCOPED_TRACE(name);
    ScriptedPrompt prompt({"password"});
    const std::string archive =
        (SharedDir() / "fixtures/rar" / (std::string("test_read_format_") + name)).string();
    ExtractionReport report;
    const auto extract = [&] { report = RAR().Extract(archive, dir / name, "", prompt); };
    EXPECT_EQ(StderrOf(dir / "stderr.txt", extract), "");
    EXPECT_EQ(report.not_extracted.size(), 1u);
  }
}

}  // namespace
}  // namespace svregistration::testing
