// Repository objects: attributes and updates, relations and members, unregistration and
// invalidation.
#include "workspace/repository/object.h"

#include <fmt/core.h>

#include "svregistration/error.h"
#include "workspace/repository/cursors.h"
#include "workspace/repository/names.h"
#include "workspace/repository/object_store.h"
#include "workspace/repository/relations.h"
#include "workspace/repository/schema.h"

namespace svregistration::workspace {

namespace {

Error MisusedUpdate(const std::string& text) {
  return Error(kInvalidArgument, kDatabaseErrorSource, text);
}

std::vector<CursorEntry> ToCursorEntries(std::vector<RelationEnd> ends, bool with_relation) {
  std::vector<CursorEntry> entries;
  entries.reserve(ends.size());
  for (RelationEnd& end : ends) {
    std::shared_ptr<StoredRelationType> relation;
    if (with_relation) {
      relation = std::make_shared<StoredRelationType>(std::move(end.name), end.other.type);
    }
    entries.push_back(CursorEntry{std::move(end.other), std::move(relation)});
  }
  return entries;
}

}  // namespace

const StoredObject::PendingAttribute* StoredObject::Find(
    const std::vector<PendingAttribute>& values, const std::string& name) {
  for (const PendingAttribute& value : values) {
    if (EqualsIgnoreCase(value.name, name)) return &value;
  }
  return nullptr;
}

void StoredObject::Remember(std::vector<PendingAttribute>& values, const std::string& name,
                            const std::string& value) {
  for (PendingAttribute& known : values) {
    if (EqualsIgnoreCase(known.name, name)) {
      known.value = value;
      return;
    }
  }
  values.push_back(PendingAttribute{name, value});
}

const StoredObject::PendingAttribute* StoredObject::FindPending(const std::string& name) const {
  return Find(pending_, name);
}

std::string StoredObject::Name() {
  if (const PendingAttribute* pending = FindPending(std::string(kNameAttribute))) {
    return pending->value;
  }
  return ObjectName(*context_, object_);
}

std::string StoredObject::GetAttribute(const std::string& name) {
  if (const PendingAttribute* pending = FindPending(name)) return pending->value;
  std::string value = ReadAttribute(*context_, object_, name);
  Remember(known_, name, value);
  return value;
}

void StoredObject::BeginUpdate() { ++update_depth_; }

void StoredObject::SetAttribute(const std::string& name, const std::string& value) {
  if (update_depth_ == 0) {
    throw MisusedUpdate(fmt::format(
        "SetAttribute('{}') on '{}' outside an update: call BeginUpdate first", name, Id()));
  }
  if (name.empty()) {
    throw MisusedUpdate(fmt::format("SetAttribute on '{}' needs an attribute name", Id()));
  }
  if (value.empty() && EqualsIgnoreCase(name, kNameAttribute)) {
    throw MisusedUpdate(fmt::format("the object '{}' cannot be given an empty name", Id()));
  }
  for (PendingAttribute& pending : pending_) {
    if (EqualsIgnoreCase(pending.name, name)) {
      pending.value = value;
      return;
    }
  }
  pending_.push_back(PendingAttribute{name, value});
}

void StoredObject::EndUpdate() {
  if (update_depth_ == 0) {
    throw MisusedUpdate(fmt::format("EndUpdate on '{}' without BeginUpdate", Id()));
  }
  if (--update_depth_ > 0) return;
  // The update is over whatever happens below: a failed one is not retried by the next
  // EndUpdate.
  std::vector<PendingAttribute> changes = std::move(pending_);
  pending_.clear();
  std::erase_if(changes, [&](const PendingAttribute& change) {
    const PendingAttribute* known = Find(known_, change.name);
    return known != nullptr && known->value == change.value;
  });
  if (changes.empty()) return;
  Transaction transaction(*context_->database,
                          [&] { return fmt::format("updating the attributes of '{}'", Id()); });
  LockObject(*context_, object_);
  for (const PendingAttribute& change : changes) {
    WriteAttribute(*context_, object_, change.name, change.value);
  }
  transaction.Commit();
  for (const PendingAttribute& change : changes) Remember(known_, change.name, change.value);
}

std::shared_ptr<host::ObjectCursor> StoredObject::Relations() {
  RequireObject(*context_, object_);
  return std::make_shared<ObjectListCursor>(
      context_, ToCursorEntries(RelationsFrom(*context_, object_), true), true);
}

std::shared_ptr<host::ObjectCursor> StoredObject::Members() {
  RequireObject(*context_, object_);
  return std::make_shared<ObjectListCursor>(
      context_, ToCursorEntries(RelationsTo(*context_, object_, kBelongsTo), false), false);
}

void StoredObject::RemoveRelation(const std::string& relation, const std::string& target_id) {
  auto missing = [&] {
    return Error(error_number::kSubscriptOutOfRange, kDatabaseErrorSource,
                 fmt::format("subscript out of range: there is no relation '{}' from '{}' to '{}'",
                             relation, Id(), target_id));
  };
  // Callers try to remove relations that may not exist (every object from every folder); those
  // are answered by a read, without taking the write lock.
  std::optional<ObjectRef> target = FindObjectById(*context_, target_id);
  if (!target || !RelationExists(*context_, object_.number, relation, target->number)) {
    throw missing();
  }
  Transaction transaction(
      *context_->database,
      fmt::format("removing the relation '{}' from '{}' to '{}'", relation, Id(), target_id));
  if (!DeleteRelation(*context_, object_.number, relation, target->number)) throw missing();
  transaction.Commit();
}

void StoredObject::UnregisterObject(host::EntryList& entries) {
  host::EntryList found;
  Transaction transaction(*context_->database, fmt::format("unregistering '{}'", Id()));
  RemoveObject(*context_, object_, found);
  transaction.Commit();
  entries.insert(entries.end(), found.begin(), found.end());
}

void StoredObject::InvalidateObject(host::EntryList& entries) {
  host::EntryList found;
  Transaction transaction(*context_->database, fmt::format("invalidating '{}'", Id()));
  ForgetGeneratedEntries(*context_, object_, found);
  transaction.Commit();
  entries.insert(entries.end(), found.begin(), found.end());
}

}  // namespace svregistration::workspace
