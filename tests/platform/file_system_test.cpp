// The file system object: wildcard deletion, forced deletes of read-only files, file counts,
// host paths and atomic whole-file writes.
#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "support/temp_dir.h"
#include "svregistration/error.h"

namespace svregistration::platform {
namespace {

using testing::ReadFile;
using testing::TempDir;

int ErrorNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST(WildcardMatch, MatchesLikeTheFileSystem) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.lst", "PROG.LST", true},    {"PROG.*", "prog.cbl", true},
      {"?ROG.cbl", "PROG.cbl", true}, {"*", "", true},
      {"a*b*c", "aXbYc", true},       {"a*b", "aXbY", false},
      {"??", "abc", false},           {"x.cbl", "x.cblx", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(FileSystem, DeletesByPatternAndFailsWhenNothingMatches) {
  TempDir dir;
  dir.Write("a.lst", "1");
  dir.Write("b.LST", "2");
  dir.Write("c.cbl", "3");
  DeleteFile(dir / "*.lst", false);
  EXPECT_FALSE(FileExists(dir / "a.lst"));
  EXPECT_FALSE(FileExists(dir / "b.LST"));
  EXPECT_TRUE(FileExists(dir / "c.cbl"));
  EXPECT_EQ(ErrorNumber([&] { DeleteFile(dir / "*.lst", false); }), error_number::kFileNotFound);
}

TEST(FileSystem, ReadOnlyFilesGoOnlyWhenForced) {
  TempDir dir;
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
}

TEST(FileSystem, CountsOnlyFilesDirectlyInTheFolder) {
  TempDir dir;
  dir.Write("a", "");
  dir.Write("b", "");
  dir.Write("sub/c", "");
  EXPECT_EQ(CountFilesIn(dir.path().string()), 2);
  EXPECT_EQ(SubFolders(dir.path().string()).size(), 1u);
}

TEST(FileSystem, PathsFromHostData) {
  EXPECT_EQ(JoinHostPath("/ws", "Sources\\COBOL\\A.cbl"), "/ws/Sources/COBOL/A.cbl");
  EXPECT_EQ(ParentFolderName("/ws/out/x.mf"), "/ws/out");
  EXPECT_EQ(ParentFolderName("x.mf"), "");
  EXPECT_EQ(GetFileName("/ws/out/x.mf"), "x.mf");
  EXPECT_EQ(BuildPath("/ws/", "a"), "/ws/a");
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
  // No temporary file is left behind.
  EXPECT_EQ(CountFilesIn(dir.path().string()), 1);
}

}  // namespace
}  // namespace svregistration::platform
