// The Sources directory of an object type.
#include "registration/sources_directory.h"

#include "platform/file_system.h"
#include "registration/registration_settings.h"

namespace svregistration::registration {

std::string SourcesDirectory(registration::State& state, const std::string& type) {
  auto global = state.Workspace->GlobalOptions();
  pugi::xml_node root;
  if (global && global->Document()) root = *global->Document();
  std::string value = ReadOptionValue(
      root, "//CASE[@ID='Inventory']/*/CASE[@NAME='" + type + "']/TEXT[@NAME='Directory']");
  if (value.empty()) return "Sources/" + type;
  return platform::HostRelativePath(value);
}

}  // namespace svregistration::registration
