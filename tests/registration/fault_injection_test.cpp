// Every file system operation of registration, refresh and unregistration made to fail in turn
// (no space, permission denied, I/O error): each failure gives a prescribed result or error, a log
// record where one is prescribed, and never a partial file.
#include "os/fault_injection.h"

#include <gtest/gtest.h>

#include <functional>

#include "runtime/host_utilities.h"
#include "support/error_capture.h"
#include "support/fake_repository.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/ccsid.h"
#include "svregistration/error.h"
#include "svregistration/icu_table.h"
#include "svregistration/sv_standard.h"

namespace svregistration {
namespace {

using namespace testing;
using os::FileSystemFault;

// One run of the operation under test, in a fresh folder with a fresh workspace.
struct Attempt {
  TempDir dir;
  std::shared_ptr<FakeRepository> repository = std::make_shared<FakeRepository>();
  std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>(
      dir / "ws", WorkspaceOptionsXml({.expand_tabs = true, .remove_numeration = true}));
  SVStandard service;
  Attempt() { workspace->repository = repository; }
};

// For each kind of fault, makes the 1st, 2nd, ... file system operation of `operate` fail until a
// run no longer reaches the fault. `check` gets the result and whether the fault fired; no run
// may leave a temporary file anywhere.
void SweepFaults(const std::function<void(Attempt&)>& prepare,
                 const std::function<int(Attempt&)>& operate,
                 const std::function<void(Attempt&, int result, bool fired)>& check) {
  for (FileSystemFault fault :
       {FileSystemFault::kNoSpace, FileSystemFault::kPermissionDenied, FileSystemFault::kIoError}) {
    for (long nth = 1;; ++nth) {
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at operation " +
                   std::to_string(nth));
      Attempt attempt;
      prepare(attempt);
      os::InjectFileSystemFault(nth, fault);
      int result = operate(attempt);
      bool fired = os::FileSystemFaultFired();
      os::ClearFileSystemFault();
      check(attempt, result, fired);
      for (const auto& entry : std::filesystem::recursive_directory_iterator(attempt.dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos)
            << entry.path();
      }
      if (!fired) break;
    }
  }
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTestHandlers();
    runtime::ResetThreadUtilities();
  }
  void TearDown() override { os::ClearFileSystemFault(); }
};

// A plain copy and a normalised one; a failed copy is logged with the source's path.
TEST_F(FaultInjectionTest, RegistrationGivesItsResultAndNoPartialCopy) {
  const std::string source = "\tMOVE A TO B.   \n" + std::string(5000, 'X') + "\n";
  const std::string normalised = "        MOVE A TO B.\r\n" + std::string(72, 'X') + "\r\n";
  for (bool encoding : {true, false}) {
    SweepFaults(
        [&](Attempt& a) { a.dir.Write("in/PAY.cbl", source); },
        [&](Attempt& a) {
          std::string name = "PAY";
          return a.service.RegisterEx(a.workspace, "COBOL", name, a.dir / "in/PAY.cbl", encoding);
        },
        [&](Attempt& a, int result, bool fired) {
          std::string target = a.dir / "ws/Sources/COBOL/PAY.cbl";
          const std::vector<LogRecord>& records = a.workspace->log->records;
          EXPECT_TRUE(fired || result == rOK) << result;
          switch (result) {
            case rErrorOnCreateSourceDirectory:
              EXPECT_TRUE(records.empty());
              break;
            case rUnexpectedRegistrationError:
              ASSERT_EQ(records.size(), 1u);
              EXPECT_EQ(std::tie(records[0].title, records[0].severity), std::tuple("Register", 2));
              EXPECT_NE(records[0].text.find(a.dir / "in/PAY.cbl"), std::string::npos);
              EXPECT_FALSE(std::filesystem::exists(target));
              EXPECT_TRUE(a.repository->objects.empty());
              break;
            case rOK:  // also when the failure is one the operation does not depend on
              EXPECT_EQ(ReadFile(target), encoding ? normalised : source);
              break;
            default:
              ADD_FAILURE() << "result " << result;
          }
        });
  }
}

TEST_F(FaultInjectionTest, RefreshLeavesTheOldCopyOrTheNewOne) {
  SweepFaults(
      [](Attempt& a) {
        std::string name = "PAY";
        std::string source = a.dir.Write("in/PAY.cbl", "OLD\n");
        ASSERT_EQ(a.service.RegisterEx(a.workspace, "COBOL", name, source, true), rOK);
        a.dir.Write("in/PAY.cbl", "NEW CONTENT\n");
      },
      [](Attempt& a) {
        long copied = 0;
        return a.service.RefreshSource(a.workspace, a.service.RegisteredObjectId(), copied);
      },
      [](Attempt& a, int result, bool fired) {
        std::string copy = ReadFile(a.dir / "ws/Sources/COBOL/PAY.cbl");
        if (!fired) {
          EXPECT_EQ(result, rOK);
          EXPECT_EQ(copy, "NEW CONTENT\r\n");
        }
        EXPECT_TRUE(copy == "OLD\r\n" || copy == "NEW CONTENT\r\n") << copy;
        EXPECT_TRUE(result == rOK ||
                    a.workspace->log->records.size() == 1u);  // the failure is logged
      });
}

// The host's file removal and the manifest passes absorb deletion failures: the object is
// unregistered and logged; a manifest that cannot be read fails the call and stays whole.
TEST_F(FaultInjectionTest, UnregistrationReportsAndKeepsTheRepositoryWhole) {
  SweepFaults(
      [](Attempt& a) {
        auto object = a.repository->Add("COBOL", "PAY");
        object->attributes["Source"] = "Sources/COBOL/PAY.cbl";
        object->generated = {":out/PAY.mf"};
        a.dir.Write("ws/Sources/COBOL/PAY.cbl", "x");
        a.dir.Write("ws/out/PAY.mf", "gen/PAY.obj\n//DIR:gen\n");
        a.dir.Write("ws/out/gen/PAY.obj", "x");
      },
      [](Attempt& a) {
        return static_cast<int>(a.service.Unregister(a.workspace, a.repository->objects[0]->Id()));
      },
      [](Attempt& a, int ok, bool fired) {
        EXPECT_TRUE(a.repository->objects.empty());
        if (ok) {
          // The success record, and a warning for each file the fault kept from going.
          int successes = 0;
          for (const auto& record : a.workspace->log->records) {
            if (record.severity == host::kSeverityInformation)
              ++successes;
            else
              EXPECT_EQ(record.text.rfind("Not deleted: ", 0), 0u) << record.text;
          }
          EXPECT_EQ(successes, 1);
          EXPECT_EQ(a.workspace->log->records.size() > 1,
                    std::filesystem::exists(a.dir / "ws/Sources/COBOL/PAY.cbl"));
        } else {
          EXPECT_TRUE(std::filesystem::exists(a.dir / "ws/out/PAY.mf"));
        }
        EXPECT_TRUE(fired || !std::filesystem::exists(a.dir / "ws/out/gen"));
      });
}

TEST_F(FaultInjectionTest, TableSavingLeavesTheOldTableOrRaises) {
  CCSID table;
  FillFromIcu(table, "ibm-37");
  const std::string old_table(3000, '\x7F');
  SweepFaults([&](Attempt& a) { a.dir.Write("ibm-37.tbl", old_table); },
              [&](Attempt& a) {
                const Error error = CaptureError([&] { table.Save(a.dir / "ibm-37.tbl"); });
                EXPECT_NE(error.description().find(error.number() ? a.dir / "ibm-37.tbl" : ""),
                          std::string::npos);
                return error.number() != 0 ? 1 : 0;
              },
              [&](Attempt& a, int raised, bool fired) {
                EXPECT_EQ(raised != 0, fired);
                const std::string saved = ReadFile(a.dir / "ibm-37.tbl");
                EXPECT_TRUE(fired ? saved == old_table : saved.size() == 1024u);  // old, whole
              });
}

}  // namespace
}  // namespace svregistration
