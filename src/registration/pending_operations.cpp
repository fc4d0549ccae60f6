// Operations of SVStandard that this build does not offer yet: they raise a clear error.
#include "svregistration/error.h"
#include "svregistration/sv_standard.h"

namespace svregistration {

namespace {
[[noreturn]] void NotYet(const char* operation) {
  throw Error(error_number::kObjectNotSet, "SVRegistration",
              std::string(operation) + " is not available in this build");
}
}  // namespace

bool SVStandard::Unregister(std::shared_ptr<host::Workspace>, const std::string&) {
  NotYet("Unregister");
}
bool SVStandard::GroupUnregister(std::shared_ptr<host::Workspace>, host::IdCollection&) {
  NotYet("GroupUnregister");
}
bool SVStandard::Invalidate(std::shared_ptr<host::Workspace>, const std::string&) {
  NotYet("Invalidate");
}
bool SVStandard::StrongInvalidate(std::shared_ptr<host::Workspace>, const std::string&) {
  NotYet("StrongInvalidate");
}
bool SVStandard::GroupStrongInvalidate(std::shared_ptr<host::Workspace>, host::IdCollection&) {
  NotYet("GroupStrongInvalidate");
}
int SVStandard::RefreshSource(std::shared_ptr<host::Workspace>, const std::string&, long&,
                              const std::string&) {
  NotYet("RefreshSource");
}
SVRegistrationResults SVStandard::RefreshObjectSource(std::shared_ptr<host::RepositoryObject>&,
                                                      std::optional<std::string>,
                                                      const std::string&) {
  NotYet("RefreshObjectSource");
}

}  // namespace svregistration
