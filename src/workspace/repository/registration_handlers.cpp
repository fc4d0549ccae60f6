// The built-in registration handlers and their registration in the class registry.
#include "workspace/repository/registration_handlers.h"

#include <fmt/core.h>

#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "svregistration/class_registry.h"
#include "svregistration/error.h"
#include "svregistration/host/repository.h"
#include "svregistration/host/utilities.h"
#include "svregistration/host/workspace.h"
#include "workspace/repository/database.h"
#include "workspace/repository/names.h"
#include "workspace/repository/object_id.h"
#include "workspace/repository/schema.h"

namespace svregistration::workspace {

namespace {

// The extension of the last component of a path, with its dot; "" when it has none. Both '/'
// and '\' separate components.
std::string_view ExtensionOf(std::string_view path) {
  std::size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

Error NotSet(std::string_view what) {
  return Error(error_number::kObjectNotSet, kDatabaseErrorSource,
               fmt::format("{}: object variable not set", what));
}

// An element with the attribute, of that value.
bool Named(const pugi::xml_node& node, const char* element, const char* attribute,
           std::string_view value) {
  if (std::strcmp(node.name(), element) != 0) return false;
  pugi::xml_attribute found = node.attribute(attribute);
  return found && value == found.value();
}

// True when a LIST NAME="Extension" at or below `node` has, for the type, a STRING whose VALUE
// is the extension (letter case ignored): what
// .//LIST[@NAME='Extension']/CASE[@NAME=type]/STRINGS[@NAME='Extensions']/STRING/@VALUE selects,
// walked directly rather than through an XPath query compiled for every object.
bool ListsExtension(const pugi::xml_node& node, std::string_view type, std::string_view extension) {
  for (const pugi::xml_node& child : node.children()) {
    if (Named(child, "LIST", "NAME", "Extension")) {
      for (const pugi::xml_node& entry : child.children("CASE")) {
        if (!Named(entry, "CASE", "NAME", type)) continue;
        for (const pugi::xml_node& strings : entry.children("STRINGS")) {
          if (!Named(strings, "STRINGS", "NAME", "Extensions")) continue;
          for (const pugi::xml_node& string : strings.children("STRING")) {
            pugi::xml_attribute value = string.attribute("VALUE");
            if (value && EqualsIgnoreCase(value.value(), extension)) return true;
          }
        }
      }
    }
    if (ListsExtension(child, type, extension)) return true;
  }
  return false;
}

}  // namespace

bool AcceptHandler::OnObjectRegister(std::shared_ptr<host::Workspace>& /*workspace*/,
                                     std::shared_ptr<host::RepositoryObject>& /*object*/) {
  return true;
}

bool ExtensionHandler::OnObjectRegister(std::shared_ptr<host::Workspace>& workspace,
                                        std::shared_ptr<host::RepositoryObject>& object) {
  if (!workspace) throw NotSet("ExtensionHandler: the workspace");
  if (!object) throw NotSet("ExtensionHandler: the object");
  std::shared_ptr<host::ObjectType> type = object->ObjectType();
  std::string type_name = type->TypeCode();
  std::string extension(ExtensionOf(object->GetAttribute(type->SourceAttribute())));
  if (extension.empty()) return false;
  std::shared_ptr<host::OptionsHolder> options = workspace->WorkspaceOptions();
  const pugi::xml_document* document = options ? options->View() : nullptr;
  if (document == nullptr) throw NotSet("ExtensionHandler: the workspace options document");
  // A type code with a quote has never matched (it cannot be written in the query's literal).
  if (type_name.find('\'') != std::string::npos) return false;
  return ListsExtension(*document, type_name, extension);
}

void RegisterWorkspaceClasses() {
  ClassRegistry& registry = ClassRegistry::Instance();
  registry.Register<host::RegistrationHandler>(std::string(kAcceptHandlerClass),
                                               [] { return std::make_shared<AcceptHandler>(); });
  registry.Register<host::RegistrationHandler>(std::string(kExtensionHandlerClass),
                                               [] { return std::make_shared<ExtensionHandler>(); });
  registry.Register<host::IdUtility>(host::kIdUtilityClass,
                                     [] { return std::make_shared<WorkspaceIdUtility>(); });
}

}  // namespace svregistration::workspace
