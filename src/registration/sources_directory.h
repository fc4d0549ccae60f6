// The Sources directory of an object type, relative to the workspace root.
#pragma once

#include <string>

#include "registration/sv_standard_state.h"

namespace svregistration::registration {

/// The Directory of the type on the global options' Inventory page, or "Sources/<type>" when
/// it is empty. Backslashes in the configured value are separators.
std::string SourcesDirectory(registration::State& state, const std::string& type);

/// The Sources folder of a refresh, made when it is missing: looked at only when no file opened
/// directly inside it has shown it there.
class SourcesFolder {
 public:
  /// "" when the folder is not known: it then counts as there. A folder that may not be used
  /// (one leading out of the workspace) is never ready.
  explicit SourcesFolder(std::string path, bool usable = true)
      : path_(std::move(path)), known_(!usable) {}
  /// A file was opened at this path: when directly inside the folder, the folder is there.
  void ShownBy(const std::string& file);
  /// True when the folder is there or could be made.
  bool Ready();

 private:
  std::string path_;
  bool known_ = false;
  bool ready_ = false;
};

}  // namespace svregistration::registration
