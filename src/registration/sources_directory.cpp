// The Sources directory of an object type.
#include "registration/sources_directory.h"

#include "platform/file_system.h"
#include "registration/registration_settings.h"

namespace svregistration::registration {

namespace {

std::string ReadSourcesDirectory(const pugi::xml_document* global, const std::string& type) {
  pugi::xml_node root;
  if (global != nullptr) root = *global;
  std::string value = ReadOptionValue(
      root, "//CASE[@ID='Inventory']/*/CASE[@NAME='" + type + "']/TEXT[@NAME='Directory']");
  if (value.empty()) return "Sources/" + type;
  return platform::HostRelativePath(value);
}

}  // namespace

std::string SourcesDirectory(registration::State& state, const std::string& type) {
  auto global = state.Workspace->GlobalOptions();
  const pugi::xml_document* document = global ? global->Document() : nullptr;
  SignatureOf({document}, false, state.Signature);
  if (const std::string* kept = state.SourcesDirectories.Find(state.Signature, type)) return *kept;
  std::string directory = ReadSourcesDirectory(document, type);
  state.SourcesDirectories.Keep(type, directory);
  return directory;
}

}  // namespace svregistration::registration
