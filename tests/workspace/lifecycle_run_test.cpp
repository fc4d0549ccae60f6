// The lifecycle run on a workspace host, on SQLite and on PostgreSQL: what its reports say went
// and stayed (objects read back after the commit, copies, files the log says were not deleted),
// and changes that join a caller's open batch. The svreg tests run it end to end: the last
// folder kept, objects the repository kept, unknown ids refused before any change, files that
// were to go and stay.
#include "svregistration/workspace/lifecycle_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/postgres_server.h"
#include "support/temp_dir.h"
#include "svregistration/workspace/batch.h"
#include "svregistration/workspace/workspace_host.h"
#include "workspace/repository/context.h"
#include "workspace/repository/database.h"

namespace svregistration::workspace::testing {
namespace {

namespace fs = std::filesystem;

class LifecycleRunTest : public ::testing::TestWithParam<svregistration::testing::Backend> {
 protected:
  void SetUp() override {
    SVREG_SKIP_WITHOUT_POSTGRES(GetParam(), uri_);
    host_ = WorkspaceHost::Create(ws_, uri_);
  }

  /// Two COBOL objects (without copies: what goes with a copy is the svreg tests'); their ids.
  std::vector<std::string> TwoPrograms() {
    std::string one = "ONE.cbl", two = "TWO.cbl";
    auto repository = host_->workspace_repository();
    return {repository->NewObject("COBOL", one)->Id(), repository->NewObject("COBOL", two)->Id()};
  }

  svregistration::testing::TempDir dir_;
  std::string ws_ = dir_ / "ws";
  std::string uri_;
  std::shared_ptr<WorkspaceHost> host_;
};

TEST_P(LifecycleRunTest, InvalidationCountsTheEntries) {
  const auto ids = TwoPrograms();
  auto repository = host_->workspace_repository();
  repository->AddGeneratedEntries(ids[0], {".out\\ONE.lst", "\\gen"});
  repository->AddGeneratedEntries(ids[1], {".out\\TWO.lst"});
  dir_.Write("ws/out/ONE.lst", "listing");
  dir_.Write("ws/gen/ONE.obj", "object");
  dir_.Write("ws/out/TWO.lst", "listing");

  const InvalidationReport group = LifecycleRun(host_).Invalidate(ids);
  EXPECT_TRUE(group.ok());
  ASSERT_EQ(group.objects.size(), 2u);
  EXPECT_EQ(group.objects[0].generated_entries, 2u);
  EXPECT_EQ(group.DiscardedEntries(), 3u);
  for (const char* gone : {"out/ONE.lst", "gen", "out/TWO.lst"}) {
    EXPECT_FALSE(fs::exists(fs::path(ws_) / gone)) << gone;
  }
}

// In a caller's open batch the changes join it and leave it open for the caller to end; without
// one the run commits its own.
TEST_P(LifecycleRunTest, ChangesJoinACallersOpenBatch) {
  const auto ids = TwoPrograms();
  Database& database = *DatabaseOf(*host_->workspace_repository());
  auto other = WorkspaceHost::Open(ws_);
  {
    Batch batch(*host_, true);
    EXPECT_THAT(LifecycleRun(host_, &batch).Unregister({ids[0]}).Unregistered(),
                ::testing::ElementsAre(ids[0]));
    EXPECT_TRUE(LifecycleRun(host_, &batch).Invalidate({ids[1]}).ok());
    EXPECT_TRUE(database.InTransaction());
    batch.End();
  }
  EXPECT_EQ(other->workspace_repository()->ListObjects().size(), 1u);
  EXPECT_TRUE(LifecycleRun(host_).Unregister({ids[1]}).ok);
  EXPECT_FALSE(database.InTransaction());
  EXPECT_THAT(other->workspace_repository()->ListObjects(), ::testing::IsEmpty());
}

SVREG_ON_BOTH_REPOSITORIES(LifecycleRunTest);

}  // namespace
}  // namespace svregistration::workspace::testing
