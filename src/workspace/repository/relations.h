// The relation table: named, directed relations between two objects ("BelongsTo" from an object
// to a folder), kept in the order they were added. At most one relation of a name links the same
// two objects.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/repository/context.h"

namespace svregistration::workspace {

/// One relation seen from one of its ends: its name and the object at the other end.
struct RelationEnd {
  std::string name;
  ObjectRef other;
};

/// The relations from an object, oldest first; `other` is the target.
std::vector<RelationEnd> RelationsFrom(const RepositoryContext& context, const ObjectRef& source);

/// The relations of a name to an object, oldest first; `other` is the source.
std::vector<RelationEnd> RelationsTo(const RepositoryContext& context, const ObjectRef& target,
                                     std::string_view name);

/// Adds a relation inside the caller's transaction; one that exists already is left as it is.
void InsertRelation(const RepositoryContext& context, const ObjectRef& source,
                    std::string_view name, const ObjectRef& target);

/// True when the relation exists.
bool RelationExists(const RepositoryContext& context, std::int64_t source, std::string_view name,
                    std::int64_t target);

/// Removes a relation inside the caller's transaction; false when there was none.
bool DeleteRelation(const RepositoryContext& context, std::int64_t source, std::string_view name,
                    std::int64_t target);

/// Removes every relation from or to an object, inside the caller's transaction.
void DeleteRelationsOf(const RepositoryContext& context, std::int64_t object);

}  // namespace svregistration::workspace
