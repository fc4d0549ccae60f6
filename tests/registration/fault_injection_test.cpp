// Every file system operation of registration, refresh and unregistration made to fail in turn
// (no space, permission denied, I/O error): each failure gives a prescribed result or error, a log
// record where one is prescribed, and never a partial file.
#include <gtest/gtest.h>

#include "platform/fault_injection.h"
#include "platform/host_utilities.h"
#include "registration/sv_standard_state.h"
#include "support/fake_repository.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/ccsid.h"
#include "svregistration/error.h"
#include "svregistration/icu_table.h"

namespace svregistration {
namespace {

using namespace testing;
using platform::FileSystemFault;

constexpr FileSystemFault kFaults[] = {FileSystemFault::kNoSpace, FileSystemFault::kPermissionDenied,
                                       FileSystemFault::kIoError};

// No temporary file is left anywhere under the folder.
void ExpectNoTemporaryFiles(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
  }
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTestHandlers();
    platform::ResetThreadUtilities();
  }
  void TearDown() override { platform::ClearFileSystemFault(); }

  std::shared_ptr<FakeWorkspace> NewWorkspace(const std::string& root, FakeRepository*& repository) {
    auto workspace = std::make_shared<FakeWorkspace>(
        root, WorkspaceOptionsXml({.expand_tabs = true, .remove_numeration = true}));
    auto repo = std::make_shared<FakeRepository>();
    repository = repo.get();
    workspace->repository = repo;
    return workspace;
  }
};

TEST_F(FaultInjectionTest, RegistrationGivesItsResultAndNoPartialCopy) {
  for (FileSystemFault fault : kFaults) {
    for (long nth = 1;; ++nth) {
      TempDir dir;
      std::string source = dir.Write("in/PAY.cbl", "\tMOVE A TO B.   \n" + std::string(5000, 'X') + "\n");
      FakeRepository* repository = nullptr;
      auto workspace = NewWorkspace(dir / "ws", repository);
      SVStandard service;
      std::string name = "PAY";
      platform::InjectFileSystemFault(nth, fault);
      SVRegistrationResults result = service.RegisterEx(workspace, "COBOL", name, source, true);
      bool fired = platform::FileSystemFaultFired();
      platform::ClearFileSystemFault();
      std::string target = dir / "ws/Sources/COBOL/PAY.cbl";
      if (!fired) {
        EXPECT_EQ(result, rOK);
        EXPECT_EQ(ReadFile(target), "        MOVE A TO B.\r\n" + std::string(72, 'X') + "\r\n");
        break;
      }
      SCOPED_TRACE("fault at operation " + std::to_string(nth));

      switch (result) {
        case rErrorOnCreateSourceDirectory:
          EXPECT_TRUE(workspace->log->records.empty());
          break;
        case rUnexpectedRegistrationError:
          ASSERT_EQ(workspace->log->records.size(), 1u);
          EXPECT_EQ(workspace->log->records[0].title, "Register");
          EXPECT_FALSE(std::filesystem::exists(target));
          EXPECT_TRUE(repository->objects.empty());
          break;
        case rOK:  // a failure the operation does not depend on (a folder already there)
          EXPECT_EQ(ReadFile(target), "        MOVE A TO B.\r\n" + std::string(72, 'X') + "\r\n");
          break;
        default:
          ADD_FAILURE() << "result " << result;
      }
      ExpectNoTemporaryFiles(dir.path());
    }
  }
}

TEST_F(FaultInjectionTest, RefreshLeavesTheOldCopyOrTheNewOne) {
  for (FileSystemFault fault : kFaults) {
    for (long nth = 1;; ++nth) {
      TempDir dir;
      std::string source = dir.Write("in/PAY.cbl", "OLD\n");
      FakeRepository* repository = nullptr;
      auto workspace = NewWorkspace(dir / "ws", repository);
      SVStandard service;
      std::string name = "PAY";
      ASSERT_EQ(service.RegisterEx(workspace, "COBOL", name, source, true), rOK);
      std::string id = service.RegisteredObjectId();
      dir.Write("in/PAY.cbl", "NEW CONTENT\n");
      long copied = 0;
      platform::InjectFileSystemFault(nth, fault);
      int result = service.RefreshSource(workspace, id, copied);
      bool fired = platform::FileSystemFaultFired();
      platform::ClearFileSystemFault();
      std::string copy = ReadFile(dir / "ws/Sources/COBOL/PAY.cbl");
      if (!fired) {
        EXPECT_EQ(result, rOK);
        EXPECT_EQ(copy, "NEW CONTENT\r\n");
        break;
      }
      SCOPED_TRACE("fault at operation " + std::to_string(nth));
      EXPECT_TRUE(copy == "OLD\r\n" || copy == "NEW CONTENT\r\n") << copy;
      if (result != rOK) {
        EXPECT_EQ(workspace->log->records.size(), 1u);  // the failure is logged
      }
      ExpectNoTemporaryFiles(dir.path());
    }
  }
}

TEST_F(FaultInjectionTest, UnregistrationReportsAndKeepsTheRepositoryWhole) {
  for (FileSystemFault fault : kFaults) {
    for (long nth = 1;; ++nth) {
      TempDir dir;
      FakeRepository* repository = nullptr;
      auto workspace = NewWorkspace(dir / "ws", repository);
      auto object = repository->Add("COBOL", "PAY");
      object->attributes["Source"] = "Sources/COBOL/PAY.cbl";
      object->generated = {":out/PAY.mf"};
      dir.Write("ws/Sources/COBOL/PAY.cbl", "x");
      dir.Write("ws/out/PAY.mf", "gen/PAY.obj\n//DIR:gen\n");
      dir.Write("ws/out/gen/PAY.obj", "x");
      SVStandard service;
      platform::InjectFileSystemFault(nth, fault);
      bool ok = service.Unregister(workspace, object->Id());
      bool fired = platform::FileSystemFaultFired();
      platform::ClearFileSystemFault();
      // The host's file removal and the manifest passes absorb deletion failures: the object is
      // unregistered and logged; a manifest that cannot be read fails the call and stays whole.
      EXPECT_TRUE(repository->objects.empty());
      if (ok) {
        EXPECT_EQ(workspace->log->records.size(), 1u);
      } else {
        EXPECT_TRUE(std::filesystem::exists(dir.path() / "ws/out/PAY.mf"));
      }
      if (!fired) {
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "ws/out") &&
                     std::filesystem::exists(dir.path() / "ws/out/gen"));
        break;
      }
    }
  }
}

TEST_F(FaultInjectionTest, TableSavingLeavesTheOldTableOrRaises) {
  for (FileSystemFault fault : kFaults) {
    TempDir dir;
    CCSID table;
    FillFromIcu(table, "ibm-37");
    std::string path = dir.Write("ibm-37.tbl", std::string(3000, '\x7F'));
    platform::InjectFileSystemFault(1, fault);
    try {
      table.Save(path);
      ADD_FAILURE() << "the injected failure was not reported";
    } catch (const Error& e) {
      EXPECT_NE(e.description().find(path), std::string::npos) << e.description();
    }
    platform::ClearFileSystemFault();
    EXPECT_EQ(ReadFile(path), std::string(3000, '\x7F'));  // the old table, whole
    ExpectNoTemporaryFiles(dir.path());
    table.Save(path);
    EXPECT_EQ(ReadFile(path).size(), 1024u);
  }
}

}  // namespace
}  // namespace svregistration
