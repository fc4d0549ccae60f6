// How a registered copy was made: byte for byte, or normalised with the settings that decide its
// bytes. The host keeps each object's recipe beside it, so that a refresh that would now make the
// copy differently (another legacy encoding, code page table, SO/SI choice, locale, tab or
// sequence-number option) is noticed before it rewrites the copy.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/host/repository.h"

namespace svregistration::workspace {

class WorkspaceHost;

/// The object attribute that holds the recipe of the object's copy.
inline constexpr const char* kCopyRecipeAttribute = "CopyRecipe";

struct SVREG_API CopyRecipe {
  bool normalised = false;
  /// The settings of a normalised copy, by name, in a fixed order; empty for a verbatim copy.
  std::vector<std::pair<std::string, std::string>> settings;

  /// A setting's value; "(none)" for a setting the recipe lacks.
  std::string Value(const std::string& name) const;
  /// True for a copy whose bytes are the original's: verbatim, or normalised with no option
  /// that changes a byte (no tabs expanded, no sequence numbers removed, no EBCDIC conversion,
  /// shift-out and shift-in bytes retained).
  bool KeepsBytes() const;

  /// "verbatim", or "normalised" followed by "; name=value" for each setting.
  std::string Text() const;
  /// The recipe Text() wrote; nullopt for a text it cannot have written (or "").
  static std::optional<CopyRecipe> Parse(const std::string& text);
  /// The recipe a copy of a source of `type` gets now: normalised (registration with encoding,
  /// refresh) or verbatim.
  static CopyRecipe Current(WorkspaceHost& workspace, const std::string& type, bool normalised);
};

/// What differs between how a copy was made and how it would be made now, one phrase each
/// ("legacy_encoding ASCII -> EBCDIC", "verbatim -> normalised"); empty when nothing does.
SVREG_API std::vector<std::string> RecipeChanges(const CopyRecipe& was, const CopyRecipe& now);

/// The recipe recorded for the object; nullopt when none is (an object registered before
/// recipes were kept, or by a refresh that found its original).
SVREG_API std::optional<CopyRecipe> RecordedRecipe(host::RepositoryObject& object);
/// Records the recipe on the object (part of the caller's transaction or batch).
SVREG_API void RecordRecipe(host::RepositoryObject& object, const CopyRecipe& recipe);

}  // namespace svregistration::workspace
