// Refresh of a folder object on the reference workspace host: one member changed, one whose
// original is missing, and one never registered that is found in the default source directory
// through the library-member search and registered.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/workspace_host.h"

namespace svregistration::workspace {
namespace {

using testing::ReadFile;
using testing::TempDir;

TEST(RefreshOnTheWorkspaceHost, FolderOfMembers) {
  TempDir dir;
  auto host = WorkspaceHost::Create(dir / "ws");
  SVStandard service;
  std::string changed = dir.Write("orig/CHG.cbl", "A\n");
  std::string missing = dir.Write("orig/GONE.cbl", "B\n");
  std::string name = "CHG.cbl";
  ASSERT_EQ(service.RegisterEx(host, "COBOL", name, changed, true), rOK);
  std::string changed_id = service.RegisteredObjectId();
  name = "GONE.cbl";
  ASSERT_EQ(service.RegisterEx(host, "COBOL", name, missing, true), rOK);
  std::string missing_id = service.RegisteredObjectId();
  std::string member_name = "PAYROLL_OF_PRODLIB";
  std::string library_id = host->repository()->NewObject("COBOL", member_name)->Id();
  std::string folder = host->repository()->CreateFolder("F")->Id();
  host->repository()->AddToFolder(folder, {changed_id, missing_id, library_id});

  dir.Write("orig/CHG.cbl", "A changed\n");
  std::filesystem::remove(missing);
  std::string library_member = dir.Write("defaults/sub/PRODLIB/PAYROLL.cbl", "P\n");
  auto encoding =
      host->workspace_options()->Document()->select_node("//FILE[@NAME='DefSourceDir']").node();
  encoding.attribute("VALUE").set_value((dir / "defaults").c_str());

  long copied = 0;
  int result = service.RefreshSource(host, folder, copied);
  EXPECT_EQ(result, rOK | rSourceFileIsMissed);
  EXPECT_EQ(copied, 2);  // the changed copy and the newly registered member
  EXPECT_EQ(ReadFile(dir / "ws/Sources/COBOL/CHG.cbl"), "A changed\n");
  EXPECT_EQ(ReadFile(dir / "ws/Sources/COBOL/PAYROLL.cbl"), "P\n");
  auto objects = host->repository()->ListObjects(std::string("COBOL"));
  EXPECT_TRUE(std::any_of(objects.begin(), objects.end(),
                          [&](const ObjectInfo& o) { return o.original == library_member; }));
  auto log = host->log()->Records();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].object_id, missing_id);
  EXPECT_EQ(log[0].text, "Original source file not found");
}

}  // namespace
}  // namespace svregistration::workspace
