// Deleting the files of unregistered and invalidated objects, and manifests.
#include "registration/file_removal.h"

#include "platform/file_system.h"
#include "platform/host_utilities.h"
#include "platform/text.h"
#include "svregistration/error.h"
#include "svregistration/user_interface.h"

namespace svregistration::registration {

namespace {

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && platform::EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// The target of a manifest line, without one trailing separator.
std::string ManifestTarget(const std::string& folder, const std::string& line) {
  std::string target = platform::JoinHostPath(folder, ManifestEntryPath(line));
  if (target.size() > 1 && target.back() == '/') target.pop_back();
  return target;
}

// Deletes the target of one manifest line. True when a deletion was attempted and succeeded.
bool DeleteManifestLine(const std::string& folder, const std::string& line) {
  if (StartsWithIgnoreCase(line, "//MODEL:") || StartsWithIgnoreCase(line, "//NOTES:")) return false;
  std::string target = ManifestTarget(folder, line);
  // A failure here is noted for the line and ends only its file work.
  try {
    if (StartsWithIgnoreCase(line, "//DIR:")) {
      if (platform::CountFilesIn(target) != 0) return false;
      platform::DeleteFolder(target, true);
      return true;
    }
    if (platform::FileExists(target)) {
      platform::DeleteFile(target, true);
      return true;
    }
    if (platform::FolderExists(target) && platform::CountFilesIn(target) == 0) {
      platform::DeleteFolder(target, true);
      return true;
    }
  } catch (const Error&) {
  }
  return false;
}

}  // namespace

void RemoveUnregisteredObjectFiles(SVStandard::State& state, host::RepositoryObject& object) {
  host::EntryList entries;
  object.UnregisterObject(entries);
  RemoveEntryFiles(state, entries, DeletionVariant::kHost);
}

void RemoveInvalidatedObjectFiles(SVStandard::State& state, host::RepositoryObject& object) {
  host::EntryList entries;
  object.InvalidateObject(entries);
  RemoveEntryFiles(state, entries, DeletionVariant::kHost);
}

void RemoveUnregisteredGroupFiles(SVStandard::State& state, host::IdCollection& ids) {
  host::EntryList entries;
  // The list is used with whatever the host put into it before failing.
  try {
    state.Repository->UnregisterObjects(ids, entries);
  } catch (const Error&) {
  }
  RemoveEntryFiles(state, entries, DeletionVariant::kPattern);
}

void RemoveInvalidatedGroupFiles(SVStandard::State& state, host::IdCollection& ids) {
  host::EntryList entries;
  state.Repository->InvalidateObjects(ids, entries);
  CurrentUserInterface().ProcessPendingEvents();
  RemoveEntryFiles(state, entries, DeletionVariant::kHost);
}

void RemoveEntryFiles(SVStandard::State& state, const host::EntryList& entries,
                      DeletionVariant variant) {
  for (const std::string& entry : entries) {
    if (entry.empty()) continue;
    std::string path = platform::JoinHostPath(state.WorkspaceDirectory, std::string_view(entry).substr(1));
    switch (entry[0]) {
      case '.':
      case '\\':
        if (variant == DeletionVariant::kHost) {
          if (entry[0] == '.') {
            platform::ThreadFileUtility().RemoveFile(path);
          } else {
            platform::ThreadFileUtility().RemoveFolder(path);
          }
        } else {
          // A group unregistration deletes the files a folder entry's path matches, never a
          // folder: the folder may hold files of objects that stay registered.
          try {
            platform::DeleteFile(path, true);
          } catch (const Error&) {
          }
        }
        break;
      case ':':
        RemoveManifestFiles(path);
        break;
      default:
        break;
    }
  }
}

// A line for which no deletion was attempted or succeeded stays in the collection; the passes end
// when the collection is empty or a pass deletes nothing.
void RemoveManifestFiles(const std::string& manifest_path) {
  std::string folder = platform::ParentFolderName(manifest_path);
  std::vector<std::string> lines = platform::ThreadFileUtility().ReadListFile(manifest_path);
  bool deleted_something = true;
  while (!lines.empty() && deleted_something) {
    deleted_something = false;
    for (std::size_t i = lines.size(); i > 0; --i) {
      if (DeleteManifestLine(folder, lines[i - 1])) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i - 1));
        deleted_something = true;
      }
    }
  }
  try {
    platform::DeleteFile(manifest_path, true);
  } catch (const Error&) {
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
