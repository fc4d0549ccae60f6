// Deleting the files of unregistered and invalidated objects, and manifests.
#include "registration/file_removal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "nls/text.h"
#include "os/confined_paths.h"
#include "os/file_system.h"
#include "registration/workspace_files.h"
#include "runtime/host_utilities.h"
#include "svregistration/error.h"
#include "svregistration/user_interface.h"

namespace svregistration::registration {

namespace {

using os::ConfinedOutcome;
using os::ConfinedRoot;
using os::ConfinedTarget;

constexpr const char* kRemovalLogTitle = "Remove files";

using nls::StartsWithIgnoreCase;

// The likely reason the host's utility left a file or folder: what the file system answers when
// asked to delete it, said without deleting anything (a folder it cannot write to, an immutable
// file).
std::string WhyStillThere(const ConfinedTarget& target) {
  if (::faccessat(target.parent.get(), ".", W_OK, AT_EACCESS) != 0) {
    return std::string("its folder cannot be written to: ") + std::strerror(errno);
  }
  return "the file system refused to delete it (an immutable or busy file?)";
}

// Every path the host names for deletion is resolved here, beneath the workspace folder; what
// would leave it, or would delete the workspace's own files, is refused with a warning in the log.
class Removal {
 public:
  explicit Removal(registration::State& state)
      : state_(state), root_(state.WorkspaceDirectory, ProtectedPathsOf(state)) {}

  /// The target of a path relative to the workspace root; nullopt (and a warning logged) when it
  /// is refused.
  std::optional<ConfinedTarget> Resolve(std::string_view relative, const std::string& what,
                                        bool literal_name = false) {
    std::string why;
    std::optional<ConfinedTarget> target = root_.Resolve(relative, why, literal_name);
    if (!target) {
      Warn("Not deleted: " + what + ": " + why);
    }
    return target;
  }

  /// A file or folder that stays although it was to go is named in the log with the reason.
  void Warn(const std::string& text) {
    state_.Workspace->Log()->Add(kRemovalLogTitle, host::kSeverityWarning, std::nullopt, text);
  }

  void RemoveEntry(const std::string& entry, DeletionVariant variant);
  void RemoveManifest(const ConfinedTarget& manifest);

 private:
  // Deletes the target of one manifest line; true when a deletion was attempted and succeeded.
  bool RemoveManifestLine(const std::string& folder, const std::string& line,
                          const std::string& manifest, bool& refused);

  registration::State& state_;
  ConfinedRoot root_;
};

void Removal::RemoveEntry(const std::string& entry, DeletionVariant variant) {
  const char marker = entry.empty() ? '\0' : entry[0];
  if (marker != '.' && marker != ':' && marker != '\\') return;
  // A file named with a "\" (registered from such a name) is recorded with it. An entry that
  // begins with a separator is the workspace folder, a separator and the rest: inside it.
  std::string_view relative = os::WithoutLeadingSeparators(std::string_view(entry).substr(1));
  const bool literal_name = marker == '.' && os::JoinRecordedPath(root_.root(), relative) !=
                                                 os::JoinHostPath(root_.root(), relative);
  std::optional<ConfinedTarget> target =
      Resolve(relative, "the entry '" + entry + "'", literal_name);
  if (!target) return;
  if (marker == ':') {
    RemoveManifest(*target);
  } else if (variant == DeletionVariant::kPattern) {
    // A group unregistration deletes the file a path names, never a folder: the folder may hold
    // files of objects that stay registered. A failure changes no result.
    std::string why;
    ConfinedOutcome outcome = ConfinedRoot::DeleteFile(*target, why);
    // A name holding "*" or "?" that no file has is a pattern, matched among the files of its
    // folder; never in a Sources folder, where the registered copies of other objects lie.
    if (outcome == ConfinedOutcome::kMissing &&
        target->name.find_first_of("*?") != std::string::npos &&
        root_.PatternsMayDeleteIn(os::ParentFolderName(target->relative))) {
      outcome = ConfinedRoot::DeleteMatching(*target, why);
    }
    if (outcome == ConfinedOutcome::kFailed) Warn("Not deleted: '" + target->path + "': " + why);
  } else if (marker == '.') {
    if (!runtime::ThreadFileUtility().RemoveFile(target->path) && ConfinedRoot::IsFile(*target)) {
      Warn("Not deleted: '" + target->path + "': " + WhyStillThere(*target));
    }
  } else if (!runtime::ThreadFileUtility().RemoveFolder(target->path) &&
             ConfinedRoot::IsFolder(*target)) {
    Warn("Not deleted: '" + target->path + "': " + WhyStillThere(*target));
  }
}

bool Removal::RemoveManifestLine(const std::string& folder, const std::string& line,
                                 const std::string& manifest, bool& refused) {
  if (StartsWithIgnoreCase(line, "//MODEL:") || StartsWithIgnoreCase(line, "//NOTES:"))
    return false;
  // An empty line names the manifest's own folder, which holds the manifest: nothing to do.
  const std::string path = ManifestEntryPath(line);
  std::string_view named = os::WithoutLeadingSeparators(path);
  if (named.empty()) return false;
  std::string relative = folder.empty() ? std::string(named) : folder + "/" + std::string(named);
  // A failure here, the log included, is noted for the line and ends only its file work.
  try {
    std::optional<ConfinedTarget> target =
        Resolve(relative, "the line '" + line + "' of the manifest '" + manifest + "'");
    if (!target) {
      refused = true;
      return false;
    }
    std::string why;
    if (StartsWithIgnoreCase(line, "//DIR:")) {
      return ConfinedRoot::CountFiles(*target) == 0 &&
             ConfinedRoot::DeleteFolder(*target, why) == ConfinedOutcome::kDeleted;
    }
    if (ConfinedRoot::IsFile(*target)) {
      return ConfinedRoot::DeleteFile(*target, why) == ConfinedOutcome::kDeleted;
    }
    return ConfinedRoot::IsFolder(*target) && ConfinedRoot::CountFiles(*target) == 0 &&
           ConfinedRoot::DeleteFolder(*target, why) == ConfinedOutcome::kDeleted;
  } catch (const Error&) {
    return false;
  }
}

// A line for which no deletion was attempted or succeeded stays in the collection, except a
// refused one, which never will; the passes end when the collection is empty or a pass deletes
// nothing.
void Removal::RemoveManifest(const ConfinedTarget& manifest) {
  std::string folder = os::ParentFolderName(manifest.relative);
  std::vector<std::string> lines = runtime::ThreadFileUtility().ReadListFile(manifest.path);
  bool deleted_something = true;
  while (!lines.empty() && deleted_something) {
    deleted_something = false;
    for (std::size_t i = lines.size(); i > 0; --i) {
      bool refused = false;
      bool deleted = RemoveManifestLine(folder, lines[i - 1], manifest.path, refused);
      if (deleted || refused) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i - 1));
      deleted_something = deleted_something || deleted;
    }
  }
  std::string ignored;
  ConfinedRoot::DeleteFile(manifest, ignored);
}

}  // namespace

void RemoveUnregisteredObjectFiles(registration::State& state, host::RepositoryObject& object,
                                   const std::string& keep) {
  host::EntryList entries;
  object.UnregisterObject(entries);
  RemoveEntryFiles(state, entries, DeletionVariant::kHost, keep);
}

void RemoveInvalidatedObjectFiles(registration::State& state, host::RepositoryObject& object) {
  host::EntryList entries;
  object.InvalidateObject(entries);
  RemoveEntryFiles(state, entries, DeletionVariant::kHost);
}

void RemoveUnregisteredGroupFiles(registration::State& state, host::IdCollection& ids) {
  host::EntryList entries;
  // The list is used with whatever the host put into it before failing.
  try {
    state.Repository->UnregisterObjects(ids, entries);
  } catch (const Error&) {
  }
  RemoveEntryFiles(state, entries, DeletionVariant::kPattern);
}

void RemoveInvalidatedGroupFiles(registration::State& state, host::IdCollection& ids) {
  host::EntryList entries;
  state.Repository->InvalidateObjects(ids, entries);
  state.interface->ProcessPendingEvents();
  RemoveEntryFiles(state, entries, DeletionVariant::kHost);
}

void RemoveEntryFiles(registration::State& state, const host::EntryList& entries,
                      DeletionVariant variant, const std::string& keep) {
  if (entries.empty()) return;
  const std::optional<std::string> kept = keep.empty() ? std::nullopt : os::NormaliseRelative(keep);
  Removal removal(state);
  for (const std::string& entry : entries) {
    if (kept && entry.size() > 1 && entry[0] == '.' &&
        os::NormaliseRelative(std::string_view(entry).substr(1)) == kept) {
      continue;
    }
    removal.RemoveEntry(entry, variant);
  }
}

void RemoveManifestFiles(registration::State& state, const std::string& relative_path) {
  Removal removal(state);
  if (auto manifest = removal.Resolve(relative_path, "the manifest '" + relative_path + "'")) {
    removal.RemoveManifest(*manifest);
  }
}

std::string ManifestEntryPath(const std::string& line) {
  std::size_t colon = line.find(':');
  if (line.size() >= 3 && line.compare(0, 2, "//") == 0 && colon != std::string::npos) {
    if (StartsWithIgnoreCase(line, "//SOURCE")) {
      std::size_t comma = line.find(',', colon + 1);
      return comma == std::string::npos ? line : line.substr(comma + 1);
    }
    return line.substr(colon + 1);
  }
  return line;
}

}  // namespace svregistration::registration
