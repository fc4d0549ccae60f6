// Archives that try to write outside the output folder: absolute names, ".." components,
// symbolic links out of the folder and writes through links. Such members are skipped, the
// rest (stored folders, empty ones too) extracted, and nothing appears outside.
#include <archive.h>
#include <gtest/gtest.h>

#include "archive/zip/zip_extraction.h"
#include "archive_test_support.h"

namespace svregistration::testing {
namespace {

namespace fs = std::filesystem;

class HostileArchiveTest : public ArchiveTest {
 protected:
  void SetUp() override { fs::create_directories(outside); }

  std::string outside = dir / "outside";
  std::string zip = dir / "evil.zip";
};

TEST_F(HostileArchiveTest, ZipMembersThatLeaveTheFolderAreSkipped) {
  WriteArchive(zip, {File("../escaped.txt", "x"), File("a/../../escaped2.txt", "x"),
                     File(outside + "/absolute.txt", "x"), Symlink("abs_link", outside),
                     File("abs_link/through.txt", "through"), Symlink("up_link", "../outside"),
                     Symlink("self_link", "sub/.."), File("up_link/through2.txt", "through2"),
                     Symlink("good_link", "sub/ok.txt"), File("sub/ok.txt", "ok"),
                     File("./sub//dot.txt", "dot"), Folder("empty/")});
  auto ui = InstallScript();
  EXPECT_TRUE(ZipObject().Extract(zip, out, ""));
  EXPECT_TRUE(ui->questions.empty() && ui->messages.empty());
  EXPECT_TRUE(fs::is_empty(outside) && !fs::exists(dir / "escaped.txt") &&
              !fs::exists(dir / "escaped2.txt"));
  // Members under a refused link land in a real folder of that name.
  EXPECT_EQ(Listing(out), (Files{{"abs_link", "<dir>"},
                                 {"abs_link/through.txt", "through"},
                                 {"up_link", "<dir>"},
                                 {"up_link/through2.txt", "through2"},
                                 {"good_link", "-> sub/ok.txt"},
                                 {"sub", "<dir>"},
                                 {"sub/ok.txt", "ok"},
                                 {"sub/dot.txt", "dot"},
                                 {"empty", "<dir>"}}));
}

// A link is resolved through the links already extracted, in either order: `r` three folders
// down leads to the top, so a link that climbs through it leaves the folder.
TEST_F(HostileArchiveTest, LinkChainsAreResolvedThroughWhatIsExtracted) {
  const Member to_top = Symlink("a/b/c/r", "../../../r");
  const Member through = Symlink("a/b/c/up", "r/../../outside/x");
  const Member inside = Symlink("a/b/c/ok", "r/../a/b");
  const Member loop = Symlink("a/l1", "l2/x");
  const Member loop_back = Symlink("a/l2", "l1/y");
  const Files chain = {{"a/b/c/r", "-> ../../../r"}, {"a/b/c/ok", "-> r/../a/b"}};
  // What is extracted in what order, the links made, the one link refused.
  const std::tuple<const char*, std::vector<Member>, Files, std::string> cases[] = {
      {"through a link made before", {to_top, through, inside}, chain, "a/b/c/up"},
      {"through a link made after", {through, to_top, inside}, chain, "a/b/c/up"},
      {"a loop", {loop, loop_back}, {{"a/l2", "-> l1/y"}}, "a/l1"},  // broken where checked first
  };
  for (const auto& [what, members, expected_links, refused] : cases) {
    SCOPED_TRACE(what);
    fs::remove_all(out);
    WriteArchive(zip, members);
    ScriptedPrompt prompt;
    const ExtractionReport report = ZipObject().Extract(zip, out, "", prompt);
    Files links;
    for (const auto& [path, item] : Listing(out)) {
      if (item.starts_with("-> ")) links[path] = item;
    }
    EXPECT_EQ(links, expected_links);
    EXPECT_EQ(NotExtracted(report), std::vector<std::string>{refused});
  }
  EXPECT_TRUE(fs::is_empty(outside));
}

// Links are never followed. What stands where a member's folder must go stays when the user had
// it there (the member is not extracted); what this extraction wrote gives way. A link or file
// where a member file goes is replaced; an empty folder the user made is not.
TEST_F(HostileArchiveTest, WhatTheUserHadInTheWayIsNotFollowedNorRemoved) {
  fs::create_directories(dir / "out/empty_dir");
  dir.Write("out/notes", "mine");
  dir.Write("outside/target.txt", "untouched");
  fs::create_directory_symlink(outside, dir / "out/dir_link");
  fs::create_symlink(dir / "outside/target.txt", dir / "out/file_link");
  WriteArchive(zip, {File("dir_link/new.txt", "new"), File("file_link", "replaced"),
                     File("notes/a.txt", "a"), Folder("notes/"), File("empty_dir", "file"),
                     File("made", "first"), File("made/c.txt", "c")});
  ScriptedPrompt prompt;
  EXPECT_EQ(NotExtracted(ZipObject().Extract(zip, out, "", prompt)),
            (std::vector<std::string>{"dir_link/new.txt", "notes/a.txt", "notes/", "empty_dir"}));
  EXPECT_EQ(Listing(outside), (Files{{"target.txt", "untouched"}}));
  EXPECT_EQ(Listing(out), (Files{{"dir_link", "-> " + outside},
                                 {"file_link", "replaced"},
                                 {"notes", "mine"},
                                 {"empty_dir", "<dir>"},
                                 {"made", "<dir>"},
                                 {"made/c.txt", "c"}}));
}

// Hard links come through the same writer; tar can carry them where zip cannot, read here by
// the zip extraction with a reader of tar archives.
TEST_F(HostileArchiveTest, HardLinksMustNameAFileInsideTheFolder) {
  dir.Write("outside/secret.txt", "secret");
  fs::create_directories(out);
  fs::create_directory_symlink(outside, dir / "out/via");
  const std::string tar = dir / "evil.tar";
  WriteArchive(tar,
               {File("file.txt", "inside"),
                {.name = "good", .hardlink = "file.txt"},
                {.name = "absolute", .hardlink = outside + "/secret.txt"},
                {.name = "dotdot", .hardlink = "../outside/secret.txt"},
                {.name = "through_link", .data = "overwritten", .hardlink = "via/secret.txt"}},
               "", "", "paxr");
  ScriptedPrompt prompt;
  archive::ZipExtraction extraction(tar, out, "", prompt, [] {
    archive::ReadHandle reader = archive::NewReader();
    archive_read_support_format_tar(reader.get());
    return reader;
  });
  const ExtractionReport report = extraction.Run();
  EXPECT_EQ(report.extracted, 2u);
  EXPECT_EQ(NotExtracted(report), (std::vector<std::string>{"absolute", "dotdot", "through_link"}));
  EXPECT_EQ(ReadFile(dir / "outside/secret.txt"), "secret");
  EXPECT_EQ(fs::hard_link_count(dir / "out/good"), 2u);
}

}  // namespace
}  // namespace svregistration::testing
