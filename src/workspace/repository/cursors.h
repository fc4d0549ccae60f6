// The forward cursor over objects (or over relations with the objects at their far ends) that
// the repository's selections, an object's relations and a folder's members return.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "svregistration/host/repository.h"
#include "workspace/repository/context.h"

namespace svregistration::workspace {

struct CursorEntry {
  ObjectRef object;
  /// Set for the entries of a relation cursor.
  std::shared_ptr<StoredRelationType> relation;
};

/// A cursor over a list read when the cursor is made: walking it runs no query and holds no
/// lock, so the objects it lists may be changed or removed while it is walked (an object that
/// has gone fails when it is used, not when it is reached).
class ObjectListCursor final : public host::ObjectCursor {
 public:
  ObjectListCursor(std::shared_ptr<RepositoryContext> context, std::vector<CursorEntry> entries,
                   bool relation_cursor)
      : context_(std::move(context)),
        entries_(std::move(entries)),
        relation_cursor_(relation_cursor) {}

  bool Eof() override { return position_ >= entries_.size(); }
  /// Error 9 past the end.
  std::shared_ptr<host::RepositoryObject> Item() override;
  /// Error 91 for a cursor over objects; Error 9 past the end.
  std::shared_ptr<host::RelationType> Relation() override;
  /// Past the end it stays there.
  void MoveNext() override;
  long Count() override { return static_cast<long>(entries_.size()); }

 private:
  void RequireCurrent() const;

  std::shared_ptr<RepositoryContext> context_;
  std::vector<CursorEntry> entries_;
  bool relation_cursor_;
  std::size_t position_ = 0;
};

}  // namespace svregistration::workspace
