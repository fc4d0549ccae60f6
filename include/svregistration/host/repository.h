// The host's repository: object types, objects with attributes and relations, forward cursors.
// Every call that fails raises svregistration::Error.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "svregistration/export.h"

namespace svregistration::host {

class RepositoryObject;

/// Ordered, 1-based in the host's terms: item i is ids[i - 1].
using IdCollection = std::vector<std::string>;
/// File entries: a marker character ('.', ':', '\\', '*') followed by a path relative to the
/// workspace root.
using EntryList = std::vector<std::string>;

class SVREG_API ObjectType {
 public:
  virtual ~ObjectType() = default;
  virtual std::string SourceAttribute() = 0;
  /// Class name of the registration handler, created through the class registry.
  virtual std::string RegistrationHandler() = 0;
  virtual std::string DisplayName() = 0;
  virtual std::string TypeCode() = 0;
};

class SVREG_API RelationType {
 public:
  virtual ~RelationType() = default;
  virtual std::string Name() = 0;
  /// The object type at the far end of the relation.
  virtual std::shared_ptr<ObjectType> TargetType() = 0;
};

/// A forward walk over objects (and, for relation cursors, the relation of each entry).
class SVREG_API ObjectCursor {
 public:
  virtual ~ObjectCursor() = default;
  virtual bool Eof() = 0;
  virtual std::shared_ptr<RepositoryObject> Item() = 0;
  /// The relation type of the current entry of a relation cursor.
  virtual std::shared_ptr<RelationType> Relation() = 0;
  virtual void MoveNext() = 0;
  virtual long Count() = 0;
};

class SVREG_API RepositoryObject {
 public:
  virtual ~RepositoryObject() = default;
  virtual std::string Id() = 0;
  virtual std::string Name() = 0;
  virtual std::shared_ptr<host::ObjectType> ObjectType() = 0;
  /// The attribute's value, "" when unset.
  virtual std::string GetAttribute(const std::string& name) = 0;
  virtual void BeginUpdate() = 0;
  /// Only between BeginUpdate and EndUpdate; committed by EndUpdate.
  virtual void SetAttribute(const std::string& name, const std::string& value) = 0;
  virtual void EndUpdate() = 0;
  /// The relations from this object; each item is the object at the far end.
  virtual std::shared_ptr<ObjectCursor> Relations() = 0;
  /// The objects that belong to this (folder) object; may be nullptr.
  virtual std::shared_ptr<ObjectCursor> Members() = 0;
  virtual void RemoveRelation(const std::string& relation, const std::string& target_id) = 0;
  /// Unregisters the object and appends the entries of the files that belonged to it.
  virtual void UnregisterObject(EntryList& entries) = 0;
  /// Invalidates the object and appends the entries of its generated files.
  virtual void InvalidateObject(EntryList& entries) = 0;
};

class SVREG_API Repository {
 public:
  virtual ~Repository() = default;
  /// Schema.ObjectTypes.Item(name): fails for a type the schema does not know.
  virtual std::shared_ptr<ObjectType> SchemaObjectType(const std::string& type_name) = 0;
  /// A cursor over the objects of a type code; may be nullptr.
  virtual std::shared_ptr<ObjectCursor> PrepareCollection(const std::string& type_code,
                                                          const std::string& condition) = 0;
  /// The object of that type and name, or nullptr. The host may rewrite name.
  virtual std::shared_ptr<RepositoryObject> FindObject(const std::string& type, std::string& name,
                                                       const std::string& condition) = 0;
  /// Creates an object; the host may rewrite name.
  virtual std::shared_ptr<RepositoryObject> NewObject(const std::string& type,
                                                      std::string& name) = 0;
  /// Fails for an id the repository does not know.
  virtual std::shared_ptr<RepositoryObject> ObjectById(const std::string& id) = 0;
  virtual long CountObjects(const std::string& type_code, const std::string& condition) = 0;
  virtual std::shared_ptr<ObjectCursor> SelectObjects(const std::string& type_code,
                                                      const std::string& condition,
                                                      const std::string& order) = 0;
  virtual void UnregisterObjects(IdCollection& ids, EntryList& entries) = 0;
  virtual void InvalidateObjects(IdCollection& ids, EntryList& entries) = 0;
};

}  // namespace svregistration::host
