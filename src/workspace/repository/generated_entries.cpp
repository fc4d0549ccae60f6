// Checking, reading and changing generated file entries.
#include "workspace/repository/generated_entries.h"

#include <fmt/core.h>

#include "svregistration/error.h"

namespace svregistration::workspace {

namespace {

Error BadEntry(std::string_view entry, std::string_view why) {
  return Error(kInvalidArgument, kDatabaseErrorSource,
               fmt::format("invalid generated file entry '{}': {}", entry, why));
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

void CheckGeneratedEntry(std::string_view entry) {
  if (entry.empty()) throw BadEntry(entry, "it is empty");
  char marker = entry.front();
  if (marker != '.' && marker != ':' && marker != '\\' && marker != '*') {
    throw BadEntry(entry, "it must start with '.', ':', '\\' or '*'");
  }
  if (marker == '*') return;
  std::string_view path = entry.substr(1);
  if (path.empty()) throw BadEntry(entry, "it names no path");
  if (IsSeparator(path.front()) || (path.size() > 1 && path[1] == ':')) {
    throw BadEntry(entry, "the path must be relative to the workspace");
  }
  // Components are separated by '/' or '\'; ".." would leave the workspace.
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (path.substr(start, end - start) == "..") {
      throw BadEntry(entry, "the path must not leave the workspace");
    }
    start = end + 1;
  }
}

std::vector<std::string> GeneratedEntriesOf(const RepositoryContext& context, std::int64_t object) {
  Statement statement = context.database->Prepare(
      "SELECT entry FROM generated_entries WHERE object_id = ?1 ORDER BY id");
  statement.Bind(1, object);
  std::vector<std::string> entries;
  while (statement.Step()) entries.push_back(statement.Text(0));
  return entries;
}

void InsertGeneratedEntry(const RepositoryContext& context, std::int64_t object,
                          std::string_view entry) {
  context.database
      ->Prepare(
          "INSERT INTO generated_entries (object_id, entry) VALUES (?1, ?2) "
          "ON CONFLICT DO NOTHING")
      .Bind(1, object)
      .Bind(2, entry)
      .Run();
}

void DeleteGeneratedEntries(const RepositoryContext& context, std::int64_t object) {
  context.database->Prepare("DELETE FROM generated_entries WHERE object_id = ?1")
      .Bind(1, object)
      .Run();
}

}  // namespace svregistration::workspace
