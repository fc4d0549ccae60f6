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
  return os::HostRelativePath(value);
}

}  // namespace

std::string SourcesDirectory(registration::State& state, const std::string& type) {
  std::shared_ptr<host::OptionsHolder> global;
  auto read = [&]() -> OptionsDocuments {
    if (!global) global = state.Workspace->GlobalOptions();
    return {global ? global->View() : nullptr};
  };
  state.sources_directories.Validate(state.call, state.Workspace, read, false);
  if (const std::string* kept = state.sources_directories.Find(type)) return *kept;
  std::string directory = ReadSourcesDirectory(read()[0], type);
  state.sources_directories.Keep(type, directory);
  return directory;
}

void SourcesFolder::ShownBy(const std::string& file) {
  if (!known_ && !path_.empty() && os::ParentFolderName(file) == path_) {
    known_ = ready_ = true;
  }
}

bool SourcesFolder::Ready() {
  if (known_) return ready_;
  known_ = true;
  ready_ = path_.empty() || os::FolderExists(path_);
  if (!ready_) {
    try {
      os::CreateFolder(path_);
    } catch (const Error&) {
    }
    ready_ = os::FolderExists(path_);
  }
  return ready_;
}

}  // namespace svregistration::registration
