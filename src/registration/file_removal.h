// Removal of the files that belong to unregistered or invalidated objects: the host names them as
// file entries (a marker and a path relative to the workspace root), and a manifest entry names a
// text file listing further generated files and folders, deleted pass by pass.
#pragma once

#include <string>

#include "registration/sv_standard_state.h"

namespace svregistration::registration {

enum class DeletionVariant {
  kHost,     ///< files and folders through the host's FileUtility
  kPattern,  ///< files by their literal names (never a folder), every failure ignored
};

/// The host unregisters the object; its files are deleted, except a "." entry naming `keep` (a
/// path relative to the workspace root) when one is given.
void RemoveUnregisteredObjectFiles(SVStandard::State& state, host::RepositoryObject& object,
                                   const std::string& keep = {});
/// The host invalidates the object; its generated files are deleted.
void RemoveInvalidatedObjectFiles(SVStandard::State& state, host::RepositoryObject& object);
/// The host unregisters the objects (a failure of that call is ignored); their files are deleted
/// by pattern.
void RemoveUnregisteredGroupFiles(SVStandard::State& state, host::IdCollection& ids);
/// The host invalidates the objects, pending interface events are processed once, and their
/// generated files are deleted.
void RemoveInvalidatedGroupFiles(SVStandard::State& state, host::IdCollection& ids);

/// Deletes what the entries name, every path resolved beneath the workspace folder: an entry that
/// would leave it, or would delete the workspace folder or the host's own files, is refused with a
/// warning in the workspace log and the others go on.
void RemoveEntryFiles(SVStandard::State& state, const host::EntryList& entries,
                      DeletionVariant variant, const std::string& keep = {});
/// Deletes what a manifest (a path relative to the workspace root) lists, pass by pass, then the
/// manifest itself. Every target is resolved beneath the workspace folder; what would leave it is
/// refused with a warning in the workspace log.
void RemoveManifestFiles(SVStandard::State& state, const std::string& relative_path);
/// The relative path one manifest line names.
std::string ManifestEntryPath(const std::string& line);

}  // namespace svregistration::registration
