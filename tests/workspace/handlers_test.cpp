// The built-in registration handlers and the IdUtility, created through the class registry as
// the registration service creates them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_workspace.h"
#include "svregistration/class_registry.h"
#include "svregistration/host/registration_handler.h"
#include "svregistration/host/utilities.h"
#include "workspace/default_options.h"
#include "workspace/repository/registration_handlers.h"
#include "workspace/repository/schema.h"
#include "workspace/repository_fixture.h"

namespace svregistration::workspace::testing {
namespace {

class HandlerTest : public RepositoryTest {
 protected:
  HandlerTest() { RegisterWorkspaceClasses(); }

  /// What the handler the object's type names answers for an object whose registered copy is
  /// `copy` ("" leaves the source attribute unset).
  bool Accepts(const std::string& type, const std::string& copy) {
    auto object = NewWith(type, "OBJ" + std::to_string(++count_), {{"Source", copy}});
    auto handler = ClassRegistry::Instance().Create<host::RegistrationHandler>(
        object->ObjectType()->RegistrationHandler());
    return handler->OnObjectRegister(workspace_, object);
  }

  std::shared_ptr<host::Workspace> workspace_ =
      std::make_shared<svregistration::testing::FakeWorkspace>(dir_.path().string(),
                                                               DefaultWorkspaceOptions());
  int count_ = 0;
};

TEST_P(HandlerTest, ExtensionHandlerAcceptsTheTypesExtensions) {
  // The default options give COBOL the extensions .cbl and .cob.
  for (const char* copy :
       {"Sources/COBOL/PAY.cbl", "Sources\\COBOL\\PAY.CBL", "Sources/COBOL/PAY.Cob"}) {
    EXPECT_TRUE(Accepts("COBOL", copy)) << copy;
  }
  for (const char* copy :
       {"Sources/COBOL/PAY.cpy", "Sources/COBOL/PAY.cbl.bak", "Sources/a.cbl/PAY", ""}) {
    EXPECT_FALSE(Accepts("COBOL", copy)) << copy;
  }
}

TEST_P(HandlerTest, ExtensionHandlerReadsTheWorkspaceOptions) {
  auto options = workspace_->WorkspaceOptions()->Document();
  auto strings = options->select_node(
      ".//LIST[@NAME='Extension']/CASE[@NAME='COBOL']/STRINGS[@NAME='Extensions']");
  strings.node().append_child("STRING").append_attribute("VALUE").set_value(".CBX");
  EXPECT_TRUE(Accepts("COBOL", "Sources/COBOL/PAY.cbx"));

  auto object = NewWith("COBOL", "NODOC", {{"Source", "Sources/COBOL/PAY.cbl"}});
  std::shared_ptr<host::Workspace> bare =
      std::make_shared<svregistration::testing::FakeWorkspace>(dir_.path().string(), "");
  EXPECT_EQ(ErrorNumber([&] { ExtensionHandler().OnObjectRegister(bare, object); }),
            error_number::kObjectNotSet);
}

TEST_P(HandlerTest, TypesNameHandlersThatAcceptOrCannotBeCreatedAndTheIdUtilityIsThere) {
  for (const char* type : {"COPYBOOK", "JCL", "PLI"}) EXPECT_TRUE(Accepts(type, "")) << type;
  auto map = repository_->SchemaObjectType("BMS");
  EXPECT_EQ(
      ErrorNumber([&] {
        ClassRegistry::Instance().Create<host::RegistrationHandler>(map->RegistrationHandler());
      }),
      error_number::kCannotCreateObject);
  auto ids = ClassRegistry::Instance().Create<host::IdUtility>(host::kIdUtilityClass);
  EXPECT_EQ(ids->ObjectTypeOfId(New("FOLDER", "F")->Id()), "FOLDER");
}

// The handlers read only what every repository stores alike.
INSTANTIATE_TEST_SUITE_P(Sqlite, HandlerTest,
                         ::testing::Values(svregistration::testing::Backend::kSqlite),
                         svregistration::testing::BackendName);

}  // namespace
}  // namespace svregistration::workspace::testing
