// The object and attribute tables: looking objects up, creating, renaming and removing them,
// reading and writing their attributes. The attribute "Name" is the object's name itself (kept
// in the object table); every other attribute is a row of the attribute table, an unset one has
// no row and reads as "".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "svregistration/host/repository.h"
#include "workspace/repository/context.h"

namespace svregistration::workspace {

/// Error 9 unless the object is there; inside the caller's transaction, which it keeps from
/// being removed or changed by another writer until the end (a writer that is removing it is
/// waited for).
void LockObject(const RepositoryContext& context, const ObjectRef& object);

/// The object with this number, or nullopt.
std::optional<ObjectRef> LoadObject(const RepositoryContext& context, std::int64_t number);

/// The object an id names, or nullopt when it has another form, names no object, or names an
/// object of another type.
std::optional<ObjectRef> FindObjectById(const RepositoryContext& context, std::string_view id);

/// The object an id names. Error 9 naming the id when it has another form, names no object, or
/// names an object of another type.
ObjectRef ResolveObjectId(const RepositoryContext& context, std::string_view id);

/// Error 9 "the object '<id>' does not exist" unless the object is (still) there.
void RequireObject(const RepositoryContext& context, const ObjectRef& object);

/// The object of that type whose name equals `name` ignoring letter case, with its name as
/// stored; nullopt when there is none.
std::optional<std::pair<ObjectRef, std::string>> FindObjectByName(
    const RepositoryContext& context, const std::shared_ptr<StoredObjectType>& type,
    std::string_view name);

/// Adds an object inside the caller's transaction; nullopt when the type has an object of that
/// name (one that another writer may just have added).
std::optional<ObjectRef> InsertObject(const RepositoryContext& context,
                                      const std::shared_ptr<StoredObjectType>& type,
                                      std::string_view name);

/// The objects of a type, oldest first.
std::vector<ObjectRef> ObjectsOfType(const RepositoryContext& context,
                                     const std::shared_ptr<StoredObjectType>& type);
std::int64_t CountObjectsOfType(const RepositoryContext& context, const StoredObjectType& type);

/// The object's name; Error 9 when the object is gone.
std::string ObjectName(const RepositoryContext& context, const ObjectRef& object);
/// An attribute's value, "" when unset; "Name" is the object's name. Error 9 when the object is
/// gone.
std::string ReadAttribute(const RepositoryContext& context, const ObjectRef& object,
                          std::string_view name);
/// Inside the caller's transaction: holds the objects the ids name (as LockObject) and reads
/// their names and the values of `attributes`, from which those (asked by the same names) are
/// answered while the hold lasts (see HeldObjects), a few statements for many objects. Which
/// ids were held: not those of objects that are gone or not of the type their id names. The
/// caller sets context.held.executed once its own transaction SQL has run.
std::vector<bool> HoldAndRead(const RepositoryContext& context, const std::vector<std::string>& ids,
                              const std::vector<std::string>& attributes);
/// Writes an attribute inside the caller's transaction; "" removes it. "Name" renames the object:
/// an empty name, or the name of another object of the type, is Error 5.
void WriteAttribute(const RepositoryContext& context, const ObjectRef& object,
                    std::string_view name, std::string_view value);

/// Inside the caller's transaction: appends the entries of the object's files (the registered
/// copy, "." and the value of the type's source attribute when it is set, then the generated
/// entries in the order they were added) and removes the object with its attributes, its
/// relations in both directions and its generated entries. Error 9 when the object is gone.
void RemoveObject(const RepositoryContext& context, const ObjectRef& object,
                  host::EntryList& entries);

/// Inside the caller's transaction: appends the object's generated entries and forgets them.
/// Error 9 when the object is gone.
void ForgetGeneratedEntries(const RepositoryContext& context, const ObjectRef& object,
                            host::EntryList& entries);

}  // namespace svregistration::workspace
