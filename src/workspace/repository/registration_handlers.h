// The registration handlers the workspace's object types name, the workspace's IdUtility, and
// the call that makes them known to the class registry.
#pragma once

#include <memory>

#include "svregistration/host/registration_handler.h"

namespace svregistration::workspace {

/// "Workspace.AcceptHandler": accepts every object.
class AcceptHandler final : public host::RegistrationHandler {
 public:
  bool OnObjectRegister(std::shared_ptr<host::Workspace>& workspace,
                        std::shared_ptr<host::RepositoryObject>& object) override;
};

/// "Workspace.ExtensionHandler": accepts an object when the extension of its registered copy
/// (the value of its type's source attribute) is one of the type's extensions in the workspace
/// options (LIST "Extension", CASE of the type, STRINGS "Extensions"), letter case ignored.
/// Refuses when the copy has no extension or the type lists none; a workspace or object that
/// is nothing, or a workspace without an options document, is Error 91.
class ExtensionHandler final : public host::RegistrationHandler {
 public:
  bool OnObjectRegister(std::shared_ptr<host::Workspace>& workspace,
                        std::shared_ptr<host::RepositoryObject>& object) override;
};

/// Registers, in svregistration::ClassRegistry, the two handlers under their class names
/// (kAcceptHandlerClass, kExtensionHandlerClass) and WorkspaceIdUtility under
/// host::kIdUtilityClass. "Workspace.NoSuchHandler" stays unregistered. Calling it again
/// replaces the same factories.
void RegisterWorkspaceClasses();

}  // namespace svregistration::workspace
