// Paths taken from host data (file entries, manifest lines) resolved beneath a root folder, and
// deleted only there. A relative path is normalised lexically ("." dropped, ".." taking back one
// component) and must stay below the root; it is then opened beneath the root's own descriptor
// without ever following a link out of it (a link inside that stays inside is followed; the last
// component is never followed, so a link is deleted as a link). The root itself and the host's
// own files and folders (and any folder holding one) are never deleted.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/unique_fd.h"

namespace svregistration::os {

/// Where a path resolved beneath the root lies: the folder holding it, opened beneath the root,
/// and its own name there.
struct ConfinedTarget {
  UniqueFd parent;
  std::string name;
  /// The normalised path relative to the root ("/" between components).
  std::string relative;
  /// The root, "/" and `relative`: what messages and host calls name.
  std::string path;
  /// A folder resolved to be written into, opened beneath the root when it exists.
  UniqueFd self;
};

/// What a deletion beneath the root came to.
enum class ConfinedOutcome { kDeleted, kMissing, kRefused, kFailed };

/// The paths beneath a root that are never deleted or written as data, normalised once: each
/// path, and every folder that holds one; a path that ends with a separator protects everything
/// below it too.
class ProtectedPaths {
 public:
  /// `paths` are relative paths ("/" or "\" between components).
  explicit ProtectedPaths(const std::vector<std::string>& paths);
  /// The paths as given, to tell whether another list is the same.
  const std::vector<std::string>& given() const { return given_; }
  /// True when the normalised relative path is protected, holds one, or lies in a protected tree.
  bool Protects(const std::string& relative) const;
  bool InTree(const std::string& relative) const;
  /// True when the path is one of the list itself.
  bool Lists(const std::string& relative) const;

 private:
  std::vector<std::string> given_;
  std::vector<std::string> paths_;
  std::vector<std::string> trees_;
};

class ConfinedRoot {
 public:
  /// Opens `root`; `protected_paths` are relative paths ("/" or "\" between components) that are
  /// never deleted, nor any folder that holds one; one that ends with a separator protects
  /// everything below it too. Raises Error when the root cannot be opened.
  ConfinedRoot(std::string root, const std::vector<std::string>& protected_paths);
  /// The same with a protected set made before (and shared by several roots in turn).
  ConfinedRoot(std::string root, std::shared_ptr<const ProtectedPaths> protected_paths);

  const std::string& root() const { return root_; }
  /// The root folder, open.
  int descriptor() const { return root_fd_.get(); }
  /// True when the normalised relative path is one of the protected paths, holds one, or lies
  /// in a protected tree.
  bool Protects(const std::string& relative) const { return IsProtected(relative); }

  /// Resolves a host relative path ("\" and "/" are separators). nullopt, with `why` set, when
  /// the path is absolute, climbs above the root, passes through a link leading out of it, or
  /// names the root itself or a protected path.
  /// With `literal_name`, a "\" in the last component ("/" ends the folders) is part of the name.
  std::optional<ConfinedTarget> Resolve(std::string_view relative, std::string& why,
                                        bool literal_name = false) const;
  /// Resolves a file this program is about to write (a registered copy): as Resolve, and nothing
  /// but a file may stand at its name: a link there is somebody else's and is never written
  /// through.
  std::optional<ConfinedTarget> ResolveFileToWrite(std::string_view relative, std::string& why,
                                                   bool literal_name = false) const;
  /// The same, looked at in `folder` (which ResolveFolderToWrite opened) when the path lies
  /// directly in it: the folder is not opened again, and the target's `parent` stays closed, the
  /// caller using `folder`'s descriptor for as long as it holds it open.
  std::optional<ConfinedTarget> ResolveFileToWriteIn(const ConfinedTarget& folder,
                                                     std::string_view relative, std::string& why,
                                                     bool literal_name = false) const;
  /// Resolves a folder this program writes into (a Sources folder): as Resolve, except that a
  /// protected folder may be written into; refused when it lies in a protected tree, when a
  /// protected file stands at its name, or when it is itself a link leading out.
  std::optional<ConfinedTarget> ResolveFolderToWrite(std::string_view relative,
                                                     std::string& why) const;
  /// True when nothing, or a plain file, stands at `name` in a folder ResolveFolderToWrite
  /// opened (a folder not there yet holds nothing); otherwise false, with `why` set. `nothing`,
  /// when given, is told whether nothing at all (no file, no link) stands there.
  static bool NothingButAFileAt(const ConfinedTarget& folder, const std::string& name,
                                std::string& why, bool* nothing = nullptr);

  /// True when a pattern may delete files in the folder (relative to the root): never in a
  /// protected folder (a Sources folder, where registered copies lie) or one that holds one.
  bool PatternsMayDeleteIn(const std::string& folder) const { return !IsProtected(folder); }

  /// The relative path of a full path that lies textually below the root; nullopt otherwise.
  std::optional<std::string> RelativeOf(std::string_view full_path) const;

  static bool IsFile(const ConfinedTarget& target);
  static bool IsFolder(const ConfinedTarget& target);
  /// The number of files (anything but folders) directly in the target folder; -1 on failure.
  static long CountFiles(const ConfinedTarget& target);
  /// Deletes a file or a link (never following it). Read-only files go too.
  static ConfinedOutcome DeleteFile(const ConfinedTarget& target, std::string& why);
  /// Deletes every file (never a folder) in the target's folder whose name matches the target's
  /// name as a pattern: "*" any run of characters, "?" any one, letters without regard to case.
  /// kMissing when nothing matches.
  static ConfinedOutcome DeleteMatching(const ConfinedTarget& target, std::string& why);
  /// Deletes a folder with everything in it, links inside deleted as links; a link in the
  /// folder's place is deleted as a link.
  static ConfinedOutcome DeleteFolder(const ConfinedTarget& target, std::string& why);

 private:
  bool IsProtected(const std::string& relative) const { return protected_->Protects(relative); }
  bool InProtectedTree(const std::string& relative) const { return protected_->InTree(relative); }

  std::string root_;
  UniqueFd root_fd_;
  std::shared_ptr<const ProtectedPaths> protected_;
};

/// The path without the separators it begins with: the entry ".\a\x.lst" names "a\x.lst" below
/// the workspace folder, as the folder, a separator and the rest joined would.
std::string_view WithoutLeadingSeparators(std::string_view path);

/// True when `name` matches `pattern`: "*" any run of characters (none included), "?" any one
/// character, the rest literally, letters without regard to case.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

/// The lexically normalised form of a relative path ("\" and "/" are separators, "." dropped,
/// ".." taking back one component); nullopt when it is absolute or climbs above its start.
std::optional<std::string> NormaliseRelative(std::string_view relative, bool literal_name = false);

}  // namespace svregistration::os
