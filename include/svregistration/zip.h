// ZIP: extracts members of a zip archive into a folder.
#pragma once

#include <string>

#include "svregistration/export.h"

namespace svregistration {

class SVREG_API ZIP {
 public:
  /// Extracts the members that ExtractWhat selects (all when it is empty) into OutputPath,
  /// keeping stored folders and overwriting existing files. Always true.
  bool Extract(const std::string& ArchiveFile, const std::string& OutputPath,
               const std::string& ExtractWhat);
};

}  // namespace svregistration
