// The built-in registration handlers and their registration in the class registry.
#include "workspace/repository/registration_handlers.h"

#include <fmt/core.h>

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
  pugi::xml_document* document = options ? options->Document() : nullptr;
  if (document == nullptr) throw NotSet("ExtensionHandler: the workspace options document");
  // A quote would end the XPath literal; type codes never hold one.
  if (type_name.find('\'') != std::string::npos) return false;
  std::string xpath = fmt::format(
      ".//LIST[@NAME='Extension']/CASE[@NAME='{}']/STRINGS[@NAME='Extensions']/STRING/@VALUE",
      type_name);
  for (const pugi::xpath_node& value : document->select_nodes(xpath.c_str())) {
    if (EqualsIgnoreCase(value.attribute().value(), extension)) return true;
  }
  return false;
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
