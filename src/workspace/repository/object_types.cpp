// Reading the object type table and looking types up by code.
#include "workspace/repository/object_types.h"

#include <fmt/core.h>

#include "svregistration/error.h"
#include "workspace/repository/database.h"
#include "workspace/repository/names.h"

namespace svregistration::workspace {

TypeCatalog TypeCatalog::Load(Database& database) {
  TypeCatalog catalog;
  Statement statement = database.Prepare(
      "SELECT code, display_name, source_attribute, handler FROM object_types ORDER BY rowid");
  while (statement.Step()) {
    catalog.types_.push_back(std::make_shared<StoredObjectType>(ObjectTypeInfo{
        statement.Text(0), statement.Text(1), statement.Text(2), statement.Text(3)}));
  }
  if (catalog.types_.empty()) {
    throw Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
                fmt::format("the workspace database '{}' is damaged: it has no object types",
                            database.path()));
  }
  return catalog;
}

std::shared_ptr<StoredObjectType> TypeCatalog::Find(std::string_view code) const {
  for (const auto& type : types_) {
    if (EqualsIgnoreCase(type->info().code, code)) return type;
  }
  return nullptr;
}

std::shared_ptr<StoredObjectType> TypeCatalog::Get(std::string_view code) const {
  std::shared_ptr<StoredObjectType> type = Find(code);
  if (!type) {
    throw Error(error_number::kSubscriptOutOfRange, kDatabaseErrorSource,
                fmt::format("subscript out of range: no object type '{}'", code));
  }
  return type;
}

}  // namespace svregistration::workspace
