// Removal of object files: entry lists in both variants, manifests and their passes.
#include "registration/file_removal.h"

#include <gtest/gtest.h>

#include "support/fake_repository.h"
#include "support/temp_dir.h"
#include "svregistration/error.h"

namespace svregistration::registration {
namespace {

using testing::TempDir;

class FileRemovalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.WorkspaceDirectory = dir_.path().string();
    state_.Repository = repository_;
  }
  bool Exists(const std::string& relative) { return std::filesystem::exists(dir_.path() / relative); }

  TempDir dir_;
  std::shared_ptr<testing::FakeRepository> repository_ = std::make_shared<testing::FakeRepository>();
  SVStandard::State state_;
};

TEST(ManifestEntryPath, NamesThePathOfEachLineKind) {
  const std::pair<const char*, const char*> cases[] = {
      {"//DIR:gen\\lists", "gen\\lists"},  {"//SOURCE:1,PAY.cbl", "PAY.cbl"},
      {"out\\PAY.lst", "out\\PAY.lst"},    {"//SOURCE:PAY.cbl", "//SOURCE:PAY.cbl"},
      {"//source:2,a,b", "a,b"},           {"//MODEL:PAY", "PAY"},
      {"//", "//"},                        {"C:x", "C:x"},
  };
  for (const auto& [line, path] : cases) EXPECT_EQ(ManifestEntryPath(line), path) << line;
}

TEST_F(FileRemovalTest, HostVariantVisitsEveryMarker) {
  dir_.Write("a/x.lst", "1");
  dir_.Write("a/gen/y.obj", "2");
  dir_.Write("a/y", "3");
  dir_.Write("a/x.mf", "gen2\\z.lst\n");
  dir_.Write("a/gen2/z.lst", "4");
  RemoveEntryFiles(state_, {".a\\x.lst", ":a\\x.mf", "\\a\\gen", "*a\\y", "?a\\y", ""},
                   DeletionVariant::kHost);
  EXPECT_FALSE(Exists("a/x.lst"));
  EXPECT_FALSE(Exists("a/x.mf"));
  EXPECT_FALSE(Exists("a/gen2/z.lst"));
  EXPECT_FALSE(Exists("a/gen"));
  EXPECT_TRUE(Exists("a/y"));
}

TEST_F(FileRemovalTest, PatternVariantDeletesMatchingFilesOnlyAndIgnoresMisses) {
  dir_.Write("a/x1.lst", "1");
  dir_.Write("a/x2.lst", "2");
  dir_.Write("a/gen/keep", "3");
  RemoveEntryFiles(state_, {".a\\x?.lst", ".a\\missing.lst", "\\a\\gen"}, DeletionVariant::kPattern);
  EXPECT_FALSE(Exists("a/x1.lst"));
  EXPECT_FALSE(Exists("a/x2.lst"));
  EXPECT_TRUE(Exists("a/gen/keep"));
}

TEST_F(FileRemovalTest, ManifestPassesDeleteFilesThenEmptiedFolders) {
  dir_.Write("a/gen/PAY.lst", "1");
  dir_.Write("a/keep/other", "2");
  std::filesystem::create_directories(dir_.path() / "a/deep/sub");
  // The folder line comes last, so the first pass meets it before the file inside is gone.
  std::string manifest = dir_.Write(
      "a/x.mf", "//DIR:gen\\\n//MODEL:PAY\n//NOTES:PAY\ngen\\PAY.lst\n//DIR:keep\n//DIR:deep\n");
  RemoveManifestFiles(manifest);
  EXPECT_FALSE(Exists("a/gen"));
  EXPECT_TRUE(Exists("a/keep/other"));  // a folder that still holds a file stays
  EXPECT_FALSE(Exists("a/deep"));       // no files of its own: deleted with its subfolders
  EXPECT_FALSE(Exists("a/x.mf"));
}

TEST_F(FileRemovalTest, UnreadableManifestEndsTheListAfterEarlierEntries) {
  dir_.Write("first.lst", "1");
  dir_.Write("last.lst", "2");
  EXPECT_THROW(RemoveEntryFiles(state_, {".first.lst", ":missing.mf", ".last.lst"}, DeletionVariant::kHost),
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
