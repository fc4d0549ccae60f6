// Walking object and relation cursors.
#include "workspace/repository/cursors.h"

#include "svregistration/error.h"
#include "workspace/repository/object.h"

namespace svregistration::workspace {

void ObjectListCursor::RequireCurrent() const {
  if (position_ >= entries_.size()) {
    throw Error(error_number::kSubscriptOutOfRange, kDatabaseErrorSource,
                "the cursor has no current object: it is past its last one");
  }
}

std::shared_ptr<host::RepositoryObject> ObjectListCursor::Item() {
  RequireCurrent();
  return std::make_shared<StoredObject>(context_, entries_[position_].object);
}

std::shared_ptr<host::RelationType> ObjectListCursor::Relation() {
  if (!relation_cursor_) {
    throw Error(error_number::kObjectNotSet, kDatabaseErrorSource,
                "the cursor lists objects, not relations: its entries have no relation");
  }
  RequireCurrent();
  return entries_[position_].relation;
}

void ObjectListCursor::MoveNext() {
  if (position_ < entries_.size()) ++position_;
}

}  // namespace svregistration::workspace
