// The Sources directory of an object type.
#include "registration/sources_directory.h"

#include "os/file_system.h"
#include "registration/registration_settings.h"
#include "svregistration/error.h"

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
  std::shared_ptr<host::OptionsHolder> global;
  auto read = [&]() -> OptionsDocuments {
    if (!global) global = state.Workspace->GlobalOptions();
    return {global ? global->View() : nullptr};
  };
  state.SourcesDirectories.Validate(state.Call, state.Workspace, read, false);
  if (const std::string* kept = state.SourcesDirectories.Find(type)) return *kept;
  std::string directory = ReadSourcesDirectory(read()[0], type);
  state.SourcesDirectories.Keep(type, directory);
  return directory;
}

void SourcesFolder::ShownBy(const std::string& file) {
  if (!known_ && !path_.empty() && platform::ParentFolderName(file) == path_) {
    known_ = ready_ = true;
  }
}

bool SourcesFolder::Ready() {
  if (known_) return ready_;
  known_ = true;
  ready_ = path_.empty() || platform::FolderExists(path_);
  if (!ready_) {
    try {
      platform::CreateFolder(path_);
    } catch (const Error&) {
    }
    ready_ = platform::FolderExists(path_);
  }
  return ready_;
}

}  // namespace svregistration::registration
