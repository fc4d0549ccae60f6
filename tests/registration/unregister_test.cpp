// Unregistration and invalidation on a fake host: the folder rules, the detachment from folders,
// the log record, the guarded and unguarded steps, and the binding.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "registration/sv_standard_state.h"
#include "runtime/host_utilities.h"
#include "support/fake_repository.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/class_registry.h"
#include "svregistration/error.h"

namespace svregistration {
namespace {

using namespace testing;

struct TypeFromId final : host::IdUtility {
  std::string ObjectTypeOfId(const std::string& id) override { return id.substr(0, id.find(':')); }
};

class UnregisterTest : public FakeHostTest {
 protected:
  static void SetUpTestSuite() {
    ClassRegistry::Instance().Register<host::IdUtility>(
        host::kIdUtilityClass, [] { return std::make_shared<TypeFromId>(); });
    runtime::ResetThreadUtilities();
  }
};

TEST_F(UnregisterTest, ObjectLeavesItsFoldersThenIsUnregisteredAndLogged) {
  auto a = repository_->Add("FOLDER", "A");
  auto b = repository_->Add("FOLDER", "B");
  auto pay = repository_->Add("COBOL", "PAY");
  pay->folders = {b->Id(), a->Id()};
  pay->attributes["Source"] = "Sources\\COBOL\\PAY.cbl";
  pay->generated = {".out\\PAY.lst"};
  dir_.Write("ws/Sources/COBOL/PAY.cbl", "x");
  dir_.Write("ws/out/PAY.lst", "x");

  EXPECT_TRUE(service_.Unregister(workspace_, pay->Id()));
  EXPECT_THAT(repository_->calls,
              ::testing::IsSupersetOf({"RemoveRelation(" + pay->Id() + "->" + b->Id() + ")",
                                       "RemoveRelation(" + pay->Id() + "->" + a->Id() + ")"}));
  EXPECT_FALSE(std::filesystem::exists(root_ + "/Sources/COBOL/PAY.cbl"));
  EXPECT_FALSE(std::filesystem::exists(root_ + "/out/PAY.lst"));
  ASSERT_EQ(workspace_->log->records.size(), 1u);
  const LogRecord& record = workspace_->log->records[0];
  EXPECT_EQ(std::tie(record.title, record.severity, record.object_id),
            std::tuple("Unregister", 0, std::nullopt));
  EXPECT_THAT(record.text, ::testing::AllOf(::testing::HasSubstr("'PAY'"),
                                            ::testing::HasSubstr("'COBOL program'")));
  EXPECT_EQ(registration::StateOf(service_).Workspace, nullptr);
}

TEST_F(UnregisterTest, LastFolderStaysAndOtherFoldersKeepTheirRelations) {
  auto only = repository_->Add("FOLDER", "ONLY");
  EXPECT_FALSE(service_.Unregister(workspace_, only->Id()));
  EXPECT_EQ(repository_->objects.size(), 1u);
  EXPECT_TRUE(workspace_->log->records.empty());

  auto second = repository_->Add("FOLDER", "SECOND");
  second->folders = {only->Id()};
  EXPECT_TRUE(service_.Unregister(workspace_, second->Id()));
  EXPECT_FALSE(repository_->Called("RemoveRelation"));
  EXPECT_FALSE(repository_->Called("Relations"));
}

TEST_F(UnregisterTest, GuardedAndUnguardedFailures) {
  EXPECT_FALSE(service_.Unregister(workspace_, "COBOL:404"));
  EXPECT_TRUE(workspace_->log->records.empty());

  auto pay = repository_->Add("COBOL", "PAY");
  repository_->failing = {"UnregisterObject"};
  EXPECT_FALSE(service_.Unregister(workspace_, pay->Id()));
  repository_->failing = {"Relations"};
  EXPECT_THROW(service_.Unregister(workspace_, pay->Id()), Error);
  EXPECT_THROW(service_.Unregister(nullptr, pay->Id()), Error);
}

TEST_F(UnregisterTest, GroupKeepsTheFoldersNearestTheStart) {
  auto a = repository_->Add("FOLDER", "A");
  auto b = repository_->Add("FOLDER", "B");
  auto c = repository_->Add("FOLDER", "C");
  auto p = repository_->Add("COBOL", "P");
  p->folders = {a->Id()};
  host::IdCollection ids{a->Id(), p->Id(), b->Id(), c->Id()};
  EXPECT_TRUE(service_.GroupUnregister(workspace_, ids));
  EXPECT_EQ(ids, (host::IdCollection{p->Id(), b->Id(), c->Id()}));
  ASSERT_EQ(repository_->objects.size(), 1u);
  EXPECT_EQ(repository_->objects[0]->Id(), a->Id());
  EXPECT_TRUE(p->folders.empty());

  host::IdCollection none;
  EXPECT_TRUE(service_.GroupUnregister(workspace_, none));
  EXPECT_TRUE(repository_->Called("UnregisterObjects"));
}

TEST_F(UnregisterTest, InvalidateWithoutWorkspaceUsesTheBindingAndKeepsIt) {
  auto pay = repository_->Add("COBOL", "PAY");
  pay->generated = {".PAY.lst"};
  dir_.Write("ws/PAY.lst", "x");
  EXPECT_FALSE(service_.Invalidate(nullptr, pay->Id()));  // nothing bound yet

  registration::StateOf(service_).AttachWorkspace(workspace_);
  EXPECT_TRUE(service_.Invalidate(nullptr, pay->Id()));
  EXPECT_NE(registration::StateOf(service_).Workspace, nullptr);
  EXPECT_FALSE(std::filesystem::exists(root_ + "/PAY.lst"));

  EXPECT_TRUE(service_.StrongInvalidate(workspace_, pay->Id()));
  EXPECT_EQ(registration::StateOf(service_).Workspace, nullptr);
  EXPECT_FALSE(service_.StrongInvalidate(workspace_, "COBOL:404"));
  // The group form guards nothing.
  host::IdCollection ids{pay->Id()};
  EXPECT_TRUE(service_.GroupStrongInvalidate(workspace_, ids));
  repository_->failing = {"InvalidateObjects"};
  EXPECT_THROW(service_.GroupStrongInvalidate(workspace_, ids), Error);
}

}  // namespace
}  // namespace svregistration
