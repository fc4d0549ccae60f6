// Removal of object files: entry lists in both variants, manifests and their passes.
#include "registration/file_removal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <tuple>

#include "support/fake_repository.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/error.h"

namespace svregistration::registration {
namespace {

using namespace testing;

class FileRemovalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.WorkspaceDirectory = dir_.path().string();
    state_.Repository = repository_;
    workspace_->protected_paths = {"workspace.db", "Sources\\COBOL", "options/"};
    state_.Workspace = workspace_;
  }
  bool Exists(const std::string& relative) {
    return std::filesystem::exists(std::filesystem::symlink_status(dir_.path() / relative));
  }

  TempDir dir_;
  std::shared_ptr<FakeWorkspace> workspace_ =
      std::make_shared<FakeWorkspace>(dir_.path().string(), "<OPTIONS/>");
  std::shared_ptr<FakeRepository> repository_ = std::make_shared<FakeRepository>();
  registration::State state_;
};

TEST(ManifestEntryPath, NamesThePathOfEachLineKind) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"//DIR:gen\\lists", "gen\\lists"},  {"//SOURCE:1,PAY.cbl", "PAY.cbl"},
      {"out\\PAY.lst", "out\\PAY.lst"},    {"//SOURCE:PAY.cbl", "//SOURCE:PAY.cbl"},
      {"//source:2,a,b", "a,b"},           {"//MODEL:PAY", "PAY"},
      {"//", "//"},                        {"C:x", "C:x"},
  };
  // clang-format on
  for (const auto& [line, path] : cases) EXPECT_EQ(ManifestEntryPath(line), path) << line;
}

// The host variant follows every marker ('.' file, ':' manifest, '\\' folder; others are
// skipped); the group variant deletes the file of that very name when there is one, else every
// file its "*" and "?" match (never in a Sources folder), ignores misses and leaves folders alone.
TEST_F(FileRemovalTest, EachVariantDeletesWhatItsEntriesName) {
  // The variant, the entries, the files gone and the files kept.
  using Files = std::vector<const char*>;
  const std::tuple<DeletionVariant, std::vector<std::string>, Files, Files> cases[] = {
      {DeletionVariant::kHost,
       {".a\\x.lst", ":a\\x.mf", "\\a\\gen", "*a\\y", "?a\\y", ""},
       {"a/x.lst", "a/x.mf", "a/gen2/z.lst", "a/gen"},
       {"a/y", "a/x1.lst"}},
      {DeletionVariant::kPattern,
       {".a\\x?.lst", ".a\\missing.lst", "\\a\\gen", ".Sources\\COBOL\\*.cbl"},
       {"a/x?.lst"},
       {"a/x1.lst", "a/gen/y.obj", "a/x.lst", "Sources/COBOL/A.cbl"}},
      {DeletionVariant::kPattern, {".a\\X?.LST", ".a\\*.mf"}, {"a/x1.lst", "a/x.mf"}, {"a/x.lst"}},
  };
  for (const auto& [variant, entries, gone, kept] : cases) {
    for (const char* file : {"a/x.lst", "a/x1.lst", "a/x?.lst", "a/gen/y.obj", "a/y",
                             "a/gen2/z.lst", "Sources/COBOL/A.cbl"}) {
      dir_.Write(file, "1");
    }
    dir_.Write("a/x.mf", "gen2\\z.lst\n");
    RemoveEntryFiles(state_, entries, variant);
    for (const char* file : gone) EXPECT_FALSE(Exists(file)) << file;
    for (const char* file : kept) EXPECT_TRUE(Exists(file)) << file;
  }
}

// Whatever an entry or a manifest line names, nothing outside the workspace folder, the folder
// itself and the host's own files survive; each refusal is a warning in the log.
TEST_F(FileRemovalTest, DeletionStaysInsideTheWorkspace) {
  TempDir outside;
  std::string out = outside.path().string();
  // The entries, and the manifest written to a/x.mf when not empty.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{".." + std::string("\\..\\") + "victim.txt"}, ""},
      {{"\\..", "\\.", "\\", ".\\.", ".", "\\a\\..\\.."}, ""},
      {{".link\\victim.txt", "\\link\\deep", ":link\\x.mf", "\\a\\inner\\deep"}, ""},
      {{".workspace.db", "\\Sources", "\\Sources\\COBOL", "\\tables", ".options\\o.xml"}, ""},
      {{":a\\x.mf"},
       "../../victim.txt\n..\\..\n//DIR:../..\n//DIR:../../deep\n" + out +
           "/victim.txt\n../link/victim.txt\n//DIR:../link/deep\n..\n"},
  };
  // The workspace's own files: the host's, a Sources folder's and the code page tables.
  const char* own_files[] = {"workspace.db", "Sources/COBOL/A.cbl", "tables/t.ccsid",
                             "options/o.xml"};
  workspace_->code_page_directory = dir_ / "tables";
  for (const auto& [entries, manifest] : cases) {
    outside.Write("victim.txt", "v");
    outside.Write("deep/keep.txt", "k");
    for (const char* own : own_files) dir_.Write(own, "own");
    std::filesystem::create_directory_symlink(outside.path(), dir_.path() / "link");
    std::filesystem::create_directories(dir_.path() / "a");
    std::filesystem::create_directory_symlink("../link", dir_.path() / "a/inner");
    if (!manifest.empty()) dir_.Write("a/x.mf", manifest);
    workspace_->log->records.clear();

    RemoveEntryFiles(state_, entries, DeletionVariant::kHost);
    RemoveEntryFiles(state_, entries, DeletionVariant::kPattern);

    std::string what = entries.front() + " " + manifest;
    EXPECT_TRUE(std::filesystem::exists(outside / "victim.txt")) << what;
    EXPECT_TRUE(std::filesystem::exists(outside / "deep/keep.txt")) << what;
    for (const char* own : own_files) EXPECT_TRUE(Exists(own)) << own << " after " << what;
    EXPECT_TRUE(Exists("link")) << what;
    EXPECT_FALSE(workspace_->log->records.empty()) << what;
    for (const auto& record : workspace_->log->records)
      EXPECT_EQ(record.severity, host::kSeverityWarning);
    std::filesystem::remove(dir_.path() / "link");
    std::filesystem::remove(dir_.path() / "a/inner");
  }
}

// An entry or a manifest line that begins with a separator is the folder, a separator and the
// rest: inside the workspace, deleted there, even when the rest spells an absolute path. Lines
// that name nothing (no comma after //SOURCE:, an empty line) are no refusal.
TEST_F(FileRemovalTest, LeadingSeparatorsStayInsideTheWorkspace) {
  TempDir outside;
  outside.Write("tmp/victim.txt", "v");
  const std::string out = outside.path().string();
  for (const char* file : {"a/x.lst", "b/y.lst", "gen/PAY.lst", "c/d.lst"}) dir_.Write(file, "1");
  dir_.Write(out.substr(1) + "/tmp/victim.txt", "inside");
  dir_.Write("root.mf", "\\gen\\PAY.lst\n//SOURCE:PAY.cbl\n\n/c/d.lst\n");
  RemoveEntryFiles(state_, {".\\a\\x.lst", "./b/y.lst", ":root.mf", "." + out + "/tmp/victim.txt"},
                   DeletionVariant::kHost);
  for (const char* file : {"a/x.lst", "b/y.lst", "gen/PAY.lst", "c/d.lst", "root.mf"})
    EXPECT_FALSE(Exists(file)) << file;
  EXPECT_FALSE(Exists(out.substr(1) + "/tmp/victim.txt"));
  EXPECT_TRUE(std::filesystem::exists(outside / "tmp/victim.txt"));
  EXPECT_TRUE(workspace_->log->records.empty());
}

TEST_F(FileRemovalTest, ManifestPassesDeleteFilesThenEmptiedFolders) {
  dir_.Write("a/gen/PAY.lst", "1");
  dir_.Write("a/keep/other", "2");
  std::filesystem::create_directories(dir_.path() / "a/deep/sub");
  // The folder line comes last, so the first pass meets it before the file inside is gone.
  dir_.Write("a/x.mf",
             "//DIR:gen\\\n//MODEL:PAY\n//NOTES:PAY\ngen\\PAY.lst\n//DIR:keep\n//DIR:deep\n");
  RemoveManifestFiles(state_, "a/x.mf");
  EXPECT_FALSE(Exists("a/gen"));
  EXPECT_TRUE(Exists("a/keep/other"));  // a folder that still holds a file stays
  EXPECT_FALSE(Exists("a/deep"));       // no files of its own: deleted with its subfolders
  EXPECT_FALSE(Exists("a/x.mf"));
}

TEST_F(FileRemovalTest, UnreadableManifestEndsTheListAfterEarlierEntries) {
  dir_.Write("first.lst", "1");
  dir_.Write("last.lst", "2");
  ::mkfifo((dir_ / "pipe.mf").c_str(), 0600);  // refused at once, never waited on
  EXPECT_THROW(
      RemoveEntryFiles(state_, {".first.lst", ":pipe.mf", ".last.lst"}, DeletionVariant::kHost),
      Error);
  EXPECT_FALSE(Exists("first.lst"));
  EXPECT_TRUE(Exists("last.lst"));
}

TEST_F(FileRemovalTest, GroupUnregistrationUsesWhatTheHostListedBeforeFailing) {
  auto object = repository_->Add("COBOL", "PAY");
  object->attributes["Source"] = "Sources\\COBOL\\PAY.cbl";
  dir_.Write("Sources/COBOL/PAY.cbl", "x");
  repository_->failing = {"UnregisterObjects"};
  host::IdCollection ids{object->Id()};
  RemoveUnregisteredGroupFiles(state_, ids);  // the failure is ignored
  EXPECT_TRUE(Exists("Sources/COBOL/PAY.cbl"));
  repository_->failing.clear();
  RemoveUnregisteredGroupFiles(state_, ids);
  EXPECT_FALSE(Exists("Sources/COBOL/PAY.cbl"));
}

}  // namespace
}  // namespace svregistration::registration
