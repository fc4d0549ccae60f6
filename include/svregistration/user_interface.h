// The user's side of the library: message and input boxes, the folder chooser, and the processing
// of pending interface events. The default asks on the terminal when there is one and otherwise
// answers empty (cancel); hosts and tests give each library object their own
// (SVStandard::SetUserInterface, ZIP::SetUserInterface, RAR::SetUserInterface).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "svregistration/export.h"

namespace svregistration {

class SVREG_API UserInterface {
 public:
  virtual ~UserInterface() = default;
  /// A modal message box.
  virtual void ShowMessage(const std::string& title, const std::string& text) = 0;
  /// A modal input box; the empty text means cancelled. `secret` hides what is typed.
  virtual std::string AskText(const std::string& title, const std::string& prompt, bool secret) = 0;
  /// A folder chooser owned by `owner_window`; the empty text means cancelled.
  virtual std::string BrowseForFolder(std::intptr_t owner_window, const std::string& title) = 0;
  /// Processes the interface events that are pending, once.
  virtual void ProcessPendingEvents() = 0;
  /// Progress of a long run (`done` of `total` items); shown by interfaces that can.
  virtual void ReportProgress(const std::string& /*what*/, long /*done*/, long /*total*/) {}
};

/// The default: asks on the terminal when there is one, else answers empty. One for the process;
/// it keeps no state.
SVREG_API std::shared_ptr<UserInterface> TerminalUserInterface();

}  // namespace svregistration
