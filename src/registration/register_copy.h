// The copy step of Register and the checks before it, each file looked at once. With the
// built-in FileUtility the source is opened for the check that it is there and copied from that
// descriptor, and the target is made exclusively where nothing is, which answers whether a file
// is already there; a host's own FileUtility gets the paths. Either way the checks
// give what a separate look at each path would, in the same order of precedence.
#pragma once

#include <string>

#include "os/file_system.h"
#include "registration/source_copy.h"
#include "svregistration/results.h"

namespace svregistration::registration {

class RegisterCopy {
 public:
  /// `folder` is the Sources folder that holds `target`.
  RegisterCopy(const std::string& source, const std::string& target, std::string folder);
  /// The Sources folder opened beneath the workspace (-1 when it is not there yet), and the
  /// copy's name in it: a new copy is made there, whatever the path to it has become.
  void MakeIn(int folder, std::string name) {
    folder_fd_ = folder;
    name_ = std::move(name);
  }

  /// rOK, or the first refusal: the Sources folder cannot be made, the source is not there, the
  /// source's or the copy's path is too long, another file is at the target. A target that may
  /// not be written (`target_allowed` false: a link or one of the workspace's own files at its
  /// name) counts as another file there.
  SVRegistrationResults Check(bool source_path_fits, bool target_path_fits, bool target_allowed);
  /// False when the target is the source itself (Check must have answered rOK).
  bool needed() const { return needed_; }
  /// Writes the copy, plain or in workspace form; raises the copy's error.
  void Run(State& state, host::Workspace& workspace, const std::string& type, bool with_encoding);

 private:
  bool SourceExists();
  bool EnsureFolder();

  CopyEnds ends_;
  std::string folder_;
  bool fast_;
  os::PathStatus source_;
  os::PathStatus target_;
  bool needed_ = true;
  int folder_fd_ = -1;
  std::string name_;
};

}  // namespace svregistration::registration
