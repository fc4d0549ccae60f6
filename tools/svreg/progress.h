// The progress bar of long runs, on stderr when it is a terminal, and the user interface svreg
// installs for such runs (everything else goes to the interface that was there before).
#pragma once

#include <memory>
#include <string>

#include "svregistration/user_interface.h"

namespace svreg {

class ProgressBar {
 public:
  explicit ProgressBar(std::string what);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  bool enabled() const { return enabled_; }
  /// Redraws the bar at most a few times a second.
  void Update(long done, long total);
  /// Clears the bar's line, so that what is printed next starts on a line of its own; the next
  /// Update draws it again.
  void Clear();

 private:
  std::string what_;
  bool enabled_;
  bool drawn_ = false;
  long long last_draw_ms_ = 0;
};

/// Installs itself as the thread's user interface for its lifetime and draws the progress the
/// library reports.
class ProgressInterface final : public svregistration::UserInterface {
 public:
  explicit ProgressInterface(const std::string& what);
  ~ProgressInterface() override;

  void ShowMessage(const std::string& title, const std::string& text) override;
  std::string AskText(const std::string& title, const std::string& prompt, bool secret) override;
  std::string BrowseForFolder(std::intptr_t owner_window, const std::string& title) override;
  void ProcessPendingEvents() override;
  void ReportProgress(const std::string& what, long done, long total) override;

  static std::shared_ptr<ProgressInterface> Install(const std::string& what);

 private:
  svregistration::UserInterface& fallback_;
  ProgressBar bar_;
};

}  // namespace svreg
