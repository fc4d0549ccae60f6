// The generated file entries of objects: what the tools that work on an object produced in the
// workspace, as entries of a marker and a path relative to the workspace root: ".out/x.lst" a
// file, ":out/x.mf" a manifest listing further files, "\gen" a folder, "*..." nothing to delete.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/repository/context.h"

namespace svregistration::workspace {

/// Error 5 naming the entry unless it is a marker ('.', ':', '\\' or '*') and, for the first
/// three, a non-empty relative path that stays inside the workspace (not absolute, no ".."
/// component): the entries are handed to code that deletes what they name.
void CheckGeneratedEntry(std::string_view entry);

/// The object's entries in the order they were added.
std::vector<std::string> GeneratedEntriesOf(const RepositoryContext& context, std::int64_t object);

/// Adds an entry inside the caller's transaction; an entry the object has already is kept once.
void InsertGeneratedEntry(const RepositoryContext& context, std::int64_t object,
                          std::string_view entry);

/// Forgets the object's entries, inside the caller's transaction.
void DeleteGeneratedEntries(const RepositoryContext& context, std::int64_t object);

}  // namespace svregistration::workspace
