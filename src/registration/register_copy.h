// The copy step of registration and the checks before it, each file looked at once. With the
// built-in FileUtility the source is opened for the check that it is there and copied from that
// descriptor, and the target is made exclusively where nothing is, which answers whether a file
// is already there; a host's own FileUtility gets the paths. Either way the checks give what a
// separate look at each path would, in the same order of precedence. Everything the step needs
// is given to it before, so that the copies of several files can be made on several threads.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "os/confined_paths.h"
#include "os/file_system.h"
#include "registration/copy_plan.h"
#include "registration/source_copy.h"
#include "svregistration/results.h"

namespace svregistration::registration {

class RegisterCopy {
 public:
  /// `folder` is the Sources folder that holds `target`; `open_folder` the same opened beneath
  /// the workspace (nullptr when it is not there yet), in which a new copy is made as `name`,
  /// whatever the path to the folder has become.
  RegisterCopy(const std::string& source, const std::string& target, std::string folder,
               std::shared_ptr<const os::ConfinedTarget> open_folder, std::string name);

  /// The copy is made in workspace form under `plan`; `state` serves an EBCDIC conversion.
  void ConvertBy(CopyPlan plan, State& state);
  /// True when the copy touches nothing but its two files (no host utility, no cached table).
  bool SelfContained() const;

  /// rOK, or the first refusal: the Sources folder cannot be made, the source is not there, the
  /// source's or the copy's path is too long, another file is at the target. A target that may
  /// not be written (`target_allowed` false: a link or one of the workspace's own files at its
  /// name) counts as another file there.
  SVRegistrationResults Check(bool source_path_fits, bool target_path_fits, bool target_allowed);
  /// False when the target is the source itself (Check must have answered rOK).
  bool needed() const { return needed_; }
  /// Writes the copy, plain or in workspace form; raises the copy's error.
  void Run();
  /// Forgets the target Check made and nothing was written to (it is removed).
  void DropTarget() { ends_.target.reset(); }
  /// Removes the copy Run wrote, as long as a plain file stands at its name.
  void Remove() const;

 private:
  bool SourceExists();
  bool EnsureFolder();
  // The permissions a new copy is made with: none the original withholds but its owner's write.
  unsigned CreationMode() const;

  CopyEnds ends_;
  std::string folder_;
  bool fast_;
  os::PathStatus source_;
  unsigned source_mode_ = 0;
  os::PathStatus target_;
  bool needed_ = true;
  std::shared_ptr<const os::ConfinedTarget> open_folder_;
  std::string name_;
  std::optional<CopyPlan> plan_;
  State* state_ = nullptr;
};

}  // namespace svregistration::registration
