// Reading and changing the relation table.
#include "workspace/repository/relations.h"

namespace svregistration::workspace {

namespace {

// Rows of (name, object number, object type code), turned into relation ends. A row whose type
// the catalogue does not know cannot occur: the object table refers to the type table.
std::vector<RelationEnd> ReadEnds(const RepositoryContext& context, Statement& statement) {
  std::vector<RelationEnd> ends;
  while (statement.Step()) {
    ends.push_back(RelationEnd{statement.Text(0),
                               ObjectRef{statement.Int(1), context.types.Get(statement.Text(2))}});
  }
  return ends;
}

}  // namespace

std::vector<RelationEnd> RelationsFrom(const RepositoryContext& context, const ObjectRef& source) {
  Statement statement = context.database->Prepare(
      "SELECT r.name, r.target_id, o.type_code FROM relations r "
      "JOIN objects o ON o.id = r.target_id WHERE r.source_id = ?1 ORDER BY r.id");
  statement.Bind(1, source.number);
  return ReadEnds(context, statement);
}

std::vector<RelationEnd> RelationsTo(const RepositoryContext& context, const ObjectRef& target,
                                     std::string_view name) {
  Statement statement = context.database->Prepare(
      "SELECT r.name, r.source_id, o.type_code FROM relations r "
      "JOIN objects o ON o.id = r.source_id WHERE r.target_id = ?1 AND r.name = ?2 "
      "ORDER BY r.id");
  statement.Bind(1, target.number).Bind(2, name);
  return ReadEnds(context, statement);
}

void InsertRelation(const RepositoryContext& context, const ObjectRef& source,
                    std::string_view name, const ObjectRef& target) {
  context.database
      ->Prepare(
          "INSERT INTO relations (source_id, name, target_id) VALUES (?1, ?2, ?3) "
          "ON CONFLICT DO NOTHING")
      .Bind(1, source.number)
      .Bind(2, name)
      .Bind(3, target.number)
      .Run();
}

bool RelationExists(const RepositoryContext& context, std::int64_t source, std::string_view name,
                    std::int64_t target) {
  Statement statement = context.database->Prepare(
      "SELECT 1 FROM relations WHERE source_id = ?1 AND name = ?2 AND target_id = ?3");
  statement.Bind(1, source).Bind(2, name).Bind(3, target);
  return statement.Step();
}

bool DeleteRelation(const RepositoryContext& context, std::int64_t source, std::string_view name,
                    std::int64_t target) {
  context.database
      ->Prepare("DELETE FROM relations WHERE source_id = ?1 AND name = ?2 AND target_id = ?3")
      .Bind(1, source)
      .Bind(2, name)
      .Bind(3, target)
      .Run();
  return context.database->Changes() > 0;
}

void DeleteRelationsOf(const RepositoryContext& context, std::int64_t object) {
  // Two statements, so that each uses its index (source_id leads the unique index, target_id
  // leads relations_by_target).
  context.database->Prepare("DELETE FROM relations WHERE source_id = ?1").Bind(1, object).Run();
  context.database->Prepare("DELETE FROM relations WHERE target_id = ?1").Bind(1, object).Run();
}

}  // namespace svregistration::workspace
