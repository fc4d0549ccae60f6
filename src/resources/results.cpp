// Names of the result values, for reports and the command line.
#include "svregistration/results.h"

namespace svregistration {

const char* ResultName(int value) noexcept {
  switch (value) {
    case rNoRefreshNeeded:
      return "rNoRefreshNeeded";
    case rOK:
      return "rOK";
    case rSourceFileIsMissed:
      return "rSourceFileIsMissed";
    case rErrorOnCreateSourceDirectory:
      return "rErrorOnCreateSourceDirectory";
    case rFileAllreadyExists:
      return "rFileAllreadyExists";
    case rObjectAllreadyExists:
      return "rObjectAllreadyExists";
    case rErrorOnCreateObject:
      return "rErrorOnCreateObject";
    case rErrorOnSetSourceAttr:
      return "rErrorOnSetSourceAttr";
    case rErrorOnSetOriginalSourceAttr:
      return "rErrorOnSetOriginalSourceAttr";
    case rUnexpectedRegistrationError:
      return "rUnexpectedRegistrationError";
    case rOriginalSourceUnknown:
      return "rOriginalSourceUnknown";
    default:
      return "";
  }
}

}  // namespace svregistration
