// The progress bar of long runs, on stderr when it is a terminal, and the user interface svreg
// installs for such runs (everything else goes to the interface that was there before).
#pragma once

#include <memory>
#include <string>

#include "svregistration/user_interface.h"
#include "workspace/repository/database.h"

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

/// Commits the workspace repository in batches while a long run lasts (see Database::BeginBatch).
class BatchScope {
 public:
  /// With `commit_when_asked`, the batch is committed only at Checkpoint().
  explicit BatchScope(svregistration::workspace::Database& database, bool commit_when_asked = false);
  /// A point at which the run's work is whole: the batch may be committed here (true when it
  /// was). A failed commit raises its error; the batch is rolled back.
  bool Checkpoint() { return database_.CommitBatchIfDue(); }
  /// Commits what is left; raises the error when that fails.
  void End() { database_.EndBatch(); }
  ~BatchScope();
  BatchScope(const BatchScope&) = delete;
  BatchScope& operator=(const BatchScope&) = delete;

 private:
  svregistration::workspace::Database& database_;
};

}  // namespace svreg
