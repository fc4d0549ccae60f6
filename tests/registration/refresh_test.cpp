// Refresh on a fake host: rewritten, unchanged, re-created and missing copies, the folder run with
// its log records and stops, and the search for originals of unregistered objects.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "registration/original_search.h"
#include "registration/sv_standard_state.h"
#include "resources/message_catalogue.h"
#include "support/error_capture.h"
#include "support/fake_repository.h"
#include "support/fake_workspace.h"
#include "support/scripted_user_interface.h"
#include "support/temp_dir.h"
#include "svregistration/error.h"

namespace svregistration {
namespace {

using namespace testing;
using namespace resources;

class RefreshTest : public FakeHostTest {
 protected:
  RefreshTest()
      : FakeHostTest(
            "<OPTIONS><CASE ID='Registration'><LIST NAME='Extension'><CASE NAME='COBOL'>"
            "<STRINGS NAME='Extensions'><STRING VALUE='.cbl'/><STRING VALUE='.cob'/></STRINGS>"
            "</CASE></LIST></CASE><CASE ID='Encoding'><FILE NAME='DefSourceDir' VALUE=''/>"
            "<LIST NAME='ObjectComputerEncoding' VALUE='E'><CASE NAME='E'>"
            "<TEXT NAME='SourceLocale' VALUE='1033'/><TEXT NAME='RegisteredLocale' VALUE='1033'/>"
            "</CASE></LIST></CASE></OPTIONS>") {
    service_.SetUserInterface(ui_);
  }

  std::shared_ptr<FakeObject> Registered(const std::string& name, const std::string& original,
                                         const std::string& copy_content) {
    auto object = repository_->Add("COBOL", name);
    object->attributes["Source"] = "Sources/COBOL/" + name + ".cbl";
    object->attributes["OriginalSource"] = original;
    if (!copy_content.empty()) dir_.Write("ws/Sources/COBOL/" + name + ".cbl", copy_content);
    return object;
  }

  // The result and the number of files copied.
  using Outcome = std::pair<int, long>;
  Outcome Refresh(const std::string& id, const std::string& source = "") {
    long copied = -1;
    const int result = service_.RefreshSource(workspace_, id, copied, source);
    return {result, copied};
  }

  std::shared_ptr<ScriptedUserInterface> ui_ = std::make_shared<ScriptedUserInterface>();
};

// A changed original (or a missing copy, with its type's folder) is copied and the object
// invalidated; an original given is recorded even when it is unchanged; a missing or unknown
// original is logged.
TEST_F(RefreshTest, SingleObjectOutcomes) {
  const std::string same = dir_.Write("orig/SAME.cbl", "A\n");
  std::filesystem::create_directories(root_ + "/Sources");  // the first copy makes its folder
  // name, original, copy (none when empty), original given, result, files copied
  const std::tuple<const char*, std::string, const char*, std::string, int, long> cases[] = {
      {"NEW", dir_.Write("orig/NEW.cbl", "B\n"), "", "", rOK, 1},
      {"SAME", dir_ / "elsewhere.cbl", "A\n", same, rOK, 0},
      {"CHG", dir_.Write("orig/CHG.cbl", "B\n"), "A\n", "", rOK, 1},
      {"GONE", dir_ / "orig/GONE.cbl", "A\n", "", rOK | rSourceFileIsMissed, 0},
      {"UNK", "", "A\n", "", rOK | rOriginalSourceUnknown, 0},
      {"HERE", root_ + "/Sources/COBOL/HERE.cbl", "A\n", "", rOK, 0},
      {"ÉTÉ", root_ + "/Sources/COBOL/été.cbl", "A\n", "", rOK, 0},  // letter case of any script
      // A copy holding only the start of the new form, or the new form and more, is rewritten.
      {"SHORT", dir_ / "orig/CHG.cbl", "B", "", rOK, 1},
      {"LONG", dir_ / "orig/CHG.cbl", "B\nMORE\n", "", rOK, 1},
  };
  for (const auto& [name, original, copy, given, result, copied] : cases) {
    auto object = Registered(name, original, copy);
    const auto [answer, count] = Refresh(object->Id(), given);
    EXPECT_EQ(std::tuple(answer, count, ReadFile(root_ + "/Sources/COBOL/" + name + ".cbl"),
                         repository_->Called("InvalidateObject(" + object->Id())),
              std::tuple(result, copied, copied ? "B\n" : "A\n", copied == 1))
        << name;
  }
  EXPECT_EQ(repository_->objects[1]->attributes["OriginalSource"], same);
  ASSERT_EQ(workspace_->log->records.size(), 2u);
  const LogRecord& record = workspace_->log->records[0];
  EXPECT_EQ(std::tie(record.title, record.severity, record.object_id, record.text),
            std::tuple("Refresh sources", 2, repository_->objects[3]->Id(),
                       LoadMessage(kMsgOriginalSourceNotFound)));
  EXPECT_EQ(workspace_->log->records[1].text, LoadMessage(kMsgOriginalSourceNotKnown));
}

// An unchanged copy still has its original recorded; when that write fails, the refresh says so
// (the error is logged with its description) instead of answering that nothing was needed.
TEST_F(RefreshTest, UnchangedCopyRecordsItsOriginalAndReportsAFailedWrite) {
  const std::string original = dir_.Write("orig/SAME.cbl", "A\n");
  auto object = Registered("SAME", original, "A\n");
  repository_->failing = {"SetAttribute"};
  EXPECT_EQ(Refresh(object->Id()).first, rOK);
  EXPECT_TRUE(repository_->Called("SetAttribute(" + object->Id() + ".OriginalSource=" + original));
  ASSERT_EQ(workspace_->log->records.size(), 1u);
  EXPECT_EQ(workspace_->log->records[0].text, "SetAttribute failed");
}

TEST_F(RefreshTest, FolderRunGoesOnAfterFailuresAndStopsAt256) {
  auto folder = repository_->Add("FOLDER", "F");
  auto first = Registered("ONE", dir_.Write("orig/ONE.cbl", "new\n"), "old\n");
  auto second = Registered("TWO", dir_ / "orig/TWO.cbl", "x\n");
  auto third = Registered("THREE", dir_.Write("orig/THREE.cbl", "new\n"), "old\n");
  for (auto& member : {first, second, third}) member->folders = {folder->Id()};
  EXPECT_EQ(Refresh(folder->Id()), Outcome(rOK | rSourceFileIsMissed, 2));
  EXPECT_EQ(service_.RegisteredObjectId(), folder->Id());

  // An invalidation failure gives 256 and ends the run.
  dir_.Write("orig/ONE.cbl", "newer\n");
  dir_.Write("orig/THREE.cbl", "newer\n");
  repository_->failing = {"InvalidateObject"};
  EXPECT_EQ(Refresh(folder->Id()), Outcome(rOK | rUnexpectedRegistrationError, 0));
  EXPECT_EQ(ReadFile(root_ + "/Sources/COBOL/THREE.cbl"), "new\n");  // THREE is not reached
  EXPECT_NE(workspace_->log->records.back().text.find("256"), std::string::npos);
  EXPECT_EQ(registration::StateOf(service_).Workspace, nullptr);
}

// The host's protected paths are asked for at every call, or, from a host that counts the
// revisions of its options, again only when the count moves.
TEST_F(RefreshTest, ProtectedPathsAreAskedAgainWhenTheRevisionMoves) {
  auto folder = repository_->Add("FOLDER", "F");
  for (const char* name : {"ONE", "TWO", "THREE"}) {
    Registered(name, dir_.Write(std::string("orig/") + name + ".cbl", "same\n"), "same\n")
        ->folders = {folder->Id()};
  }
  for (std::uint64_t revision : {0u, 0u, 5u, 5u, 6u}) {
    workspace_->revision = revision;
    EXPECT_EQ(Refresh(folder->Id()).first, rOK);
  }
  // Three members in each of two runs without a count; then once for 5 and once for 6.
  EXPECT_EQ(workspace_->protected_asks, 3 + 3 + 1 + 1);
}

// A link swapped in at a changed copy's name after it was looked at, while the options are read,
// is never written through: the rewrite fails and what the link leads to stays as it was.
TEST_F(RefreshTest, ALinkSwappedInAtTheCopyIsNotWrittenThrough) {
  auto object = Registered("PAY", dir_.Write("orig/PAY.cbl", "new\n"), "old\n");
  const std::string copy = root_ + "/Sources/COBOL/PAY.cbl";
  const std::string outside = dir_.Write("outside.cbl", "theirs\n");
  workspace_->on_options = [&] {
    if (std::filesystem::is_symlink(copy)) return;
    std::filesystem::remove(copy);
    std::filesystem::create_symlink(outside, copy);
  };
  EXPECT_EQ(Refresh(object->Id()).first, rOK | rUnexpectedRegistrationError);
  EXPECT_EQ(ReadFile(outside), "theirs\n");
  EXPECT_TRUE(std::filesystem::is_symlink(copy));
}

// The Sources folder stays open from one call to the next only while its path leads to it: one
// moved away (a link leading out, or another folder, in its place) is never written through.
TEST_F(RefreshTest, AKeptSourcesFolderMovedAwayIsNotWrittenIn) {
  namespace fs = std::filesystem;
  const std::string folder = root_ + "/Sources/COBOL";
  const std::string outside = dir_ / "outside";
  const std::pair<const char*, std::function<void()>> swaps[] = {
      {"a link leading out", [&] { fs::create_directory_symlink(outside, folder); }},
      {"another folder", [&] { dir_.Write("ws/Sources/COBOL/PAY.cbl", "old\n"); }},
  };
  for (const auto& [swap, put_in_place] : swaps) {
    fs::remove_all(root_);
    fs::remove_all(outside);
    dir_.Write("outside/PAY.cbl", "theirs\n");
    auto kept = Registered("SAME", dir_.Write("orig/SAME.cbl", "A\n"), "A\n");
    auto object = Registered("PAY", dir_.Write("orig/PAY.cbl", "new\n"), "old\n");
    EXPECT_EQ(Refresh(kept->Id()).first, rOK) << swap;
    fs::rename(folder, root_ + "/Sources/MOVED");
    put_in_place();
    Refresh(object->Id());
    EXPECT_EQ(
        std::tuple(ReadFile(root_ + "/Sources/MOVED/PAY.cbl"), ReadFile(outside + "/PAY.cbl")),
        std::tuple("old\n", "theirs\n"))
        << swap;
    if (!fs::is_symlink(folder)) {
      EXPECT_EQ(ReadFile(folder + "/PAY.cbl"), "new\n") << swap;
    }
  }
}

TEST_F(RefreshTest, EmptyFolderAndSettingsErrors) {
  auto folder = repository_->Add("FOLDER", "F");
  EXPECT_EQ(Refresh(folder->Id()), Outcome(rOK, 0));
  EXPECT_TRUE(workspace_->log->records.empty());

  // A type without a Registration entry raises the settings error: logged, no result bit.
  auto other = repository_->Add("REFUSED", "X");
  other->attributes["Source"] = "Sources/REFUSED/X.cbl";
  other->attributes["OriginalSource"] = dir_.Write("orig/X.cbl", "x");
  dir_.Write("ws/Sources/REFUSED/X.cbl", "y");
  EXPECT_EQ(Refresh(other->Id()).first, rOK);
  ASSERT_EQ(workspace_->log->records.size(), 1u);
  EXPECT_EQ(workspace_->log->records[0].text, LoadMessage(kMsgIncorrectRegistrationPage));

  // Called directly on an instance no operation has bound: object not set.
  std::shared_ptr<host::RepositoryObject> object = other;
  EXPECT_EQ(ErrorNumber([&] { SVStandard().RefreshObjectSource(object, std::nullopt, ""); }),
            error_number::kObjectNotSet);
}

TEST_F(RefreshTest, UnregisteredObjectIsFoundInTheChosenDirectoryAndRegistered) {
  auto object = repository_->Add("COBOL", "PAYROLL_OF_PRODLIB");
  std::filesystem::create_directories(root_ + "/Sources");  // the type's folder is made one level
  std::string found = dir_.Write("lib/sub/PRODLIB/PAYROLL.cob", "P\n");
  ui_->folder = "";
  EXPECT_EQ(Refresh(object->Id()).first, rOK | rOriginalSourceUnknown);
  EXPECT_EQ(std::tuple(workspace_->cancel_pressed, workspace_->workspace_options->saves),
            std::tuple(true, 0));

  ui_->folder = dir_ / "lib";
  EXPECT_EQ(Refresh(object->Id()), Outcome(rOK, 1));
  EXPECT_EQ(workspace_->workspace_options->saves, 1);
  // The file is registered under its own name, as a new registration would.
  auto& attributes = repository_->objects.back()->attributes;
  EXPECT_EQ(std::tuple(attributes["Name"], attributes["OriginalSource"]),
            std::tuple("PAYROLL.cob", found));
  // The directory is kept: the dialog is not shown again.
  auto other = repository_->Add("COBOL", "OTHER");
  dir_.Write("lib/OTHER.cbl", "O\n");
  EXPECT_EQ(Refresh(other->Id()).first, rOK);
  EXPECT_EQ(ui_->folders_asked, 2);
}

TEST(SearchOriginalSource, TriesEachCandidateInOrderThenSubfolders) {
  TempDir dir;
  pugi::xml_document doc;
  doc.load_string("<S><STRING VALUE='.cbl'/><STRING VALUE='.cob'/></S>");
  auto search = [&](const std::string& name) {
    return registration::SearchOriginalSource(name, dir.path().string(), doc.first_child());
  };
  dir.Write("a/PAYROLL.cbl", "");
  EXPECT_EQ(search("PAYROLL_OF_PRODLIB"), dir / "a/PAYROLL.cbl");
  dir.Write("PAYROLL.cob", "");
  EXPECT_EQ(search("PAYROLL_OF_PRODLIB"), dir / "PAYROLL.cob");
  dir.Write("PRODLIB/PAYROLL.cob", "");
  EXPECT_EQ(search("PAYROLL_OF_PRODLIB"), dir / "PRODLIB/PAYROLL.cob");
  dir.Write("PAYROLL_OF_PRODLIB.cob", "");
  EXPECT_EQ(search("payroll_of_prodlib"), "");  // names are matched as the file system does
  EXPECT_EQ(search("PAYROLL_OF_PRODLIB"), dir / "PAYROLL_OF_PRODLIB.cob");
  dir.Write("b/MAIN.CBL", "");
  EXPECT_EQ(search("MAIN.CBL"), dir / "b/MAIN.CBL");
  EXPECT_EQ(search("NOWHERE"), "");
  // A link back up the tree is searched once.
  std::filesystem::create_directory_symlink(dir.path(), dir.path() / "a/loop");
  EXPECT_EQ(search("NOWHERE"), "");
}

}  // namespace
}  // namespace svregistration
