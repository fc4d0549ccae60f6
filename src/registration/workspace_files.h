// Where registration and refresh may write in the workspace. Every path that comes from data (a
// Sources folder configured in the options, a copy recorded on an object) is resolved beneath the
// workspace folder before anything is made or written there: no ".." out, no absolute path, no
// link leading out, never the workspace's own files, and never through a link at a copy's name.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "os/confined_paths.h"
#include "registration/sv_standard_state.h"

namespace svregistration::registration {

/// The host's own files and folders that no operation writes or deletes: what the workspace
/// names, and its code page table folder.
std::vector<std::string> ProtectedPathsOf(State& state);

/// The relative path of a registered copy as recorded on its object, read as this program
/// writes it: the folders, "/", and the file's own name, in which a "\" is part of the name. A
/// path without "/" was written by another host: its "\" are separators, unless a file of that
/// literal name exists.
std::string RecordedCopyPath(const std::string& root, const std::string& relative);

class WorkspaceFiles {
 public:
  explicit WorkspaceFiles(State& state);
  /// The files of the state's workspace with the Sources folder `relative` resolved (`folder`
  /// and `why` as SourcesFolder answers), kept in the state from one call to the next: while the
  /// host names the same workspace folder and protected paths and the Sources folder's path
  /// still leads to the folder kept open (one look), neither folder is opened again.
  static WorkspaceFiles& Kept(State& state, const std::string& relative,
                              std::optional<std::string>& folder, std::string& why);

  /// The full path of a Sources folder (relative to the workspace root) that copies may be
  /// written into; nullopt, with `why` set, when it may not be. The folder is kept (Folder).
  std::optional<std::string> SourcesFolder(const std::string& relative, std::string& why);
  /// True when a copy named `name` (taken literally: a "\" is part of it) may be written in a
  /// folder SourcesFolder answered for: none of the workspace's own files, and nothing but a file
  /// (no link) at its name; false, with `why` set, otherwise. `nothing` tells whether nothing at
  /// all (no file, no link) stands at the name.
  bool CopyIn(const os::ConfinedTarget& folder, const std::string& name, std::string& why,
              bool& nothing) const;
  /// The folder SourcesFolder last answered for (open when it existed then); shared, so that it
  /// stays open for as long as a copy into it needs it.
  std::shared_ptr<const os::ConfinedTarget> Folder() const { return folder_; }
  /// The folder SourcesFolder last answered for, open; -1 when it did not exist then.
  int FolderDescriptor() const { return folder_ && folder_->self ? folder_->self.get() : -1; }
  /// Where the copy recorded on an object lies (see RecordedCopyPath): its full path, its name,
  /// and the folder holding it opened beneath the workspace, to read and write the copy there
  /// (FolderOf), the Sources folder itself when the copy lies in it. Raises Error naming the
  /// object's copy and the reason when it may not be written.
  os::ConfinedTarget RecordedCopyTarget(const std::string& relative) const;
  /// The open folder holding a target RecordedCopyTarget answered.
  int FolderOf(const os::ConfinedTarget& copy) const {
    return copy.parent ? copy.parent.get() : FolderDescriptor();
  }

 private:
  explicit WorkspaceFiles(os::ConfinedRoot root);
  // Where a kept folder was when it was opened, to tell that its path still leads to it.
  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
  };
  bool StillFor(const State& state, const std::string& relative) const;
  // A kept workspace folder is looked at again once a copy outside the Sources folder has been
  // resolved beneath it, and opened again when its path leads elsewhere now (true then).
  bool ReopenedKeptRoot() const;

  mutable os::ConfinedRoot root_;
  std::shared_ptr<const os::ConfinedTarget> folder_;
  // Set for the files Kept answers.
  mutable std::optional<Identity> kept_root_;
  Identity kept_folder_;
  std::string kept_for_;  // the state's workspace folder
  std::string kept_relative_;
  std::shared_ptr<const os::ProtectedPaths> kept_protected_;
};

}  // namespace svregistration::registration
