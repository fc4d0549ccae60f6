// The built-in file copy within one file system and across two (the kernel copies either way),
// for files smaller and larger than a copy's buffer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "runtime/host_utilities.h"
#include "support/temp_dir.h"

namespace svregistration::os {
namespace {

using namespace testing;

std::uint64_t DeviceOf(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

TEST(FileCopy, SameBytesWithinAndAcrossFileSystems) {
  TempDir source;
  std::vector<std::filesystem::path> targets = {source.path()};
  // /dev/shm is tmpfs: a copy into it from the temporary folder crosses file systems when the
  // temporary folder is on another one.
  if (DeviceOf("/dev/shm") != 0 && DeviceOf("/dev/shm") != DeviceOf(source.path()))
    targets.emplace_back("/dev/shm");
  std::string large(700 * 1024 + 13, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 % 251);
  for (const auto& where : targets) {
    std::string target = (where / ("svreg-copy-" + std::to_string(::getpid()))).string();
    for (const std::string& content : {std::string(), std::string("x"), large}) {
      SCOPED_TRACE(where.string() + ", " + std::to_string(content.size()) + " bytes");
      std::string from = source.Write("from.bin", content);
      ASSERT_TRUE(runtime::ThreadFileUtility().CopyFileTo(from, target));
      EXPECT_EQ(ReadFile(target), content);
    }
    std::filesystem::remove(target);
  }
  EXPECT_FALSE(runtime::ThreadFileUtility().CopyFileTo(source / "missing", source / "copy"));
}

}  // namespace
}  // namespace svregistration::os
