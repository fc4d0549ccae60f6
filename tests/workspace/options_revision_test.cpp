// The reference host's revision of its options documents: it stays while the documents are only
// read, and moves at every ask once a document was handed over to be changed or others loaded.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "svregistration/workspace/workspace_host.h"

namespace svregistration::workspace::testing {
namespace {

TEST(OptionsRevisionTest, MovesOnlyOnceADocumentMayHaveChanged) {
  svregistration::testing::TempDir dir;
  auto workspace = WorkspaceHost::Create(dir / "ws");
  const std::uint64_t first = workspace->OptionsRevision();
  EXPECT_NE(first, 0u);
  // What the library and the host read goes through View.
  workspace->WorkspaceOptions()->View();
  workspace->GlobalOptions()->View();
  workspace->ProtectedPaths();
  workspace->SourcesDirectoryOf("COBOL");
  EXPECT_EQ(workspace->OptionsRevision(), first);

  // Whoever took a document to change it may change it at any time: every ask is another.
  pugi::xml_document* global = workspace->GlobalOptions()->Document();
  const std::uint64_t second = workspace->OptionsRevision();
  EXPECT_NE(second, first);
  global->first_child().append_child("CASE");
  EXPECT_NE(workspace->OptionsRevision(), second);

  // A workspace opened again counts from its own start, still never 0.
  EXPECT_NE(WorkspaceHost::Open(dir / "ws")->OptionsRevision(), 0u);
}

}  // namespace
}  // namespace svregistration::workspace::testing
