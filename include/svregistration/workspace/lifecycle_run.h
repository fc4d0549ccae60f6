// A lifecycle run: objects unregistered (with their copies and generated files) or invalidated
// (what was generated for them deleted) as one run, the way the tool and any embedder do it. The
// repository's changes are committed only after their files were deleted: a run killed on the
// way leaves the objects recorded, and doing it again completes it. What stayed although it was
// to go is told from the log records this run wrote, never another run's, and what stayed
// registered is read back from the repository after the commit.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "svregistration/export.h"

namespace svregistration::workspace {

class Batch;
class WorkspaceHost;

struct ObjectUnregistration {
  std::string id;
  /// The registered copy, relative to the workspace folder; empty for a type without one.
  std::string copy;
  /// False when the repository still holds the object after the run.
  bool unregistered = false;
  /// The object went and its copy is no longer in the workspace folder.
  bool copy_removed = false;
};

/// Why objects stayed registered.
enum class KeptReason {
  kNone,
  /// Only folders stayed: the workspace's last folder always does.
  kLastFolder,
  /// The repository kept an object that is no folder; the log says why.
  kRepository,
};

struct SVREG_API UnregistrationReport {
  /// One entry per id asked, in the order asked.
  std::vector<ObjectUnregistration> objects;
  KeptReason kept_reason = KeptReason::kNone;
  /// One line per file or folder that was to go and stays ("Not deleted: '<path>': <why>").
  std::vector<std::string> not_deleted;
  /// True when the unregistration succeeded, everything asked went (the workspace's last folder
  /// may stay) and every file that was to go went. A group whose repository change failed
  /// succeeds with nothing unregistered: the objects read back say so.
  bool ok = false;

  std::vector<std::string> Unregistered() const;
  std::vector<std::string> Kept() const;
  /// The copies removed, relative to the workspace folder.
  std::vector<std::string> RemovedCopies() const;
};

struct ObjectInvalidation {
  std::string id;
  /// The generated entries the object had before the run.
  std::size_t generated_entries = 0;
};

struct SVREG_API InvalidationReport {
  /// What the invalidation returned: false when it failed (the log says why).
  bool invalidated = false;
  /// One entry per id asked, in the order asked.
  std::vector<ObjectInvalidation> objects;
  /// One line per file or folder that was to go and stays ("Not deleted: '<path>': <why>").
  std::vector<std::string> not_deleted;

  /// The generated entries discarded: those of every object, or none when the run failed.
  std::size_t DiscardedEntries() const;
  bool ok() const { return invalidated && not_deleted.empty(); }
};

class SVREG_API LifecycleRun {
 public:
  /// Without `open_batch` each call first finishes or undoes what killed runs left, and commits
  /// its changes in a batch of its own once they are whole. With it, the changes join that
  /// batch (whose owner recovered when it began), which is checkpointed after them.
  explicit LifecycleRun(std::shared_ptr<WorkspaceHost> workspace, Batch* open_batch = nullptr);

  /// One id is unregistered by itself, several (or none) as a group. Error 9 naming an id no
  /// object has, before anything is changed.
  UnregistrationReport Unregister(const std::vector<std::string>& ids);
  /// One id is invalidated, strongly when asked; several (or none) always strongly, as a group.
  /// Error 9 naming an id no object has, before anything is changed.
  InvalidationReport Invalidate(const std::vector<std::string>& ids, bool strong = false);

 private:
  std::shared_ptr<WorkspaceHost> workspace_;
  Batch* open_batch_;
};

}  // namespace svregistration::workspace
