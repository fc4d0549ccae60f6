// What every repository, object and cursor of one workspace database shares: the connection and
// the object type catalogue; and the reference to one object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "svregistration/workspace/repository.h"
#include "workspace/repository/database.h"
#include "workspace/repository/object_id.h"
#include "workspace/repository/object_types.h"

namespace svregistration::workspace {

struct RepositoryContext {
  std::shared_ptr<Database> database;
  TypeCatalog types;
};

/// One object: its number in the object table and its type. An object may be removed (by this
/// or another connection) while references to it are held; operations on it then fail with
/// Error 9 naming its id.
struct ObjectRef {
  std::int64_t number = 0;
  std::shared_ptr<StoredObjectType> type;

  std::string Id() const { return FormatObjectId(type->info().code, number); }
};

/// The database under a repository, for the host's own batching and journals.
const std::shared_ptr<Database>& DatabaseOf(const WorkspaceRepository& repository);

}  // namespace svregistration::workspace
