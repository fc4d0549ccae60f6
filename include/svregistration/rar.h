// RAR: extracts members of a RAR archive into a folder.
#pragma once

#include <memory>
#include <string>

#include "svregistration/export.h"
#include "svregistration/extraction_report.h"
#include "svregistration/user_interface.h"

namespace svregistration {

class SVREG_API RAR {
 public:
  /// Where the three-argument Extract asks for the password; nullptr restores the terminal.
  void SetUserInterface(std::shared_ptr<UserInterface> ui) {
    interface_ = ui ? std::move(ui) : TerminalUserInterface();
  }

  /// Extracts the members whose names begin with ExtractWhat (ignoring case; all when empty)
  /// into OutputPath; the password is asked through the object's user interface. False
  /// when the archive cannot be opened or a password is refused.
  bool Extract(const std::string& ArchiveFile, const std::string& OutputPath,
               const std::string& ExtractWhat);
  /// The same extraction, asking `prompt` for the password; says what became of each member.
  ExtractionReport Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                           const std::string& ExtractWhat, PasswordPrompt& prompt);

 private:
  std::shared_ptr<UserInterface> interface_ = TerminalUserInterface();
};

}  // namespace svregistration
