// ZIP: extracts members of a zip archive into a folder.
#pragma once

#include <memory>
#include <string>

#include "svregistration/export.h"
#include "svregistration/extraction_report.h"
#include "svregistration/user_interface.h"

namespace svregistration {

class SVREG_API ZIP {
 public:
  /// Where the three-argument Extract asks for passwords and shows failures; nullptr restores
  /// the terminal.
  void SetUserInterface(std::shared_ptr<UserInterface> ui) {
    interface_ = ui ? std::move(ui) : TerminalUserInterface();
  }

  /// Extracts the members that ExtractWhat selects (all when it is empty) into OutputPath,
  /// keeping stored folders and overwriting existing files. Passwords are asked through the
  /// object's user interface. Always true.
  bool Extract(const std::string& ArchiveFile, const std::string& OutputPath,
               const std::string& ExtractWhat);
  /// The same extraction, asking `prompt` for passwords; says what became of each member.
  ExtractionReport Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                           const std::string& ExtractWhat, PasswordPrompt& prompt);

 private:
  std::shared_ptr<UserInterface> interface_ = TerminalUserInterface();
};

}  // namespace svregistration
