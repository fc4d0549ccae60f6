// RAR: extracts members of a RAR archive into a folder.
#pragma once

#include <string>

#include "svregistration/export.h"

namespace svregistration {

class SVREG_API RAR {
 public:
  /// Extracts the members whose names begin with ExtractWhat (ignoring case; all when empty)
  /// into OutputPath. False when the archive cannot be opened or a password is refused.
  bool Extract(const std::string& ArchiveFile, const std::string& OutputPath,
               const std::string& ExtractWhat);
};

}  // namespace svregistration
