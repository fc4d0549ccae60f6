// The SVStandard instance: its fields, RegisteredObjectId and the workspace binding.
#include "registration/sv_standard_state.h"
#include "svregistration/error.h"

namespace svregistration {

SVStandard::SVStandard() : state_(std::make_unique<registration::State>()) {}

// Ending an instance releases its cached code page table and any binding left in place.
SVStandard::~SVStandard() = default;

void SVStandard::SetUserInterface(std::shared_ptr<UserInterface> ui) {
  state_->interface = ui ? std::move(ui) : TerminalUserInterface();
}

const std::string& SVStandard::RegisteredObjectId() const { return state_->RegisteredObjectId; }

void SVStandard::SetRegisteredObjectId(std::string id) {
  state_->RegisteredObjectId = std::move(id);
}

void registration::State::AttachWorkspace(std::shared_ptr<host::Workspace> workspace) {
  Workspace = std::move(workspace);
  if (!Workspace) {
    throw Error(error_number::kObjectNotSet, "SVRegistration",
                "Object variable not set: no workspace was given");
  }
  Repository = Workspace->Repository();
  if (!Repository) {
    throw Error(error_number::kObjectNotSet, "SVRegistration",
                "Object variable not set: the workspace has no repository");
  }
  WorkspaceDirectory = Workspace->GetSolvaneName(host::kWorkspaceRootDirectory);
}

void registration::State::ReleaseBinding() {
  Workspace.reset();
  Repository.reset();
}

}  // namespace svregistration
