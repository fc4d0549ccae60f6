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
#include <memory>
#include <string>
#include <vector>

#include "svregistration/export.h"

namespace svregistration::workspace {

class SVREG_API PendingWork {
 public:
  /// The journal folder, relative to the workspace root.
  static constexpr const char* kFolder = ".svreg/pending";

  /// Starts this process's journal in the workspace `root`. The journal folder is made by this
  /// program beneath the root; one that is a link, or leads anywhere else, is refused (Error 75).
  explicit PendingWork(const std::string& root);
  /// Removes the journal when the run said it finished; otherwise leaves it for the next run's
  /// recovery.
  ~PendingWork();
  PendingWork(const PendingWork&) = delete;
  PendingWork& operator=(const PendingWork&) = delete;

  void RecordCopy(const std::string& relative_path);
  /// RecordCopy of each, in one write.
  void RecordCopies(const std::vector<std::string>& relative_paths);
  void RecordKeep(const std::string& relative_path);
  void RecordRefresh(const std::string& object_id);
  /// Everything recorded was committed or undone.
  void Finished() { finished_ = true; }
  /// Forgets the copies recorded so far: their objects are committed. Refreshes stay recorded.
  void CopiesCommitted();

  /// What recovery asks of the workspace. A journal is data in a shared folder: anybody may have
  /// put one there, so nothing it names is trusted until checked.
  struct Recovery {
    /// True when an object records the copy (a path relative to the root).
    std::function<bool(const std::string& relative_path)> recorded;
    /// True when the path (relative to the root) lies in a Sources folder, where copies go.
    std::function<bool(const std::string& relative_path)> in_sources_folder;
    /// Discards what was generated for the object (or each member of the folder) `id` whose copy
    /// changed at or after `since_ns`.
    std::function<void(const std::string& id, std::int64_t since_ns)> invalidate_changed;
    /// The copies (paths relative to the root) the object records, or each member of the folder
    /// `id`; empty when it is gone.
    std::function<std::vector<std::string>(const std::string& id)> copies_of;
    /// Told of each journal set aside, and of each leftover kept, with the reason.
    std::function<void(const std::string& text)> warn;
  };

  /// Finishes or undoes what the journals of runs that are gone recorded, then removes them. A
  /// leftover copy is deleted only when it is a plain file in a Sources folder, reached without
  /// a link, that no object records and that changed after its journal was begun; a refresh is
  /// taken back no further than the journal's beginning. A replacement the run had named but not
  /// yet renamed over its copy (".<name>.tmp-<pid>-<n>" beside a copy the journal names, with
  /// the journal's process id) goes on the same conditions. A journal that does not read as one
  /// is renamed "<name>.damaged" and acted on in no part.
  static void Recover(const std::string& root, const Recovery& recovery);

 private:
  void Append(const std::string& line);

  struct Files;  // the journal folder and the journal, open while the run lives

  std::string path_;
  std::unique_ptr<Files> files_;
  bool finished_ = false;
  std::string refreshes_;  // kept across CopiesCommitted
};

}  // namespace svregistration::workspace
