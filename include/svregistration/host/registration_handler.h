// The registration handler an object type names: it accepts or refuses a newly registered object.
#pragma once

#include <memory>

#include "svregistration/export.h"

namespace svregistration::host {

class Workspace;
class RepositoryObject;

class SVREG_API RegistrationHandler {
 public:
  virtual ~RegistrationHandler() = default;
  /// True accepts the object. The handler may replace the object it is given; a raised error
  /// counts as refusal.
  virtual bool OnObjectRegister(std::shared_ptr<Workspace>& workspace,
                                std::shared_ptr<RepositoryObject>& object) = 0;
};

}  // namespace svregistration::host
