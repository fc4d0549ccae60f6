// The workspace repository: schema look-ups, finding and creating objects, selections and the
// collection operations.
#include "svregistration/workspace/repository.h"

#include <fmt/core.h>

#include <algorithm>
#include <limits>
#include <set>
#include <unordered_set>

#include "svregistration/error.h"
#include "workspace/repository/context.h"
#include "workspace/repository/cursors.h"
#include "workspace/repository/generated_entries.h"
#include "workspace/repository/names.h"
#include "workspace/repository/object.h"
#include "workspace/repository/object_id.h"
#include "workspace/repository/object_store.h"
#include "workspace/repository/relations.h"
#include "workspace/repository/schema.h"

namespace svregistration::workspace {

namespace {

Error BadArgument(const std::string& text) {
  return Error(kInvalidArgument, kDatabaseErrorSource, text);
}

void RequireNoCondition(const std::string& operation, const std::string& condition) {
  if (!condition.empty()) {
    throw BadArgument(
        fmt::format("{}: the condition '{}' is not understood; this repository "
                    "selects all objects of a type (condition \"\")",
                    operation, condition));
  }
}

struct AttributeRole {
  bool original = false;  // "OriginalSource"
  bool source = false;    // the object type's source attribute
};

// The role of each attribute name in a listing. Names are compared by the workspace's case rule;
// the same few spellings recur on every object, so each is compared by the rule only once.
class AttributeRoles {
 public:
  AttributeRole Of(const std::string& name, const std::string& source_name) {
    for (const Known& known : known_) {
      if (known.name == name && known.source_name == source_name) return known.role;
    }
    const AttributeRole role{EqualsIgnoreCase(name, kOriginalSourceAttribute),
                             !source_name.empty() && EqualsIgnoreCase(name, source_name)};
    if (known_.size() < kKept) known_.push_back(Known{name, source_name, role});
    return role;
  }

 private:
  static constexpr std::size_t kKept = 16;  // beyond that a name is compared every time
  struct Known {
    std::string name;
    std::string source_name;
    AttributeRole role;
  };
  std::vector<Known> known_;
};

std::vector<CursorEntry> ToCursorEntries(std::vector<ObjectRef> objects) {
  std::vector<CursorEntry> entries;
  entries.reserve(objects.size());
  for (ObjectRef& object : objects) entries.push_back(CursorEntry{std::move(object), nullptr});
  return entries;
}

// Runs `change` on every listed object (an id listed twice once) in one transaction; the
// entries it collects are appended only when the transaction has been committed.
template <class Change>
void ForEachListedObject(RepositoryContext& context, const host::IdCollection& ids,
                         const char* what, host::EntryList& entries, Change change) {
  host::EntryList found;
  Transaction transaction(*context.database, fmt::format("{} {} objects", what, ids.size()));
  // Every id is looked up before anything changes, so that an id listed twice is not taken for
  // an unknown one once its object has gone.
  std::vector<ObjectRef> objects;
  std::set<std::int64_t> listed;
  for (const std::string& id : ids) {
    ObjectRef object = ResolveObjectId(context, id);
    if (listed.insert(object.number).second) objects.push_back(std::move(object));
  }
  for (const ObjectRef& object : objects) change(context, object, found);
  transaction.Commit();
  entries.insert(entries.end(), found.begin(), found.end());
}

}  // namespace

std::shared_ptr<WorkspaceRepository> WorkspaceRepository::Make(std::shared_ptr<Database> database) {
  TypeCatalog types = TypeCatalog::Load(*database);
  return std::shared_ptr<WorkspaceRepository>(
      new WorkspaceRepository(std::make_shared<RepositoryContext>(
          RepositoryContext{std::move(database), std::move(types), {}})));
}

std::shared_ptr<StoredObjectType> WorkspaceRepository::TypeForQuery(
    const std::string& type_code, const std::string& condition) const {
  RequireNoCondition(fmt::format("selecting the objects of type '{}'", type_code), condition);
  return context_->types.Get(type_code);
}

std::shared_ptr<host::ObjectType> WorkspaceRepository::SchemaObjectType(
    const std::string& type_name) {
  return context_->types.Get(type_name);
}

std::shared_ptr<host::ObjectCursor> WorkspaceRepository::PrepareCollection(
    const std::string& type_code, const std::string& condition) {
  RequireNoCondition(fmt::format("preparing the collection of '{}'", type_code), condition);
  std::shared_ptr<StoredObjectType> type = context_->types.Find(type_code);
  if (!type) return nullptr;
  return std::make_shared<ObjectListCursor>(context_,
                                            ToCursorEntries(ObjectsOfType(*context_, type)), false);
}

std::shared_ptr<host::RepositoryObject> WorkspaceRepository::FindObject(
    const std::string& type, std::string& name, const std::string& condition) {
  RequireNoCondition(fmt::format("finding '{}' of type '{}'", name, type), condition);
  std::shared_ptr<StoredObjectType> object_type = context_->types.Get(type);
  if (name.empty()) return nullptr;
  auto found = FindObjectByName(*context_, object_type, name);
  if (!found) return nullptr;
  name = std::move(found->second);
  return std::make_shared<StoredObject>(context_, std::move(found->first));
}

std::shared_ptr<host::RepositoryObject> WorkspaceRepository::NewObject(const std::string& type,
                                                                       std::string& name) {
  std::shared_ptr<StoredObjectType> object_type = context_->types.Get(type);
  if (name.empty()) {
    throw BadArgument(
        fmt::format("a new object of type '{}' needs a name", object_type->info().code));
  }
  Transaction transaction(
      *context_->database,
      [&] {
        return fmt::format("creating the object '{}' of type '{}'", name, object_type->info().code);
      },
      true);
  std::optional<ObjectRef> object = InsertObject(*context_, object_type, name);
  if (!object) {
    auto found = FindObjectByName(*context_, object_type, name);
    if (!found) {
      throw BadArgument(fmt::format("the object '{}' of type '{}' could not be created", name,
                                    object_type->info().code));
    }
    object = std::move(found->first);
    name = std::move(found->second);
  }
  transaction.Commit();
  return std::make_shared<StoredObject>(context_, std::move(*object));
}

std::shared_ptr<host::RepositoryObject> WorkspaceRepository::ObjectById(const std::string& id) {
  return std::make_shared<StoredObject>(context_, ResolveObjectId(*context_, id));
}

long WorkspaceRepository::CountObjects(const std::string& type_code, const std::string& condition) {
  return static_cast<long>(CountObjectsOfType(*context_, *TypeForQuery(type_code, condition)));
}

std::shared_ptr<host::ObjectCursor> WorkspaceRepository::SelectObjects(const std::string& type_code,
                                                                       const std::string& condition,
                                                                       const std::string& order) {
  std::shared_ptr<StoredObjectType> type = TypeForQuery(type_code, condition);
  if (!order.empty()) {
    throw BadArgument(
        fmt::format("selecting the objects of type '{}': the order '{}' is not "
                    "understood; objects come oldest first (order \"\")",
                    type_code, order));
  }
  return std::make_shared<ObjectListCursor>(context_,
                                            ToCursorEntries(ObjectsOfType(*context_, type)), false);
}

void WorkspaceRepository::UnregisterObjects(host::IdCollection& ids, host::EntryList& entries) {
  ForEachListedObject(*context_, ids, "unregistering", entries, RemoveObject);
}

void WorkspaceRepository::InvalidateObjects(host::IdCollection& ids, host::EntryList& entries) {
  ForEachListedObject(*context_, ids, "invalidating", entries, ForgetGeneratedEntries);
}

void WorkspaceRepository::HoldObjects(const host::IdCollection& ids) {
  // Only reads and row locks: inside an SQLite transaction a failure leaves nothing to undo, so
  // no savepoint of its own (two statements for every object a refresh holds).
  Transaction transaction(*context_->database, fmt::format("holding {} objects", ids.size()), true);
  for (const std::string& id : ids) {
    ObjectRef object = ResolveObjectId(*context_, id);
    LockObject(*context_, object);
    if (!EqualsIgnoreCase(object.type->info().code, kFolderTypeCode)) continue;
    for (const RelationEnd& member : RelationsTo(*context_, object, kBelongsTo)) {
      LockObject(*context_, member.other);
    }
  }
  transaction.Commit();
}

void WorkspaceRepository::HoldObject(const std::string& id,
                                     const std::vector<std::string>& attributes) {
  if (!HoldObjects(host::IdCollection{id}, attributes)[0]) {
    throw Error(error_number::kSubscriptOutOfRange, kDatabaseErrorSource,
                fmt::format("subscript out of range: no object '{}' in the workspace database '{}'",
                            id, context_->database->path()));
  }
}

std::vector<bool> WorkspaceRepository::HoldObjects(const host::IdCollection& ids,
                                                   const std::vector<std::string>& attributes) {
  Transaction transaction(*context_->database, fmt::format("holding {} objects", ids.size()), true);
  std::vector<bool> held = HoldAndRead(*context_, ids, attributes);
  transaction.Commit();
  // Leaving the savepoint neither changes nor unlocks what was read.
  context_->held.executed = context_->database->ExecutedCount();
  return held;
}

bool WorkspaceRepository::Holding() const {
  return !context_->held.objects.empty() &&
         context_->held.executed == context_->database->ExecutedCount() &&
         context_->database->InTransaction();
}

std::vector<ObjectTypeInfo> WorkspaceRepository::ObjectTypes() const {
  std::vector<ObjectTypeInfo> types;
  for (const auto& type : context_->types.types()) types.push_back(type->info());
  return types;
}

namespace {

// The objects numbered `low` to `high`, of the type `code` when given, and of the numbers in
// `only` when given, oldest first.
std::vector<ObjectInfo> ListObjectsIn(RepositoryContext& context,
                                      const std::optional<std::string>& code, std::int64_t low,
                                      std::int64_t high,
                                      const std::unordered_set<std::int64_t>* only) {
  // Two scans in id order, merged here: the objects, then their attributes. Looking up each
  // object's source and original by its key would cost two index searches a row.
  Statement objects_in_order = context.database->Prepare(
      "SELECT id, type_code, name FROM objects WHERE id BETWEEN ?2 AND ?3 "
      "AND (CAST(?1 AS TEXT) IS NULL OR type_code = ?1) ORDER BY id");
  objects_in_order.Bind(1, code).Bind(2, low).Bind(3, high);
  std::vector<ObjectInfo> objects;
  std::vector<std::int64_t> numbers;
  std::vector<std::string> source_names;  // each object's source attribute
  std::string last_type;
  std::string last_source_name;
  while (objects_in_order.Step()) {
    const std::int64_t number = objects_in_order.Int(0);
    if (only != nullptr && only->count(number) == 0) continue;
    std::string type = objects_in_order.Text(1);
    if (objects.empty() || type != last_type) {
      last_source_name = context.types.Get(type)->info().source_attribute;
      last_type = type;
    }
    numbers.push_back(number);
    source_names.push_back(last_source_name);
    objects.push_back(ObjectInfo{FormatObjectId(type, number), std::move(type),
                                 objects_in_order.Text(2), "", ""});
  }
  if (objects.empty()) return objects;
  Statement attributes_in_order = context.database->Prepare(
      "SELECT object_id, name, value FROM attributes WHERE object_id BETWEEN ?1 AND ?2 "
      "ORDER BY object_id");
  attributes_in_order.Bind(1, numbers.front()).Bind(2, numbers.back());
  AttributeRoles roles;
  std::size_t at = 0;
  while (attributes_in_order.Step()) {
    const std::int64_t number = attributes_in_order.Int(0);
    while (at < numbers.size() && numbers[at] < number) ++at;
    if (at == numbers.size()) break;
    if (numbers[at] != number) continue;  // an object the listing leaves out
    const AttributeRole role = roles.Of(attributes_in_order.Text(1), source_names[at]);
    if (role.original) objects[at].original = attributes_in_order.Text(2);
    if (role.source) objects[at].source = attributes_in_order.Text(2);
  }
  return objects;
}

}  // namespace

std::vector<ObjectInfo> WorkspaceRepository::ListObjects(
    const std::optional<std::string>& type_code) {
  std::optional<std::string> code;
  if (type_code) code = context_->types.Get(*type_code)->info().code;
  return ListObjectsIn(*context_, code, 1, std::numeric_limits<std::int64_t>::max(), nullptr);
}

std::vector<ObjectInfo> WorkspaceRepository::ListObjects(const host::IdCollection& ids) {
  std::unordered_set<std::int64_t> numbers;
  for (const std::string& id : ids) {
    if (auto parsed = ParseObjectId(id)) numbers.insert(parsed->number);
  }
  if (numbers.empty()) return {};
  const auto [low, high] = std::minmax_element(numbers.begin(), numbers.end());
  return ListObjectsIn(*context_, std::nullopt, *low, *high, &numbers);
}

std::vector<std::string> WorkspaceRepository::RecordedSources() {
  Statement statement = context_->database->Prepare(
      "SELECT a.value FROM attributes a JOIN objects o ON o.id = a.object_id "
      "JOIN object_types t ON t.code = o.type_code WHERE a.name = t.source_attribute");
  std::vector<std::string> sources;
  while (statement.Step()) sources.push_back(statement.Text(0));
  return sources;
}

std::shared_ptr<host::RepositoryObject> WorkspaceRepository::CreateFolder(const std::string& name) {
  std::string folder_name = name;
  return NewObject(std::string(kFolderTypeCode), folder_name);
}

void WorkspaceRepository::AddRelation(const std::string& source_id, const std::string& relation,
                                      const std::string& target_id) {
  if (relation.empty()) {
    throw BadArgument(
        fmt::format("a relation from '{}' to '{}' needs a name", source_id, target_id));
  }
  Transaction transaction(
      *context_->database,
      fmt::format("adding the relation '{}' from '{}' to '{}'", relation, source_id, target_id));
  ObjectRef source = ResolveObjectId(*context_, source_id);
  ObjectRef target = ResolveObjectId(*context_, target_id);
  if (source.number == target.number) {
    throw BadArgument(fmt::format("the object '{}' cannot have a relation '{}' to itself",
                                  source.Id(), relation));
  }
  if (EqualsIgnoreCase(relation, kBelongsTo) &&
      !EqualsIgnoreCase(target.type->info().code, kFolderTypeCode)) {
    throw BadArgument(fmt::format("'{}' cannot belong to '{}': only folders have members",
                                  source.Id(), target.Id()));
  }
  InsertRelation(*context_, source, relation, target);
  transaction.Commit();
}

void WorkspaceRepository::AddToFolder(const std::string& folder_id, const host::IdCollection& ids) {
  Transaction transaction(*context_->database, fmt::format("adding {} objects to the folder '{}'",
                                                           ids.size(), folder_id));
  for (const std::string& id : ids) AddRelation(id, std::string(kBelongsTo), folder_id);
  transaction.Commit();
}

void WorkspaceRepository::AddGeneratedEntries(const std::string& id,
                                              const host::EntryList& entries) {
  for (const std::string& entry : entries) CheckGeneratedEntry(entry);
  Transaction transaction(*context_->database,
                          fmt::format("recording generated files of '{}'", id));
  ObjectRef object = ResolveObjectId(*context_, id);
  for (const std::string& entry : entries) InsertGeneratedEntry(*context_, object.number, entry);
  transaction.Commit();
}

host::EntryList WorkspaceRepository::GeneratedEntries(const std::string& id) {
  return GeneratedEntriesOf(*context_, ResolveObjectId(*context_, id).number);
}

const std::shared_ptr<Database>& DatabaseOf(const WorkspaceRepository& repository) {
  return repository.context_->database;
}

}  // namespace svregistration::workspace
