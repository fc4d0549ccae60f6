// The search for original source files.
#include "registration/original_search.h"

#include <sys/stat.h>

#include <set>
#include <utility>

#include "nls/text.h"
#include "os/file_system.h"
#include "registration/dir_browse.h"
#include "registration/registration_settings.h"
#include "svregistration/error.h"

namespace svregistration::registration {

namespace {

constexpr const char* kDialogTitle = "Select Default Source Directory";

pugi::xml_node WorkspaceRoot(registration::State& state) {
  auto options = state.Workspace->WorkspaceOptions();
  if (!options || !options->Document()) return {};
  return *options->Document();
}

struct NameParts {
  bool has_library = false;
  std::string member, library;
  bool dotted = false;
};

NameParts SplitName(const std::string& name) {
  NameParts parts;
  std::string lower = nls::ToLower(name);
  std::size_t marker = lower.find("_of_");
  if (marker != std::string::npos) {
    parts.has_library = true;
    parts.member = name.substr(0, marker);
    parts.library = name.substr(marker + 4);
  }
  parts.dotted = name.find('.') != std::string::npos;
  return parts;
}

using FolderId = std::pair<dev_t, ino_t>;

std::string Search(const std::string& name, const NameParts& parts, const std::string& directory,
                   const pugi::xml_node& extensions, std::set<FolderId>& visited) {
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0 || !visited.insert({info.st_dev, info.st_ino}).second) {
    return "";
  }
  for (pugi::xml_node child = extensions.first_child(); child; child = child.next_sibling()) {
    std::string extension = ReadOptionValue(child, "");
    std::string candidate = os::BuildPath(directory, parts.dotted ? name : name + extension);
    if (os::FileExists(candidate)) return candidate;
    if (parts.has_library) {
      for (const std::string& other :
           {os::BuildPath(directory, parts.library + "/" + parts.member + extension),
            os::BuildPath(directory, parts.member + extension)}) {
        if (os::FileExists(other)) return other;
      }
    }
    if (parts.dotted) break;
  }
  std::vector<std::string> subfolders;
  try {
    subfolders = os::SubFolders(directory);
  } catch (const Error&) {
    return "";  // an unreadable folder is skipped
  }
  for (const std::string& subfolder : subfolders) {
    std::string found = Search(name, parts, subfolder, extensions, visited);
    if (!found.empty()) return found;
  }
  return "";
}

}  // namespace

std::string ChooseDefaultSourceDir(registration::State& state) {
  pugi::xml_node page = SelectQuietly(WorkspaceRoot(state), "//CASE[@ID='Encoding']");
  if (!page) return "";
  const std::string path = ".//FILE[@NAME='DefSourceDir']";
  std::string directory = ReadOptionValue(page, path);
  if (directory.empty()) {
    directory =
        BrowseForFolder(*state.interface, state.Workspace->SolvanewareWindowHandle(), kDialogTitle);
    if (directory.empty()) {
      state.Workspace->SetCancelPressed(true);
      return "";
    }
    pugi::xml_node element = SelectQuietly(page, path);
    if (!element) {
      throw Error(error_number::kObjectNotSet, "SVRegistration",
                  "Object variable not set: the Encoding page has no DefSourceDir to store '" +
                      directory + "' in");
    }
    if (!element.attribute("VALUE")) element.append_attribute("VALUE");
    element.attribute("VALUE").set_value(directory.c_str());
    state.Workspace->WorkspaceOptions()->Save();
  }
  return os::AbsolutePathName(directory);
}

void FindOriginalSource(registration::State& state, host::RepositoryObject& object,
                        std::string& original_source, const std::string& directory) {
  pugi::xml_node page = SelectQuietly(WorkspaceRoot(state), "//CASE[@ID='Registration']");
  if (!page || !os::FolderExists(directory)) return;
  std::string type = object.ObjectType()->TypeCode();
  pugi::xml_node extensions = SelectQuietly(
      page, "./LIST[@NAME='Extension']/CASE[@NAME='" + type + "']/STRINGS[@NAME='Extensions']");
  if (!extensions || !extensions.first_child()) return;
  original_source = SearchOriginalSource(object.Name(), directory, extensions);
}

std::string SearchOriginalSource(const std::string& name, const std::string& directory,
                                 const pugi::xml_node& extensions) {
  std::set<FolderId> visited;
  return Search(name, SplitName(name), directory, extensions, visited);
}

}  // namespace svregistration::registration
