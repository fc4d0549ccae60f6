// What every repository, object and cursor of one workspace database shares: the connection and
// the object type catalogue; and the reference to one object.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "svregistration/workspace/repository.h"
#include "workspace/repository/database.h"
#include "workspace/repository/object_id.h"
#include "workspace/repository/object_types.h"

namespace svregistration::workspace {

/// One object: its number in the object table and its type. An object may be removed (by this
/// or another connection) while references to it are held; operations on it then fail with
/// Error 9 naming its id.
struct ObjectRef {
  std::int64_t number = 0;
  std::shared_ptr<StoredObjectType> type;

  std::string Id() const { return FormatObjectId(type->info().code, number); }
};

/// What was read of an object when it was held (see WorkspaceRepository::HoldObjects): its name
/// and the values of the attributes asked for, in the order they were asked.
struct HeldObject {
  ObjectRef object;
  std::string name;
  std::vector<std::string> values;
};

/// What the last hold read. Nobody else changes a held object, so until the transaction ends
/// (the connection's ExecutedCount moves) or this connection writes an object, these are what
/// the database would answer.
struct HeldObjects {
  std::uint64_t executed = 0;
  std::vector<std::string> attributes;  // by the names they were asked by
  std::unordered_map<std::int64_t, HeldObject> objects;
};

struct RepositoryContext {
  std::shared_ptr<Database> database;
  TypeCatalog types;
  /// The objects held last: a holder reads the objects it has just held.
  mutable HeldObjects held;
};

/// The database under a repository, for the host's own batching and journals.
const std::shared_ptr<Database>& DatabaseOf(const WorkspaceRepository& repository);

}  // namespace svregistration::workspace
