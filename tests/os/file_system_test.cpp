// The file system object: literal names, forced deletes of read-only files, file counts,
// host paths and atomic whole-file writes.
#include "os/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "os/file_reader.h"
#include "support/error_capture.h"
#include "support/temp_dir.h"
#include "svregistration/error.h"

namespace svregistration::os {
namespace {

using namespace testing;

// Read-only files go only when forced; a folder link is deleted as a link.
TEST(FileSystem, ReadOnlyFilesGoOnlyWhenForcedAndLinksGoAsLinks) {
  TempDir outside, dir;
  std::string file = dir.Write("ro.txt", "x");
  ::chmod(file.c_str(), 0444);
  EXPECT_EQ(ErrorNumber([&] { DeleteFile(file, false); }), error_number::kPermissionDenied);
  DeleteFile(file, true);
  EXPECT_FALSE(FileExists(file));

  std::string nested = dir.Write("f/sub/ro.txt", "x");
  ::chmod(nested.c_str(), 0444);
  EXPECT_EQ(ErrorNumber([&] { DeleteFolder(dir / "f", false); }), error_number::kPermissionDenied);
  DeleteFolder(dir / "f", true);
  EXPECT_FALSE(FolderExists(dir / "f"));

  outside.Write("keep/x.txt", "x");
  std::filesystem::create_directory_symlink(outside / "keep", dir / "link");
  DeleteFolder(dir / "link", true);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "link")));
  EXPECT_TRUE(FileExists(outside / "keep/x.txt"));
}

TEST(FileSystem, WholeFileWriteReplacesAndRefusesReadOnly) {
  TempDir dir;
  std::string file = dir.Write("t.bin", "old content");
  const std::uint8_t bytes[] = {1, 2, 3};
  WriteWholeFile(file, bytes, 3);
  EXPECT_EQ(ReadFile(file), std::string("\x01\x02\x03"));
  ::chmod(file.c_str(), 0444);
  EXPECT_EQ(ErrorNumber([&] { WriteWholeFile(file, bytes, 1); }), error_number::kPermissionDenied);
  EXPECT_EQ(ErrorNumber([&] { WriteWholeFile(dir / "no/such/dir/f", bytes, 1); }),
            error_number::kFileNotFound);
  EXPECT_FALSE(ReadWholeFile(dir / "missing").has_value());
  // No temporary file is left behind; only files directly in the folder count.
  dir.Write("sub/other", "");
  EXPECT_EQ(CountFilesIn(dir.path().string()), 1);
}

// A replacement keeps what the user set up around the file: its mode, a link at its name, and a
// folder that takes no new files while the file itself is writable.
TEST(FileSystem, ReplacementKeepsModeLinksAndWritesInPlaceWhenItMust) {
  TempDir dir;
  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  std::string file = dir.Write("mode.txt", "old");
  ::chmod(file.c_str(), 0640);
  WriteWholeFile(file, bytes, 3);
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms{0640});

  std::string target = dir.Write("real/target.txt", "old");
  std::filesystem::create_symlink("real/target.txt", dir / "link.txt");
  WriteWholeFile(dir / "link.txt", bytes, 3);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
  EXPECT_EQ(ReadFile(target), "new");
  std::filesystem::create_symlink("real/made.txt", dir / "dangling.txt");
  WriteWholeFile(dir / "dangling.txt", bytes, 3);
  EXPECT_EQ(ReadFile(dir / "real/made.txt"), "new");

  if (::geteuid() == 0) return;  // root may create files in any folder
  std::string locked = dir.Write("locked/file.txt", "old");
  ::chmod((dir / "locked").c_str(), 0555);
  WriteWholeFile(locked, bytes, 3);
  ::chmod((dir / "locked").c_str(), 0755);
  EXPECT_EQ(ReadFile(locked), "new");
}

// A replacement in an open folder: made and renamed there, whatever its path leads to by then;
// the mode kept, a link at the name refused and left alone, a read-only file refused.
TEST(FileSystem, ReplacementInAnOpenFolderNeverLeavesIt) {
  TempDir dir;
  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  std::string copy = dir.Write("ws/Sources/copy.txt", "old");
  ::chmod(copy.c_str(), 0640);
  std::string outside = dir.Write("outside/copy.txt", "theirs");
  UniqueFd folder(::open((dir / "ws/Sources").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // The folder's path now leads out of the workspace.
  std::filesystem::rename(dir / "ws/Sources", dir / "ws/Moved");
  std::filesystem::create_directory_symlink(dir / "outside", dir / "ws/Sources");
  auto replacement = FileReplacement::ReplaceIn(folder.get(), "copy.txt", copy);
  replacement->Write(bytes, 3);
  replacement->Commit();
  EXPECT_EQ(ReadFile(dir / "ws/Moved/copy.txt"), "new");
  EXPECT_EQ(ReadFile(outside), "theirs");
  EXPECT_EQ(std::filesystem::status(dir / "ws/Moved/copy.txt").permissions(),
            std::filesystem::perms{0640});
  EXPECT_EQ(std::filesystem::directory_iterator(dir / "ws/Moved")->path().filename(), "copy.txt");

  std::filesystem::remove(dir / "ws/Moved/copy.txt");
  std::filesystem::create_symlink(outside, dir / "ws/Moved/copy.txt");
  EXPECT_EQ(ErrorNumber([&] { FileReplacement::ReplaceIn(folder.get(), "copy.txt", copy); }),
            error_number::kPathFileAccessError);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "ws/Moved/copy.txt"));
  EXPECT_EQ(ReadFile(outside), "theirs");

  std::string locked = dir.Write("ws/Moved/locked.txt", "old");
  ::chmod(locked.c_str(), 0444);
  EXPECT_EQ(ErrorNumber([&] { FileReplacement::ReplaceIn(folder.get(), "locked.txt", locked); }),
            error_number::kPermissionDenied);
}

}  // namespace
}  // namespace svregistration::os
