// Which object type a file is, by the extension lists of the Registration page (letter case
// ignored by the one rule of the workspace: Unicode simple case folding).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace svregistration::workspace {

class WorkspaceHost;

class ExtensionTypes {
 public:
  /// The lists of the workspace's Registration page, for the types its schema has.
  static ExtensionTypes Read(WorkspaceHost& workspace);

  /// The type whose list holds the file's extension (letter case ignored; the first such type
  /// in the page's order), as the schema spells it; "" when no list holds it.
  std::string TypeOf(std::string_view file) const;
  /// True when the type's list holds the file's extension.
  bool Lists(std::string_view type, std::string_view file) const;
  /// The extension of a file's name with its dot, case-folded; "" when it has none.
  static std::string ExtensionOf(std::string_view file);

 private:
  /// (extension case-folded with its dot, type) in the page's order.
  std::vector<std::pair<std::string, std::string>> extensions_;
};

}  // namespace svregistration::workspace
