// Object types and relation types as the repository hands them out, and the catalogue of a
// workspace's object types, read once per repository.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "svregistration/host/repository.h"
#include "svregistration/workspace/repository.h"

namespace svregistration::workspace {

class Database;

class StoredObjectType final : public host::ObjectType {
 public:
  explicit StoredObjectType(ObjectTypeInfo info) : info_(std::move(info)) {}

  std::string SourceAttribute() override { return info_.source_attribute; }
  std::string RegistrationHandler() override { return info_.handler; }
  std::string DisplayName() override { return info_.display_name; }
  std::string TypeCode() override { return info_.code; }

  const ObjectTypeInfo& info() const { return info_; }

 private:
  ObjectTypeInfo info_;
};

class StoredRelationType final : public host::RelationType {
 public:
  StoredRelationType(std::string name, std::shared_ptr<StoredObjectType> target_type)
      : name_(std::move(name)), target_type_(std::move(target_type)) {}

  std::string Name() override { return name_; }
  std::shared_ptr<host::ObjectType> TargetType() override { return target_type_; }

 private:
  std::string name_;
  std::shared_ptr<StoredObjectType> target_type_;
};

/// The object types of one workspace database. They are made with the workspace and never
/// change, so they are read once and every object, cursor and relation shares them: no object
/// operation queries the type table.
class TypeCatalog {
 public:
  /// Reads the type table; a database without types is damaged (Error 75).
  static TypeCatalog Load(Database& database);

  /// The type with this code (letter case ignored), or nullptr.
  std::shared_ptr<StoredObjectType> Find(std::string_view code) const;
  /// The type with this code; Error 9 "subscript out of range: no object type '<code>'".
  std::shared_ptr<StoredObjectType> Get(std::string_view code) const;

  const std::vector<std::shared_ptr<StoredObjectType>>& types() const { return types_; }

 private:
  std::vector<std::shared_ptr<StoredObjectType>> types_;
};

}  // namespace svregistration::workspace
