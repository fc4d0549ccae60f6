// How one call makes the workspace form of a source: read once from the options for the object
// type, owned by the call and passed down to the copy, the EBCDIC conversion and the normaliser.
#pragma once

#include <memory>
#include <string>

#include "normaliser/normaliser.h"
#include "registration/registration_settings.h"
#include "registration/sv_standard_state.h"

namespace svregistration::host {
class Workspace;
}

namespace svregistration::registration {

struct CopyPlan {
  /// The type's settings as the options give them.
  RegistrationSettings settings;
  /// True when any option asks for the copy to be converted or normalised; otherwise the copy is
  /// the file byte for byte.
  bool convert = false;
  /// What the line normaliser does for this source: an EBCDIC source's records are lines
  /// already, so it expands no tabs and converts no shift bytes.
  NormaliserOptions normaliser;
  /// The code page table of an EBCDIC source: the host's table folder and EncodingTable.
  std::string table_file;
};

/// The plan of the type under the workspace's two options documents, from the instance's cache
/// while the documents say what they said when it was filled.
CopyPlan PlanCopy(State& state, const std::shared_ptr<host::Workspace>& workspace,
                  const std::string& entity_type);
/// The same for the instance's bound host, or another held by reference only.
CopyPlan PlanCopy(State& state, host::Workspace& workspace, const std::string& entity_type);

}  // namespace svregistration::registration
