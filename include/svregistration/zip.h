// ZIP: extracts members of a zip archive into a folder.
#pragma once

#include <string>

#include "svregistration/export.h"
#include "svregistration/extraction_report.h"

namespace svregistration {

class SVREG_API ZIP {
 public:
  /// Extracts the members that ExtractWhat selects (all when it is empty) into OutputPath,
  /// keeping stored folders and overwriting existing files. Passwords are asked through the
  /// calling thread's user interface. Always true.
  bool Extract(const std::string& ArchiveFile, const std::string& OutputPath,
               const std::string& ExtractWhat);
  /// The same extraction, asking `prompt` for passwords; says what became of each member.
  ExtractionReport Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                           const std::string& ExtractWhat, PasswordPrompt& prompt);
};

}  // namespace svregistration
