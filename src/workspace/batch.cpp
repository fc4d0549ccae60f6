// Batches of the workspace repository: one transaction spans many changes, committed by window
// or when the caller asks.
#include "svregistration/workspace/batch.h"

#include "svregistration/error.h"
#include "workspace/repository/context.h"
#include "workspace/repository/database.h"

namespace svregistration::workspace {

Batch::Batch(WorkspaceHost& workspace, bool commit_when_asked)
    : database_(*DatabaseOf(*workspace.workspace_repository())) {
  database_.BeginBatch(kWindow, commit_when_asked);
}

bool Batch::Checkpoint() { return database_.CommitBatchIfDue(); }

bool Batch::Due() const { return database_.BatchDue(); }

void Batch::End() { database_.EndBatch(); }

Batch::~Batch() {
  try {
    database_.EndBatch();
  } catch (const Error&) {
  }
}

}  // namespace svregistration::workspace
