// Long runs (a folder registered, a folder refreshed, a group unregistered) commit the workspace
// repository in batches rather than a transaction per change: a rule of the host, so that every
// caller gets the same batching and the same honest commits.
#pragma once

#include <chrono>

#include "svregistration/export.h"
#include "svregistration/workspace/workspace_host.h"

namespace svregistration::workspace {

class Database;

class SVREG_API Batch {
 public:
  /// A quarter of a second: long enough to spread a transaction over hundreds of files, short
  /// enough that another writer waiting for the workspace hardly notices.
  static constexpr std::chrono::milliseconds kWindow{250};

  /// With `commit_when_asked`, the batch is committed only at Checkpoint() and End(), the points
  /// at which the caller's work is whole.
  explicit Batch(WorkspaceHost& workspace, bool commit_when_asked = false);
  /// Commits the batch when its window has passed (true when it did). A failed commit rolls the
  /// batch back and raises its error.
  bool Checkpoint();
  /// True when Checkpoint would commit now: a caller with work under way can finish it first.
  bool Due() const;
  /// Commits what is left; raises the error when that fails.
  void End();
  /// A run that ends by an error commits what it finished; the error that ends it is the one
  /// reported, so a failure of this last commit is not raised over it.
  ~Batch();
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

 private:
  Database& database_;
};

}  // namespace svregistration::workspace
