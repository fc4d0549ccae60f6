// The workspace repository over a workspace database: the host's Repository, and what the
// workspace tools need beyond it (listing types and objects, making folders, putting objects in
// folders, recording generated file entries).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/host/repository.h"

namespace svregistration::workspace {

class Database;
struct RepositoryContext;
class StoredObjectType;

/// An object type of the workspace schema.
struct ObjectTypeInfo {
  std::string code;
  std::string display_name;
  /// The attribute that holds the registered copy's path; "" for types without a copy.
  std::string source_attribute;
  /// The registration handler's class name; "" for none.
  std::string handler;
};

/// One object as the workspace tools list it.
struct ObjectInfo {
  std::string id;
  std::string type;
  std::string name;
  /// The value of the type's source attribute (the registered copy), "" when unset.
  std::string source;
  /// The value of "OriginalSource", "" when unset.
  std::string original;
};

/// Type names and type codes are the same texts here and are compared ignoring letter case, as
/// are object names. Conditions and orders are not understood: every call takes "" for them and
/// raises Error 5 for anything else. A repository, like its database connection, is used by one
/// thread at a time.
class SVREG_API WorkspaceRepository final : public host::Repository {
 public:
  /// The repository of an open workspace database; reads the object types once.
  static std::shared_ptr<WorkspaceRepository> Make(std::shared_ptr<Database> database);

  /// Error 9 "subscript out of range: no object type '<name>'" for a type the workspace lacks.
  std::shared_ptr<host::ObjectType> SchemaObjectType(const std::string& type_name) override;
  /// The objects of the type, oldest first; nullptr for a type the workspace lacks.
  std::shared_ptr<host::ObjectCursor> PrepareCollection(const std::string& type_code,
                                                        const std::string& condition) override;
  /// nullptr when there is none (an empty name finds none); a found object's name, as stored,
  /// replaces `name`. Error 9 for an unknown type.
  std::shared_ptr<host::RepositoryObject> FindObject(const std::string& type, std::string& name,
                                                     const std::string& condition) override;
  /// Creates the object. When the type already has an object of that name (letter case
  /// ignored) that object is returned, and its name as stored replaces `name`: names are unique
  /// per type, and a caller that asks for an existing name gets the object it then finds
  /// registered already. Error 9 for an unknown type, Error 5 for an empty name.
  std::shared_ptr<host::RepositoryObject> NewObject(const std::string& type,
                                                    std::string& name) override;
  /// Error 9 naming the id when no object has it (or the id's type is not the object's).
  std::shared_ptr<host::RepositoryObject> ObjectById(const std::string& id) override;
  /// Error 9 for an unknown type.
  long CountObjects(const std::string& type_code, const std::string& condition) override;
  /// The objects of the type, oldest first. Error 9 for an unknown type.
  std::shared_ptr<host::ObjectCursor> SelectObjects(const std::string& type_code,
                                                    const std::string& condition,
                                                    const std::string& order) override;
  /// One transaction for the whole collection: each object's entries are appended as
  /// UnregisterObject appends them, and the objects are removed. An id listed twice counts
  /// once. An unknown id (Error 9) changes nothing and appends nothing.
  void UnregisterObjects(host::IdCollection& ids, host::EntryList& entries) override;
  /// One transaction: appends the generated entries of every listed object and forgets them.
  void InvalidateObjects(host::IdCollection& ids, host::EntryList& entries) override;

  /// The object types in the order the workspace made them.
  std::vector<ObjectTypeInfo> ObjectTypes() const;
  /// All objects, or those of one type (Error 9 when unknown), oldest first.
  std::vector<ObjectInfo> ListObjects(const std::optional<std::string>& type_code = std::nullopt);
  /// The objects of those ids that exist, oldest first (an id of another form names none).
  std::vector<ObjectInfo> ListObjects(const host::IdCollection& ids);
  /// A folder object of that name (the existing one when there is one).
  std::shared_ptr<host::RepositoryObject> CreateFolder(const std::string& name);
  /// Adds a relation from one object to another; one that exists is kept. Error 9 for an
  /// unknown id; Error 5 for an empty relation name, a relation of an object to itself, or a
  /// "BelongsTo" relation to an object that is not a folder.
  void AddRelation(const std::string& source_id, const std::string& relation,
                   const std::string& target_id);
  /// Makes every listed object a member of the folder ("BelongsTo" relations); one
  /// transaction, all or nothing.
  void AddToFolder(const std::string& folder_id, const host::IdCollection& ids);
  /// Records generated file entries for an object, after the ones it has (an entry it has
  /// already is kept once). Every entry is checked first (Error 5 naming a bad one); one
  /// transaction.
  void AddGeneratedEntries(const std::string& id, const host::EntryList& entries);
  /// The object's generated entries in the order they were added.
  host::EntryList GeneratedEntries(const std::string& id);

  /// Locks the listed objects, and the members of listed folders, until the open batch is
  /// committed (with no batch open, only for an instant): another writer that unregisters one
  /// of them waits until then, so that a refresh never writes the copy of an object being
  /// removed; a holder that comes second finds the object gone (Error 9) before it changes
  /// anything.
  void HoldObjects(const host::IdCollection& ids);
  /// Holds one object (not a folder's members) as HoldObjects does, reading its name and the
  /// values of `attributes` with the same look-up: while the hold lasts, its handles answer
  /// those from what was read instead of asking the database again (nobody else changes a held
  /// object; a change through this repository is read afresh).
  void HoldObject(const std::string& id, const std::vector<std::string>& attributes);
  /// Holds many objects (not folders' members) as HoldObject does, with a few statements for
  /// all of them; which ids were held (not those of objects that are gone). A hold replaces
  /// what the one before it read, not its locks.
  std::vector<bool> HoldObjects(const host::IdCollection& ids,
                                const std::vector<std::string>& attributes);
  /// True while the objects of the last hold are answered from what it read: until the batch is
  /// committed, a change or savepoint runs on this connection, or all of them are written.
  bool Holding() const;

  /// Every registered copy some object records (the values of the types' source attributes).
  std::vector<std::string> RecordedSources();

 private:
  friend const std::shared_ptr<Database>& DatabaseOf(const WorkspaceRepository& repository);

  explicit WorkspaceRepository(std::shared_ptr<RepositoryContext> context)
      : context_(std::move(context)) {}
  std::shared_ptr<StoredObjectType> TypeForQuery(const std::string& type_code,
                                                 const std::string& condition) const;

  std::shared_ptr<RepositoryContext> context_;
};

}  // namespace svregistration::workspace
