// The registration run with its copies made ahead on other threads: the results come in walk
// order, and a file whose copy fails, or whose name is taken, fails alone while the copies around
// it are made and kept.
#include "svregistration/workspace/registration_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "svregistration/class_registry.h"
#include "svregistration/host/registration_handler.h"
#include "svregistration/host/repository.h"
#include "svregistration/registration_steps.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/workspace_host.h"
#include "workspace/copy_pool.h"
#include "workspace/repository/registration_handlers.h"
#include "workspace/repository/schema.h"

namespace svregistration::workspace::testing {
namespace {

namespace fs = std::filesystem;
using svregistration::testing::ReadFile;

using Expected = std::pair<FileOutcome, std::string>;  // the outcome, a part of its reason

class RegistrationRunTest : public ::testing::Test {
 protected:
  // More files than the run takes ahead of its records, so that faults fall among copies made
  // on the other thread while earlier files are recorded.
  static constexpr int kFiles = 150;

  std::string Source(const std::string& name) { return dir_ / ("app/" + name); }
  std::string Copy(const std::string& name) { return dir_ / ("ws/Sources/COBOL/" + name); }

  svregistration::testing::TempDir dir_;
};

TEST_F(RegistrationRunTest, FaultsAmongCopiesMadeAheadStayTheirOwnAndResultsKeepWalkOrder) {
  auto workspace = WorkspaceHost::Create(dir_ / "ws");
  std::map<std::string, Expected> expected;  // by path: the walk's order
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "a/P" + std::to_string(1000 + i) + ".cbl";
    dir_.Write("app/" + name, "       PROGRAM-ID. P" + std::to_string(i) + ".\n");
    expected[Source(name)] = {FileOutcome::kRegistered, ""};
  }
  // A pipe where a source is expected: its copy fails on the copying thread.
  ASSERT_EQ(::mkfifo(Source("a/P1050-pipe.cbl").c_str(), 0644), 0);
  expected[Source("a/P1050-pipe.cbl")] = {FileOutcome::kFailed, "Unable to copy file"};
  // A link to nothing.
  fs::create_symlink(dir_ / "nowhere.cbl", Source("a/P1060-gone.cbl"));
  expected[Source("a/P1060-gone.cbl")] = {FileOutcome::kFailed, "does not exist"};
  // A file of the user's at a copy's name, and a link leading out of the workspace at another.
  dir_.Write("app/a/P1070-user.cbl", "theirs");
  dir_.Write("ws/Sources/COBOL/P1070-user.cbl", "mine");
  expected[Source("a/P1070-user.cbl")] = {FileOutcome::kFailed, "no object records"};
  dir_.Write("app/a/P1080-link.cbl", "theirs");
  const std::string outside = dir_.Write("outside.cbl", "outside");
  fs::create_symlink(outside, Copy("P1080-link.cbl"));
  expected[Source("a/P1080-link.cbl")] = {FileOutcome::kFailed, ""};
  // Two files of one name, one right after the other: the second waits for the first's record.
  dir_.Write("app/c/Q.cbl", "first");
  dir_.Write("app/d/Q.cbl", "second");
  expected[Source("c/Q.cbl")] = {FileOutcome::kRegistered, ""};
  expected[Source("d/Q.cbl")] = {FileOutcome::kNameTaken, "registered from " + Source("c/Q.cbl")};

  // Results handed to a sink come in the same order, each once, as the progress counts them.
  RegistrationRun run(workspace);
  std::vector<FileResult> results;
  run.SetResultSink([&](const FileResult& r) { results.push_back(r); });
  const long total = static_cast<long>(expected.size());
  long last_done = 0;
  run.SetProgress([&](long done, long of) {
    EXPECT_EQ(std::pair(done, of), std::pair(last_done + 1, total));
    last_done = done;
  });
  RegistrationReport report = run.Run({{dir_ / "app"}, "COBOL", "", false});

  ASSERT_FALSE(report.error);
  EXPECT_EQ(last_done, total);
  EXPECT_EQ(report.outcome_counts[static_cast<std::size_t>(FileOutcome::kRegistered)], kFiles + 1);
  ASSERT_EQ(results.size(), expected.size());
  auto want = expected.begin();
  for (const FileResult& r : results) {
    ASSERT_EQ(r.file, want->first);  // walk order
    EXPECT_EQ(r.outcome, want->second.first) << r.file << ": " << r.reason;
    EXPECT_NE(r.reason.find(want->second.second), std::string::npos) << r.file << ": " << r.reason;
    const std::string copy = Copy(fs::path(r.file).filename().string());
    if (r.outcome == FileOutcome::kRegistered) {
      EXPECT_EQ(ReadFile(copy), ReadFile(r.file)) << copy;
    }
    ++want;
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(Copy("P1050-pipe.cbl"))));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Copy("P1060-gone.cbl"))));
  EXPECT_EQ(ReadFile(Copy("P1070-user.cbl")), "mine");
  EXPECT_TRUE(fs::is_symlink(Copy("P1080-link.cbl")));
  EXPECT_EQ(ReadFile(outside), "outside");
  EXPECT_EQ(ReadFile(Copy("Q.cbl")), "first");
  EXPECT_EQ(workspace->workspace_repository()->ListObjects("COBOL").size(),
            static_cast<std::size_t>(kFiles + 1));
  // Nothing the run made is left for recovery: its journal went with it.
  EXPECT_TRUE(fs::is_empty(dir_ / "ws/.svreg/pending"));
}

// A handler that refuses every third copybook: each refusal removes its own copy while the copies
// of the files after it are being made.
class EveryThirdRefused final : public host::RegistrationHandler {
 public:
  bool OnObjectRegister(std::shared_ptr<host::Workspace>&,
                        std::shared_ptr<host::RepositoryObject>& object) override {
    return std::stoi(object->Name().substr(1, 4)) % 3 != 0;
  }
};

TEST_F(RegistrationRunTest, RefusalsAmongCopiesMadeAheadRemoveOnlyTheirOwnCopies) {
  auto workspace = WorkspaceHost::Create(dir_ / "ws");
  ClassRegistry::Instance().Register<host::RegistrationHandler>(
      std::string(kAcceptHandlerClass), [] { return std::make_shared<EveryThirdRefused>(); });
  for (int i = 0; i < kFiles; ++i) dir_.Write("app/C" + std::to_string(1000 + i) + ".cpy", "x");
  RegistrationReport report = RegistrationRun(workspace).Run({{dir_ / "app"}, "", "", false});
  RegisterWorkspaceClasses();  // the host's own handler again

  ASSERT_EQ(report.results.size(), static_cast<std::size_t>(kFiles));
  for (int i = 0; i < kFiles; ++i) {
    const FileResult& r = report.results[static_cast<std::size_t>(i)];
    const bool refused = (1000 + i) % 3 == 0;
    EXPECT_EQ(r.outcome, refused ? FileOutcome::kRefused : FileOutcome::kRegistered) << r.file;
    EXPECT_EQ(fs::exists(dir_ / ("ws/Sources/COPYBOOK/" + fs::path(r.file).filename().string())),
              !refused)
        << r.file;
  }
}

// Several copying threads: every copy handed over is made once, whichever thread takes it, and
// each is made when its ticket is waited for; after Stop nothing more is made.
TEST_F(RegistrationRunTest, SeveralCopyingThreadsMakeEachCopyOnce) {
  auto workspace = WorkspaceHost::Create(dir_ / "ws");
  fs::create_directories(dir_ / "ws/Sources/COBOL");
  SVStandard service;
  RegistrationSteps steps(service, workspace, false);
  std::vector<RegistrationCopy> copies;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "P" + std::to_string(1000 + i) + ".cbl";
    copies.push_back(steps.Plan("COBOL", dir_.Write("app/" + name, name)));
  }
  CopyPool pool(4);
  std::vector<std::uint64_t> tickets;
  const std::size_t handed = CopyPool::kCapacity - 1;
  for (std::size_t i = 0; i < handed; ++i) tickets.push_back(pool.Hand(copies[i]));
  for (std::size_t i = 0; i < handed; ++i) {
    pool.Wait(tickets[i]);
    EXPECT_TRUE(pool.Made(tickets[i]));
    const std::string name = "P" + std::to_string(1000 + i) + ".cbl";
    EXPECT_EQ(ReadFile(dir_ / ("ws/Sources/COBOL/" + name)), name);
  }
  pool.Stop();
  // No thread is left: a copy handed over is done with at once, and nothing is written.
  EXPECT_TRUE(pool.Made(pool.Hand(copies[handed])));
  EXPECT_FALSE(fs::exists(dir_ / ("ws/Sources/COBOL/P" + std::to_string(1000 + handed) + ".cbl")));
}

}  // namespace
}  // namespace svregistration::workspace::testing
