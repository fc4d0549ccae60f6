// A refresh run: one object, or every member of a folder, brought up to date with its original.
// A member whose copy would now be made differently from how it was made (another encoding,
// table, SO/SI choice, locale, tab or sequence-number option, or normalised where it was copied
// verbatim) is left alone unless the run is forced; the others are refreshed. Each member's
// outcome is told with the log records this run wrote for it, never another run's.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/host/repository.h"

namespace svregistration::workspace {

class WorkspaceHost;

struct RefreshRequest {
  /// The object or folder.
  std::string id;
  /// The original to refresh from; empty: each object's own.
  std::string source;
  /// Refresh also the objects whose copy would now be made differently.
  bool force = false;
};

enum class RefreshOutcome {
  kCopied,
  kUnchanged,
  /// Left alone: its copy would now be made differently and the run was not forced.
  kSettingsChanged,
  kFailed,
};

struct ObjectRefresh {
  std::string id;
  std::string name;
  std::string original;
  /// What the refresh of the object returned (rNoRefreshNeeded, rOK, rSourceFileIsMissed...).
  int code = 0;
  RefreshOutcome outcome = RefreshOutcome::kFailed;
  /// Why it was not refreshed: the log texts written for it, or the settings that changed.
  std::string reason;
};

/// "copied", "unchanged", "settings_changed", "failed".
SVREG_API const char* RefreshOutcomeName(RefreshOutcome outcome) noexcept;

struct RefreshReport {
  /// rOK combined with the codes of the objects refreshed.
  int result = 1;
  long copied = 0;
  std::vector<ObjectRefresh> objects;
  /// True when a member's unexpected error or an unsupported locale ended the run early.
  bool stopped = false;
};

class SVREG_API RefreshRun {
 public:
  using Progress = std::function<void(long done, long total)>;

  explicit RefreshRun(std::shared_ptr<WorkspaceHost> workspace);
  void SetProgress(Progress progress) { progress_ = std::move(progress); }

  /// Finishes or undoes what killed runs left, then refreshes. Error 9 naming the id when no
  /// object has it.
  RefreshReport Run(const RefreshRequest& request);

 private:
  using Objects = std::vector<std::shared_ptr<host::RepositoryObject>>;
  /// Holds objects[first] and those after it, some at once, until the next commit; which of
  /// them were held (the others are gone) from `first` on.
  std::vector<bool> Hold(const Objects& objects, std::size_t first);

  std::shared_ptr<WorkspaceHost> workspace_;
  Progress progress_;
};

}  // namespace svregistration::workspace
