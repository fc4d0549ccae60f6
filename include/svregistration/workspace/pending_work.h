// What a run that changes the workspace has begun but not yet committed, written down before it
// happens, so that the next run can finish or undo exactly that after a kill. Each process keeps
// its own journal under .svreg/pending/, locked while the process lives: a journal that can be
// locked belongs to a run that is gone.
//
// - "copy" names a registered copy about to be written where no file was: if the run dies before
//   its object is committed, the copy is this program's own leftover and is deleted.
// - "keep" cancels a "copy" whose registration ended without an object on purpose (a refused
//   registration keeps its copy).
// - "refresh" names an object (or folder) being refreshed and when the refresh began: every copy
//   changed since then has its generated files discarded, since the killed run may have rewritten
//   the copy without committing the invalidation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "svregistration/export.h"

namespace svregistration::workspace {

class SVREG_API PendingWork {
 public:
  /// The journal folder, relative to the workspace root.
  static constexpr const char* kFolder = ".svreg/pending";

  /// Starts this process's journal in the workspace `root`.
  explicit PendingWork(const std::string& root);
  /// Removes the journal when the run said it finished; otherwise leaves it for the next run's
  /// recovery.
  ~PendingWork();
  PendingWork(const PendingWork&) = delete;
  PendingWork& operator=(const PendingWork&) = delete;

  void RecordCopy(const std::string& relative_path);
  void RecordKeep(const std::string& relative_path);
  void RecordRefresh(const std::string& object_id);
  /// Everything recorded was committed or undone.
  void Finished() { finished_ = true; }
  /// Forgets the copies recorded so far: their objects are committed. Refreshes stay recorded.
  void CopiesCommitted();

  /// Finishes or undoes what the journals of runs that are gone recorded, then removes them.
  /// `recorded` tells whether an object records a copy (a path relative to the root);
  /// `invalidate_changed` discards what was generated for the object (or each member of the
  /// folder) `id` whose copy changed at or after `since_ns`.
  static void Recover(
      const std::string& root,
      const std::function<bool(const std::string& relative_path)>& recorded,
      const std::function<void(const std::string& id, std::int64_t since_ns)>& invalidate_changed);

 private:
  void Append(const std::string& line);

  std::string path_;
  int fd_ = -1;
  bool finished_ = false;
  std::string refreshes_;  // kept across CopiesCommitted
};

}  // namespace svregistration::workspace
