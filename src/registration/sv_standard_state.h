// The fields of an SVStandard instance and the binding of an instance to a workspace.
#pragma once

#include <memory>
#include <string>

#include "registration/options_cache.h"
#include "registration/registration_settings.h"
#include "svregistration/ccsid.h"
#include "svregistration/host/repository.h"
#include "svregistration/host/workspace.h"
#include "svregistration/sv_standard.h"
#include "svregistration/user_interface.h"

namespace svregistration {

namespace os {
class ProtectedPaths;
}

namespace registration {
class WorkspaceFiles;

/// The fields in PascalCase are the service's documented state, under its own names; the others
/// are this implementation's, in snake_case.
struct State {
  std::string RegisteredObjectId;
  std::shared_ptr<host::Workspace> Workspace;
  /// The workspace root directory of the last binding; kept after the binding is released.
  std::string WorkspaceDirectory;
  std::shared_ptr<host::Repository> Repository;
  /// The code page table cached by the EBCDIC source conversion.
  std::shared_ptr<CCSID> CodePageTable;
  bool WithEncoding = false;
  /// Where questions, progress and pending events go: the terminal unless the caller gave one.
  std::shared_ptr<UserInterface> interface = TerminalUserInterface();
  /// What the options documents said: the settings of each type, and its Sources folder.
  OptionsCache<RegistrationSettings> settings;
  OptionsCache<std::string> sources_directories;
  /// The call of the library under way, within which the documents are compared once.
  LibraryCall call;
  /// The host's protected paths as last normalised: a call whose host names the same ones
  /// reuses them, and a host whose revision stays is not asked again. The root they were made
  /// for goes with them.
  std::shared_ptr<const os::ProtectedPaths> protected_paths;
  HostRevision protected_revision;
  std::string protected_root;
  /// The workspace folder and a Sources folder kept open from one call to the next (see
  /// WorkspaceFiles::Kept).
  std::shared_ptr<WorkspaceFiles> kept_files;

  /// Binds the instance: the workspace, its repository, then its root directory. A failing step
  /// leaves the fields set by the steps before it.
  void AttachWorkspace(std::shared_ptr<host::Workspace> workspace);
  /// Drops the workspace and repository references; WorkspaceDirectory stays.
  void ReleaseBinding();
};

struct StateAccess {
  static State& Of(SVStandard& service) { return *service.state_; }
};
inline State& StateOf(SVStandard& service) { return StateAccess::Of(service); }

}  // namespace registration

}  // namespace svregistration
