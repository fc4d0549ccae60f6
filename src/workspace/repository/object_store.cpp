// Looking up, creating, renaming and removing objects; reading and writing attributes.
#include "workspace/repository/object_store.h"

#include <fmt/core.h>

#include <algorithm>

#include "svregistration/error.h"
#include "workspace/repository/generated_entries.h"
#include "workspace/repository/names.h"
#include "workspace/repository/relations.h"
#include "workspace/repository/schema.h"

namespace svregistration::workspace {

namespace {

Error NoSuchObject(const RepositoryContext& context, std::string_view id) {
  return Error(error_number::kSubscriptOutOfRange, kDatabaseErrorSource,
               fmt::format("subscript out of range: no object '{}' in the workspace database '{}'",
                           id, context.database->path()));
}

bool IsNameAttribute(std::string_view name) { return EqualsIgnoreCase(name, kNameAttribute); }

// What was read of the object when it was held, while that still holds; nullptr otherwise.
const HeldObject* Held(const RepositoryContext& context, std::int64_t number) {
  HeldObjects& held = context.held;
  if (held.objects.empty()) return nullptr;
  if (held.executed != context.database->ExecutedCount() || !context.database->InTransaction()) {
    held.objects.clear();
    return nullptr;
  }
  auto found = held.objects.find(number);
  return found == held.objects.end() ? nullptr : &found->second;
}

// Called before this connection writes the object: what was read of it may no longer be so.
void ForgetHeld(const RepositoryContext& context, const ObjectRef& object) {
  context.held.objects.erase(object.number);
}

// A server's row locks are taken this many at a time, one statement a group; a shorter group
// repeats its last id.
constexpr std::size_t kHoldGroup = 64;

// The row locks of a group, taken in id order (and the groups in id order) so that two holders
// never wait for each other.
const std::string& LockGroupSql() {
  static const std::string sql = [] {
    std::string list;
    for (std::size_t i = 0; i < kHoldGroup; ++i) list += fmt::format("{}?{}", i ? ", " : "", i + 1);
    return "SELECT id FROM objects WHERE id IN (" + list + ") ORDER BY id FOR UPDATE";
  }();
  return sql;
}

// An object's row is read with the others of a run of ids no wider than this: a run is read by
// one scan of the objects and one of their attributes, a few cursor steps a row instead of an
// index search an object and attribute.
constexpr std::int64_t kReadSpan = 256;

const std::string& ObjectRunSql() {
  static const std::string sql =
      "SELECT id, type_code, name FROM objects WHERE id BETWEEN ?1 AND ?2";
  return sql;
}

// The attributes of the objects ?1..?2, in key order: one scan, with no look-up a row.
const std::string& AttributeRunSql() {
  static const std::string sql =
      "SELECT object_id, name, value FROM attributes WHERE object_id BETWEEN ?1 AND ?2";
  return sql;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Which of `asked` an attribute's stored name is, by the letter-case rule of SQLite's NOCASE
// (ASCII letters only); nullopt for none. A name beyond ASCII is left to the database (the
// object is read afresh), whose rule there may differ.
std::optional<std::optional<std::size_t>> AskedIndex(const std::vector<std::string>& asked,
                                                     std::string_view name) {
  auto ascii = [](std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  if (!ascii(name)) return std::nullopt;
  for (std::size_t i = 0; i < asked.size(); ++i) {
    if (!ascii(asked[i])) return std::nullopt;
    if (std::equal(name.begin(), name.end(), asked[i].begin(), asked[i].end(),
                   [](char a, char b) { return AsciiLower(a) == AsciiLower(b); })) {
      return std::optional<std::size_t>(i);
    }
  }
  return std::optional<std::optional<std::size_t>>(std::optional<std::size_t>());
}

// Binds the numbers of ids [first, first + kHoldGroup), the last repeated past the end.
void BindGroup(Statement& statement, const std::vector<std::int64_t>& numbers, std::size_t first) {
  for (std::size_t i = 0; i < kHoldGroup; ++i) {
    statement.Bind(static_cast<int>(i + 1), numbers[std::min(first + i, numbers.size() - 1)]);
  }
}

// A server's row locks come first, so that the values are read after a writer that held an
// object has committed. Inside an SQLite transaction no other connection writes at all: the read
// is the hold.
void LockAll(const RepositoryContext& context, const std::vector<std::int64_t>& numbers) {
  if (context.database->dialect() == Dialect::kSqlite) return;
  for (std::size_t first = 0; first < numbers.size(); first += kHoldGroup) {
    Statement lock = context.database->Prepare(LockGroupSql());
    BindGroup(lock, numbers, first);
    lock.Run();
  }
}

// Reads into `held` the objects of `sorted` [first, end), all within kReadSpan of each other;
// those whose attributes only the database can match are added to `afresh`.
void ReadRun(const RepositoryContext& context, const std::vector<std::int64_t>& sorted,
             std::size_t first, std::size_t end, const std::vector<std::string>& attributes,
             std::vector<std::int64_t>& afresh) {
  Database& database = *context.database;
  auto wanted = [&](std::int64_t number) {
    return std::binary_search(sorted.begin() + static_cast<std::ptrdiff_t>(first),
                              sorted.begin() + static_cast<std::ptrdiff_t>(end), number);
  };
  auto& objects = context.held.objects;
  Statement rows = database.Prepare(ObjectRunSql());
  rows.Bind(1, sorted[first]).Bind(2, sorted[end - 1]);
  while (rows.Step()) {
    const std::int64_t number = rows.Int(0);
    if (!wanted(number)) continue;
    HeldObject object{ObjectRef{number, context.types.Get(rows.Text(1))}, rows.Text(2), {}};
    object.values.resize(attributes.size());
    objects.insert_or_assign(number, std::move(object));
  }
  if (attributes.empty()) return;
  Statement values = database.Prepare(AttributeRunSql());
  values.Bind(1, sorted[first]).Bind(2, sorted[end - 1]);
  while (values.Step()) {
    auto found = objects.find(values.Int(0));
    if (found == objects.end()) continue;
    const std::string name = values.Text(1);
    std::optional<std::optional<std::size_t>> which = AskedIndex(attributes, name);
    if (!which) {
      afresh.push_back(found->first);
    } else if (*which) {
      found->second.values[**which] = values.Text(2);
    }
  }
}

}  // namespace

std::optional<ObjectRef> LoadObject(const RepositoryContext& context, std::int64_t number) {
  if (const HeldObject* held = Held(context, number)) return held->object;
  Statement statement = context.database->Prepare("SELECT type_code FROM objects WHERE id = ?1");
  statement.Bind(1, number);
  if (!statement.Step()) return std::nullopt;
  return ObjectRef{number, context.types.Get(statement.Text(0))};
}

std::optional<ObjectRef> FindObjectById(const RepositoryContext& context, std::string_view id) {
  std::optional<ParsedObjectId> parsed = ParseObjectId(id);
  if (!parsed) return std::nullopt;
  std::optional<ObjectRef> object = LoadObject(context, parsed->number);
  if (!object || !EqualsIgnoreCase(object->type->info().code, parsed->type_code)) {
    return std::nullopt;
  }
  return object;
}

ObjectRef ResolveObjectId(const RepositoryContext& context, std::string_view id) {
  std::optional<ObjectRef> object = FindObjectById(context, id);
  if (!object) throw NoSuchObject(context, id);
  return *object;
}

void RequireObject(const RepositoryContext& context, const ObjectRef& object) {
  Statement statement = context.database->Prepare("SELECT 1 FROM objects WHERE id = ?1");
  statement.Bind(1, object.number);
  if (!statement.Step()) throw NoSuchObject(context, object.Id());
}

void LockObject(const RepositoryContext& context, const ObjectRef& object) {
  Statement statement = context.database->Prepare("SELECT 1 FROM objects WHERE id = ?1 FOR UPDATE");
  statement.Bind(1, object.number);
  if (!statement.Step()) throw NoSuchObject(context, object.Id());
}

std::optional<std::pair<ObjectRef, std::string>> FindObjectByName(
    const RepositoryContext& context, const std::shared_ptr<StoredObjectType>& type,
    std::string_view name) {
  Statement statement = context.database->Prepare(
      "SELECT id, name FROM objects WHERE type_code = ?1 AND name_key = ?2");
  statement.Bind(1, type->info().code).Bind(2, FoldCase(name));
  if (!statement.Step()) return std::nullopt;
  return std::make_pair(ObjectRef{statement.Int(0), type}, statement.Text(1));
}

std::optional<ObjectRef> InsertObject(const RepositoryContext& context,
                                      const std::shared_ptr<StoredObjectType>& type,
                                      std::string_view name) {
  Database& database = *context.database;
  if (database.dialect() == Dialect::kSqlite) {
    // SQLite tells the new row's id without a round trip; RETURNING would cost it a temporary
    // table for every object.
    database
        .Prepare(
            "INSERT INTO objects (type_code, name, name_key) VALUES (?1, ?2, ?3) "
            "ON CONFLICT (type_code, name_key) DO NOTHING")
        .Bind(1, type->info().code)
        .Bind(2, name)
        .Bind(3, FoldCase(name))
        .Run();
    if (database.Changes() == 0) return std::nullopt;
    return ObjectRef{database.LastInsertId(), type};
  }
  Statement statement = database.Prepare(
      "INSERT INTO objects (type_code, name, name_key) VALUES (?1, ?2, ?3) "
      "ON CONFLICT (type_code, name_key) DO NOTHING RETURNING id");
  statement.Bind(1, type->info().code).Bind(2, name).Bind(3, FoldCase(name));
  if (!statement.Step()) return std::nullopt;
  return ObjectRef{statement.Int(0), type};
}

std::vector<ObjectRef> ObjectsOfType(const RepositoryContext& context,
                                     const std::shared_ptr<StoredObjectType>& type) {
  Statement statement =
      context.database->Prepare("SELECT id FROM objects WHERE type_code = ?1 ORDER BY id");
  statement.Bind(1, type->info().code);
  std::vector<ObjectRef> objects;
  while (statement.Step()) objects.push_back(ObjectRef{statement.Int(0), type});
  return objects;
}

std::int64_t CountObjectsOfType(const RepositoryContext& context, const StoredObjectType& type) {
  Statement statement =
      context.database->Prepare("SELECT count(*) FROM objects WHERE type_code = ?1");
  statement.Bind(1, type.info().code);
  return statement.Step() ? statement.Int(0) : 0;
}

std::string ObjectName(const RepositoryContext& context, const ObjectRef& object) {
  if (const HeldObject* held = Held(context, object.number)) return held->name;
  Statement statement = context.database->Prepare("SELECT name FROM objects WHERE id = ?1");
  statement.Bind(1, object.number);
  if (!statement.Step()) throw NoSuchObject(context, object.Id());
  return statement.Text(0);
}

std::string ReadAttribute(const RepositoryContext& context, const ObjectRef& object,
                          std::string_view name) {
  if (IsNameAttribute(name)) return ObjectName(context, object);
  if (const HeldObject* held = Held(context, object.number)) {
    const std::vector<std::string>& asked = context.held.attributes;
    for (std::size_t i = 0; i < asked.size(); ++i) {
      if (asked[i] == name) return held->values[i];
    }
  }
  // One look-up that tells a missing object (no row) from an unset attribute (NULL value).
  Statement statement = context.database->Prepare(
      "SELECT a.value FROM objects o LEFT JOIN attributes a "
      "ON a.object_id = o.id AND a.name = ?2 WHERE o.id = ?1");
  statement.Bind(1, object.number).Bind(2, name);
  if (!statement.Step()) throw NoSuchObject(context, object.Id());
  return statement.Text(0);
}

std::vector<bool> HoldAndRead(const RepositoryContext& context, const std::vector<std::string>& ids,
                              const std::vector<std::string>& attributes) {
  std::vector<bool> held(ids.size(), false);
  std::vector<std::int64_t> numbers;
  std::vector<std::pair<std::size_t, ParsedObjectId>> asked;  // each number's index in `ids`
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (std::optional<ParsedObjectId> parsed = ParseObjectId(ids[i])) {
      numbers.push_back(parsed->number);
      asked.emplace_back(i, std::move(*parsed));
    }
  }
  HeldObjects& objects = context.held;
  objects.objects.clear();
  objects.attributes = attributes;
  if (numbers.empty()) return held;
  std::vector<std::int64_t> sorted = numbers;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  LockAll(context, sorted);
  std::vector<std::int64_t> afresh;
  for (std::size_t first = 0, end = 0; first < sorted.size(); first = end) {
    while (end < sorted.size() && sorted[end] - sorted[first] < kReadSpan) ++end;
    ReadRun(context, sorted, first, end, attributes, afresh);
  }
  // Only an object of the type its id names is held.
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    auto found = objects.objects.find(numbers[i]);
    if (found == objects.objects.end()) continue;
    if (EqualsIgnoreCase(found->second.object.type->info().code, asked[i].second.type_code)) {
      held[asked[i].first] = true;
    } else {
      objects.objects.erase(found);
    }
  }
  for (std::int64_t number : afresh) objects.objects.erase(number);  // held, but not answered
  return held;
}

void WriteAttribute(const RepositoryContext& context, const ObjectRef& object,
                    std::string_view name, std::string_view value) {
  if (name.empty()) {
    throw Error(kInvalidArgument, kDatabaseErrorSource,
                fmt::format("an attribute of '{}' needs a name", object.Id()));
  }
  ForgetHeld(context, object);
  Database& database = *context.database;
  if (IsNameAttribute(name)) {
    if (value.empty()) {
      throw Error(kInvalidArgument, kDatabaseErrorSource,
                  fmt::format("the object '{}' cannot be given an empty name", object.Id()));
    }
    if (auto other = FindObjectByName(context, object.type, value);
        other && other->first.number != object.number) {
      throw Error(kInvalidArgument, kDatabaseErrorSource,
                  fmt::format("the object '{}' cannot be renamed to '{}': '{}' has that name",
                              object.Id(), value, other->first.Id()));
    }
    database.Prepare("UPDATE objects SET name = ?2, name_key = ?3 WHERE id = ?1")
        .Bind(1, object.number)
        .Bind(2, value)
        .Bind(3, FoldCase(value))
        .Run();
    return;
  }
  if (value.empty()) {
    database.Prepare("DELETE FROM attributes WHERE object_id = ?1 AND name = ?2")
        .Bind(1, object.number)
        .Bind(2, name)
        .Run();
    return;
  }
  database
      .Prepare(
          "INSERT INTO attributes (object_id, name, value) VALUES (?1, ?2, ?3) "
          "ON CONFLICT (object_id, name) DO UPDATE SET value = excluded.value")
      .Bind(1, object.number)
      .Bind(2, name)
      .Bind(3, value)
      .Run();
}

void RemoveObject(const RepositoryContext& context, const ObjectRef& object,
                  host::EntryList& entries) {
  ForgetHeld(context, object);
  LockObject(context, object);
  const std::string& source_attribute = object.type->info().source_attribute;
  if (!source_attribute.empty()) {
    std::string copy = ReadAttribute(context, object, source_attribute);
    if (!copy.empty()) entries.push_back("." + copy);
  }
  for (std::string& entry : GeneratedEntriesOf(context, object.number)) {
    entries.push_back(std::move(entry));
  }
  Database& database = *context.database;
  database.Prepare("DELETE FROM attributes WHERE object_id = ?1").Bind(1, object.number).Run();
  DeleteRelationsOf(context, object.number);
  DeleteGeneratedEntries(context, object.number);
  database.Prepare("DELETE FROM objects WHERE id = ?1").Bind(1, object.number).Run();
}

void ForgetGeneratedEntries(const RepositoryContext& context, const ObjectRef& object,
                            host::EntryList& entries) {
  LockObject(context, object);
  for (std::string& entry : GeneratedEntriesOf(context, object.number)) {
    entries.push_back(std::move(entry));
  }
  DeleteGeneratedEntries(context, object.number);
}

}  // namespace svregistration::workspace
