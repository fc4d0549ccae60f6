// What a refresh would change, found without changing anything: whether each registered copy is
// what its original gives now, and which files in the Sources folders no object records.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/host/repository.h"

namespace svregistration::workspace {

class WorkspaceHost;
struct CopyRecipe;

enum class CopyState {
  kUpToDate,
  /// The copy differs from its original's workspace form.
  kModified,
  kOriginalMissing,
  /// The object records no original.
  kOriginalUnknown,
  kCopyMissing,
  /// The copy differs and would now be made differently from how it was made.
  kSettingsChanged,
  /// The original cannot be read or converted (the detail says why).
  kUnreadable,
  /// A file in a Sources folder that no object records.
  kUntracked,
};

/// "up_to_date", "modified", "original_missing", "original_unknown", "copy_missing",
/// "settings_changed", "unreadable", "untracked".
SVREG_API const char* CopyStateName(CopyState state) noexcept;

struct CopyStatus {
  std::string id;
  std::string name;
  std::string type;
  /// The copy, relative to the workspace folder.
  std::string source;
  std::string original;
  CopyState state = CopyState::kUpToDate;
  /// What changed (the settings), or why the original cannot be read.
  std::string detail;
};

/// The state of one object's copy against `original` (empty: the object's own original).
/// `now`, when the caller has it, is the normalised recipe of the object's type
/// (CopyRecipe::Current), so that a run over many objects reads the options once.
SVREG_API CopyStatus StatusOf(const std::shared_ptr<WorkspaceHost>& workspace,
                              host::RepositoryObject& object, const std::string& original = "",
                              const CopyRecipe* now = nullptr);

/// The state of every object with a copy, or of the objects named (a folder by its members),
/// followed, when no object is named, by the untracked files. Error 9 for an unknown id.
SVREG_API std::vector<CopyStatus> WorkspaceStatus(const std::shared_ptr<WorkspaceHost>& workspace,
                                                  const std::vector<std::string>& ids);

/// The files directly in the types' Sources folders that no object records, relative to the
/// workspace folder, in name order.
SVREG_API std::vector<std::string> UntrackedFiles(WorkspaceHost& workspace);

/// Deletes the untracked files (nothing else: only files directly in a Sources folder that lies
/// inside the workspace, a link as a link); the ones deleted. Error 75 while another run works
/// in the workspace, since its copies are not recorded yet.
SVREG_API std::vector<std::string> RemoveUntrackedFiles(
    const std::shared_ptr<WorkspaceHost>& workspace);

/// A registered copy and its original's workspace form, as bytes.
struct CopyAndForm {
  std::string copy;
  std::string form;
};
/// The object's copy and its original's workspace form; Error 9 for an unknown id, Error 53
/// naming what is missing (the copy, the original, or the record of either).
SVREG_API CopyAndForm ReadCopyAndForm(const std::shared_ptr<WorkspaceHost>& workspace,
                                      const std::string& id);

}  // namespace svregistration::workspace
