// ZIP.Extract over archives made by libarchive's writer: what is extracted where, name
// selection, password prompts and the message box of a library that cannot run.
#include "svregistration/zip.h"

#include <gtest/gtest.h>

#include <thread>

#include "archive/zip_globals.h"
#include "archive_test_support.h"
#include "support/temp_dir.h"
#include "svregistration/error.h"

namespace svregistration::testing {
namespace {

using Files = std::map<std::string, std::string>;

class ZipExtractTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetUserInterface(nullptr);
    archive::SetUnzipLibrary(nullptr);
  }

  TempDir dir;
  std::string zip = dir / "test.zip";
  std::string out = dir / "out";
};

TEST_F(ZipExtractTest, ExtractsEverythingKeepingFoldersAndOverwriting) {
  for (const char* options : {"zip:compression=store", "zip:compression=deflate"}) {
    SCOPED_TRACE(options);
    auto ui = InstallScript();
    dir.Write("out/readme.txt", "old readme that is longer");
    WriteArchive(zip,
                 {File("readme.txt", "new"), Folder("src/"), File("src/copy/a.cpy", "COPY"),
                  Folder("empty/")},
                 options);
    EXPECT_TRUE(ZIP().Extract(zip, out, ""));
    EXPECT_EQ(Listing(out), (Files{{"readme.txt", "new"},
                                   {"src", "<dir>"},
                                   {"src/copy", "<dir>"},
                                   {"src/copy/a.cpy", "COPY"},
                                   {"empty", "<dir>"}}));
    EXPECT_TRUE(ui->questions.empty() && ui->messages.empty());
  }
}

TEST_F(ZipExtractTest, SelectsMembersAsTheZipToolMatchesNames) {
  WriteArchive(zip, {File("src/main.cbl", "M"), File("src/util.cbl", "U"), File("top.cbl", "T"),
                     File("src/copy/a.cpy", "C")});
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"src\\main.cbl", {"src/main.cbl"}},  // "\" becomes "/"
      {"*.cbl", {"src/main.cbl", "src/util.cbl", "top.cbl"}},
      {"src/[!m]*.c??", {"src/copy/a.cpy", "src/util.cbl"}},  // "*" crosses folders
      {"SRC/MAIN.CBL", {}},
      {"src", {}},
  };
  for (const auto& [what, expected] : cases) {
    SCOPED_TRACE(what);
    std::filesystem::remove_all(out);
    EXPECT_TRUE(ZIP().Extract(zip, out, what));
    std::vector<std::string> files;
    for (const auto& [path, content] : Listing(out)) {
      if (content != "<dir>") files.push_back(path);
    }
    EXPECT_EQ(files, expected);
  }
}

TEST_F(ZipExtractTest, MissingOrDamagedArchivesAreNotReported) {
  auto ui = InstallScript();
  EXPECT_TRUE(ZIP().Extract(dir / "missing.zip", out, ""));
  EXPECT_TRUE(ZIP().Extract(dir.Write("junk.zip", "PK\x03\x04 not really"), out, ""));
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(ui->messages.empty());
}

// One right answer serves every member; a wrong one is asked again; an empty one ends the
// questions, and later members get none.
TEST_F(ZipExtractTest, AsksForPasswordsUntilAnAnswerIsEmpty) {
  struct Case {
    const char* options;
    std::vector<std::string> answers;
    std::size_t questions;
    bool extracted;
  };
  const Case cases[] = {
      {"zip:encryption=zipcrypt", {"secret"}, 1, true},
      {"zip:encryption=aes256", {"wrong", "other", "secret"}, 3, true},
      {"zip:encryption=aes256", {"", "secret"}, 1, false},
      {"zip:encryption=zipcrypt", {"wrong", "", "secret"}, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.options) + " after " + std::to_string(c.answers.size()));
    std::filesystem::remove_all(out);
    WriteArchive(zip, {File("a.txt", "alpha"), File("b/b.txt", "beta")}, c.options, "secret");
    auto ui = InstallScript(c.answers);
    EXPECT_TRUE(ZIP().Extract(zip, out, ""));
    ASSERT_EQ(ui->questions.size(), c.questions);
    EXPECT_EQ(ui->questions[0].second, "Please Enter The Password!");
    const Files all = {{"a.txt", "alpha"}, {"b", "<dir>"}, {"b/b.txt", "beta"}};
    EXPECT_EQ(Listing(out), c.extracted ? all : Files{});
  }
}

TEST_F(ZipExtractTest, EveryExtractionStartsWithFreshStateOnItsOwnThread) {
  WriteArchive(zip, {File("a.txt", "alpha")}, "zip:encryption=zipcrypt", "pw");
  auto ui = InstallScript({"", "pw"});
  ZIP().Extract(zip, out, "");
  EXPECT_TRUE(archive::ZipGlobals().password_refused);
  bool refused_elsewhere = true;
  std::thread([&] { refused_elsewhere = archive::ZipGlobals().password_refused; }).join();
  EXPECT_FALSE(refused_elsewhere);
  ZIP().Extract(zip, out, "");  // the refusal is forgotten: asked again
  EXPECT_EQ(ui->questions.size(), 2u);
  EXPECT_EQ(ReadFile(dir / "out/a.txt"), "alpha");
}

// What the last call of the fake library below received.
archive::NameList g_include;
archive::UnzipOptions g_options;

int LibraryThatCannotRun(const archive::NameList& include, const archive::NameList& exclude,
                         const archive::UnzipOptions& options, const archive::UnzipCallbacks&) {
  g_include = include;
  g_options = options;
  EXPECT_EQ(exclude.count, 0);
  throw Error(53, "ZIP", "File not found: unzip library");
}

TEST_F(ZipExtractTest, ALibraryThatCannotRunShowsAMessageAndStillSucceeds) {
  auto ui = InstallScript();
  archive::SetUnzipLibrary(&LibraryThatCannotRun);
  EXPECT_TRUE(ZIP().Extract("in\\a.zip", "out\\dir", "src\\sub\\main.cbl"));
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_EQ(ui->messages[0].first, "SVRegistration");
  EXPECT_EQ(ui->messages[0].second, "File not found: unzip library\r\n53");
  // The name reaches the library with forward slashes; the paths as they were given.
  EXPECT_EQ(g_include.count, 1);
  EXPECT_EQ(g_include.entries[0], "src/sub/main.cbl");
  EXPECT_FALSE(g_include.entries[1].has_value());
  EXPECT_EQ(g_options.zip_file, "in\\a.zip");
  EXPECT_EQ(g_options.extract_dir, "out\\dir");
  ZIP().Extract("a.zip", "out", "");
  EXPECT_EQ(g_include.count, 0);
  EXPECT_FALSE(g_include.entries[0].has_value());
}

}  // namespace
}  // namespace svregistration::testing
