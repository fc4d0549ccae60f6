// A repository object as the host hands it out: id, name, type, attributes (changed in updates),
// relations, folder members, unregistration and invalidation.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "svregistration/host/repository.h"
#include "workspace/repository/context.h"

namespace svregistration::workspace {

/// A handle on one object. Reads go to the database each time, so a handle sees what other
/// handles and other connections have committed. An object that has been removed makes every
/// call but Id() and ObjectType() fail with Error 9 naming it.
class StoredObject final : public host::RepositoryObject {
 public:
  StoredObject(std::shared_ptr<RepositoryContext> context, ObjectRef object)
      : context_(std::move(context)), object_(std::move(object)) {}

  std::string Id() override { return object_.Id(); }
  std::string Name() override;
  std::shared_ptr<host::ObjectType> ObjectType() override { return object_.type; }
  /// During an update the values set so far are read back.
  std::string GetAttribute(const std::string& name) override;

  /// Starts (or nests in) an update. Attributes set during the update are kept by the handle and
  /// written when the outermost EndUpdate ends it, all in one transaction: either every value is
  /// stored or none is. Nothing is locked while an update is open.
  void BeginUpdate() override;
  /// Error 5 outside an update, for an empty attribute name, and for an empty "Name". An empty
  /// value unsets the attribute; "Name" renames the object.
  void SetAttribute(const std::string& name, const std::string& value) override;
  /// Error 5 without a matching BeginUpdate. When writing fails (the object has gone, the new
  /// name is another object's, the database fails), nothing of the update is stored, the update
  /// is over and the error is raised.
  void EndUpdate() override;

  /// The relations from this object, oldest first: Item() is the target, Relation() names the
  /// relation and gives the target's type.
  std::shared_ptr<host::ObjectCursor> Relations() override;
  /// The objects with a "BelongsTo" relation to this one, oldest relation first; empty for an
  /// object that is not a folder.
  std::shared_ptr<host::ObjectCursor> Members() override;
  /// Error 9 naming both ends when there is no such relation.
  void RemoveRelation(const std::string& relation, const std::string& target_id) override;
  /// One transaction: appends "." and the registered copy's path (the value of the type's source
  /// attribute, when set) and the generated entries, then removes the object with its
  /// attributes, relations in both directions and generated entries. Nothing is appended when
  /// it fails.
  void UnregisterObject(host::EntryList& entries) override;
  /// One transaction: appends the generated entries and forgets them.
  void InvalidateObject(host::EntryList& entries) override;

  const ObjectRef& ref() const { return object_; }
  /// Name() and the two attributes' values, as GetAttribute gives them, read at once.
  std::array<std::string, 3> NameAndAttributes(const std::string& first, const std::string& second);

 private:
  struct PendingAttribute {
    std::string name;
    std::string value;
  };
  const PendingAttribute* FindPending(const std::string& name) const;
  static const PendingAttribute* Find(const std::vector<PendingAttribute>& values,
                                      const std::string& name);
  static void Remember(std::vector<PendingAttribute>& values, const std::string& name,
                       const std::string& value);

  std::shared_ptr<RepositoryContext> context_;
  ObjectRef object_;
  int update_depth_ = 0;
  // Values set in the open update, one per attribute name (letter case ignored), in the order
  // they were first set.
  std::vector<PendingAttribute> pending_;
  /// The values this object last read or wrote: an update that would write a value the object
  /// already holds (a refresh recording the same original again) writes nothing.
  std::vector<PendingAttribute> known_;
};

}  // namespace svregistration::workspace
