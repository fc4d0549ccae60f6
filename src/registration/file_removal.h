// Removal of the files that belong to unregistered or invalidated objects: the host names them as
// file entries (a marker and a path relative to the workspace root), and a manifest entry names a
// text file listing further generated files and folders, deleted pass by pass.
#pragma once

#include <string>

#include "registration/sv_standard_state.h"

namespace svregistration::registration {

enum class DeletionVariant {
  kHost,     ///< files and folders through the host's FileUtility
  kPattern,  ///< files by wildcard pattern, every failure ignored
};

/// The host unregisters the object; its files are deleted.
void RemoveUnregisteredObjectFiles(SVStandard::State& state, host::RepositoryObject& object);
/// The host invalidates the object; its generated files are deleted.
void RemoveInvalidatedObjectFiles(SVStandard::State& state, host::RepositoryObject& object);
/// The host unregisters the objects (a failure of that call is ignored); their files are deleted
/// by pattern.
void RemoveUnregisteredGroupFiles(SVStandard::State& state, host::IdCollection& ids);
/// The host invalidates the objects, pending interface events are processed once, and their
/// generated files are deleted.
void RemoveInvalidatedGroupFiles(SVStandard::State& state, host::IdCollection& ids);

void RemoveEntryFiles(SVStandard::State& state, const host::EntryList& entries,
                      DeletionVariant variant);
/// Deletes what a manifest lists, pass by pass, then the manifest itself.
void RemoveManifestFiles(const std::string& manifest_path);
/// The relative path one manifest line names.
std::string ManifestEntryPath(const std::string& line);

}  // namespace svregistration::registration
