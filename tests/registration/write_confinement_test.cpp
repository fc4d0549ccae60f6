// What a shared workspace may hold that registration and refresh will not follow: configured
// Sources folders and recorded copies leading out or onto the workspace's own files, links at a
// copy's name or in a Sources folder's place, and originals more private than their copies.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <tuple>

#include "support/fake_repository.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/sv_standard.h"

namespace svregistration {
namespace {

using namespace testing;
namespace fs = std::filesystem;

class WriteConfinementTest : public FakeHostTest {
 protected:
  void SetUp() override {
    workspace_->protected_paths = {"workspace.db", "options/", "Sources/COBOL"};
    dir_.Write("ws/workspace.db", "db");
    dir_.Write("ws/options/workspace.xml", "<OPTIONS/>");
    dir_.Write("outside/file", "theirs");
  }
  // Nothing outside the workspace and none of its own files changed.
  void ExpectUntouched(const std::string& what) {
    EXPECT_EQ(ReadFile(dir_ / "outside/file"), "theirs") << what;
    EXPECT_EQ(ReadFile(dir_ / "ws/workspace.db"), "db") << what;
    EXPECT_EQ(ReadFile(dir_ / "ws/options/workspace.xml"), "<OPTIONS/>") << what;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "outside/PAY.cbl"))) << what;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "outside/new"))) << what;
  }

  // Refreshes a new object whose copy is recorded as `copy`: the number of files copied.
  long Refresh(const std::string& copy, const std::string& original) {
    auto object = repository_->Add("COBOL", "PAY");
    object->attributes["Source"] = copy;
    object->attributes["OriginalSource"] = original;
    long copied = -1;
    service_.RefreshSource(workspace_, object->Id(), copied);
    return copied;
  }
};

// Each configured folder or planted link is refused before anything is written, with a warning
// that names it; a link at the copy's name is another file there (8), never written through.
TEST_F(WriteConfinementTest, RegistrationWritesOnlyInsideTheWorkspace) {
  // The configured Directory ("" for none), a link planted at this path below ws/ ("" for none)
  // leading there ("" to `out`), and the result.
  const std::string out = dir_ / "outside";
  const std::tuple<const char*, const char*, const char*, int> cases[] = {
      {"..\\outside", "", "", rErrorOnCreateSourceDirectory},
      {"../outside/file", "", "", rErrorOnCreateSourceDirectory},
      {"workspace.db", "", "", rErrorOnCreateSourceDirectory},
      {"options\\sub", "", "", rErrorOnCreateSourceDirectory},
      {"", "Sources/COBOL", "../../outside", rErrorOnCreateSourceDirectory},
      {"Src", "Src", "", rErrorOnCreateSourceDirectory},  // leads to `out`, absolute
      {"", "Sources/COBOL/PAY.cbl", "../../../outside/new", rFileAllreadyExists},
      {"", "Sources/COBOL/PAY.cbl", "../../../outside/file", rFileAllreadyExists},
  };
  const std::string source = dir_.Write("in/PAY.cbl", "new\n");
  for (const auto& [directory, plant, leads_to, result] : cases) {
    const std::string what = std::string(directory) + " " + plant;
    fs::remove_all(dir_ / "ws/Sources");
    fs::remove_all(dir_ / "ws/Src");
    ConfigureDirectory(directory);
    if (*plant) {
      fs::create_directories((fs::path(root_) / plant).parent_path());
      fs::create_symlink(*leads_to ? std::string(leads_to) : out, fs::path(root_) / plant);
    }
    workspace_->log->records.clear();
    std::string name = "PAY";
    EXPECT_EQ(service_.RegisterEx(workspace_, "COBOL", name, source, false), result) << what;
    EXPECT_TRUE(repository_->objects.empty()) << what;
    ExpectUntouched(what);
    ASSERT_EQ(workspace_->log->records.size(), 1u) << what;
    EXPECT_EQ(workspace_->log->records[0].severity, host::kSeverityWarning) << what;
  }
}

// A file standing where the type's Sources folder goes is the user's when the host protects that
// folder: kept, and the registration refused.
TEST_F(WriteConfinementTest, UsersFileWhereAProtectedSourcesFolderGoesIsKept) {
  dir_.Write("ws/Sources/COBOL", "mine");
  std::string name = "PAY";
  EXPECT_EQ(service_.RegisterEx(workspace_, "COBOL", name, dir_.Write("in/PAY.cbl", "x"), false),
            rErrorOnCreateSourceDirectory);
  EXPECT_EQ(ReadFile(dir_ / "ws/Sources/COBOL"), "mine");
}

// A recorded copy is written only inside the workspace, never one of its own files, never
// through a link at its name; a "\" in the recorded name stays part of it when the copy is
// made again.
TEST_F(WriteConfinementTest, RefreshWritesOnlyTheRecordedCopyInsideTheWorkspace) {
  const std::string original = dir_.Write("in/PAY.cbl", "changed\n");
  fs::create_directories(dir_ / "ws/Sources/COBOL");
  fs::create_symlink(dir_ / "outside/file", dir_ / "ws/Sources/COBOL/LINK.cbl");
  fs::create_symlink("../../../outside/new", dir_ / "ws/Sources/COBOL/DANGLING.cbl");
  const char* refused[] = {"../outside/file",        "options/workspace.xml",      "workspace.db",
                           "Sources/COBOL/LINK.cbl", "Sources/COBOL/DANGLING.cbl", "/outside/file"};
  for (const char* copy : refused) {
    workspace_->log->records.clear();
    EXPECT_EQ(Refresh(copy, original), 0) << copy;
    ExpectUntouched(copy);
    ASSERT_EQ(workspace_->log->records.size(), 1u) << copy;
    EXPECT_NE(workspace_->log->records[0].text.find(copy), std::string::npos) << copy;
  }
  EXPECT_EQ(Refresh("Sources/COBOL/..\\..\\..\\outside\\PAY.cbl", original), 1);
  EXPECT_EQ(ReadFile(dir_ / "ws/Sources/COBOL/..\\..\\..\\outside\\PAY.cbl"), "changed\n");
  ExpectUntouched("a recorded name holding ..\\");
}

// The copy withholds what its original withholds, when registered and when refreshed.
TEST_F(WriteConfinementTest, CopyIsNeverMoreReadableThanItsOriginal) {
  constexpr fs::perms kGroupAndOthers = fs::perms::group_all | fs::perms::others_all;
  const std::string original = dir_.Write("in/PAY.cbl", "secret\n");
  ::chmod(original.c_str(), 0600);
  for (bool encoding : {false, true}) {
    std::string name = encoding ? "PAY2" : "PAY";
    fs::remove_all(dir_ / "ws/Sources");
    repository_->objects.clear();
    ASSERT_EQ(service_.RegisterEx(workspace_, "COBOL", name, original, encoding), rOK);
    EXPECT_EQ(fs::status(root_ + "/Sources/COBOL/PAY.cbl").permissions() & kGroupAndOthers,
              fs::perms::none)
        << encoding;
  }
  ::chmod((root_ + "/Sources/COBOL/PAY.cbl").c_str(), 0644);
  dir_.Write("in/PAY.cbl", "secret, changed\n");
  long copied = 0;
  service_.RefreshSource(workspace_, repository_->objects[0]->Id(), copied);
  EXPECT_EQ(copied, 1);
  EXPECT_EQ(fs::status(root_ + "/Sources/COBOL/PAY.cbl").permissions() & kGroupAndOthers,
            fs::perms::none);
}

}  // namespace
}  // namespace svregistration
