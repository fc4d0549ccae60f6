#include "support/fake_repository.h"

#include <algorithm>

#include "platform/text.h"
#include "svregistration/class_registry.h"
#include "svregistration/error.h"

namespace svregistration::testing {

namespace {

struct BelongsTo final : host::RelationType {
  explicit BelongsTo(std::shared_ptr<host::ObjectType> type) : target(std::move(type)) {}
  std::string Name() override { return "BelongsTo"; }
  std::shared_ptr<host::ObjectType> TargetType() override { return target; }
  std::shared_ptr<host::ObjectType> target;
};

// The objects given, each seen through a BelongsTo relation to its own type.
struct VectorCursor final : host::ObjectCursor {
  explicit VectorCursor(std::vector<std::shared_ptr<FakeObject>> objects)
      : items(std::move(objects)) {}
  bool Eof() override { return index >= items.size(); }
  std::shared_ptr<host::RepositoryObject> Item() override { return items.at(index); }
  std::shared_ptr<host::RelationType> Relation() override {
    return std::make_shared<BelongsTo>(items.at(index)->type);
  }
  void MoveNext() override { ++index; }
  long Count() override { return static_cast<long>(items.size()); }
  std::vector<std::shared_ptr<FakeObject>> items;
  std::size_t index = 0;
};

struct FixedHandler final : host::RegistrationHandler {
  explicit FixedHandler(bool accept) : accepts(accept) {}
  bool OnObjectRegister(std::shared_ptr<host::Workspace>&,
                        std::shared_ptr<host::RepositoryObject>&) override {
    return accepts;
  }
  bool accepts;
};

}  // namespace

std::shared_ptr<host::ObjectCursor> FakeObject::Relations() {
  repository_.Call("Relations", id_);
  std::vector<std::shared_ptr<FakeObject>> targets;
  for (const auto& folder : folders) targets.push_back(repository_.Find(folder));
  return std::make_shared<VectorCursor>(targets);
}

std::shared_ptr<host::ObjectCursor> FakeObject::Members() {
  repository_.Call("Members", id_);
  std::vector<std::shared_ptr<FakeObject>> members;
  for (const auto& o : repository_.objects) {
    if (std::count(o->folders.begin(), o->folders.end(), id_) != 0) members.push_back(o);
  }
  return std::make_shared<VectorCursor>(members);
}

void FakeObject::RemoveRelation(const std::string& relation, const std::string& target_id) {
  repository_.Call("RemoveRelation", id_ + "->" + target_id);
  auto it = std::find(folders.begin(), folders.end(), target_id);
  if (relation != "BelongsTo" || it == folders.end()) throw Error(5, "Test", "no such relation");
  folders.erase(it);
}

void FakeObject::UnregisterObject(host::EntryList& entries) {
  repository_.Call("UnregisterObject", id_);
  if (!attributes["Source"].empty()) entries.push_back("." + attributes["Source"]);
  entries.insert(entries.end(), generated.begin(), generated.end());
  auto& all = repository_.objects;
  all.erase(std::remove_if(all.begin(), all.end(), [&](auto& o) { return o->Id() == id_; }),
            all.end());
}

void FakeObject::InvalidateObject(host::EntryList& entries) {
  repository_.Call("InvalidateObject", id_);
  entries.insert(entries.end(), generated.begin(), generated.end());
  generated.clear();
}

FakeRepository::FakeRepository() {
  types["COBOL"] = std::make_shared<FakeObjectType>("COBOL", "Test.Accept");
  types["REFUSED"] = std::make_shared<FakeObjectType>("REFUSED", "Test.Refuse");
  types["NOHANDLER"] = std::make_shared<FakeObjectType>("NOHANDLER", "Test.Missing");
  types["FOLDER"] = std::make_shared<FakeObjectType>("FOLDER", "Test.Accept");
}

std::shared_ptr<host::ObjectType> FakeRepository::SchemaObjectType(const std::string& type_name) {
  auto it = types.find(type_name);
  if (it == types.end()) throw Error(9, "Test", "no object type '" + type_name + "'");
  return it->second;
}

std::shared_ptr<host::ObjectCursor> FakeRepository::PrepareCollection(const std::string& type_code,
                                                                      const std::string&) {
  std::vector<std::shared_ptr<FakeObject>> found;
  for (const auto& o : objects) {
    if (platform::EqualsIgnoreCase(o->type->TypeCode(), type_code)) found.push_back(o);
  }
  return std::make_shared<VectorCursor>(found);
}

std::shared_ptr<host::RepositoryObject> FakeRepository::FindObject(const std::string& type,
                                                                   std::string& name,
                                                                   const std::string&) {
  Call("FindObject", type + "/" + name);
  for (const auto& o : objects) {
    if (o->type->TypeCode() == type && platform::EqualsIgnoreCase(o->attributes["Name"], name))
      return o;
  }
  return nullptr;
}

std::shared_ptr<host::RepositoryObject> FakeRepository::NewObject(const std::string& type,
                                                                  std::string& name) {
  Call("NewObject", type + "/" + name);
  return Add(type, name);
}

std::shared_ptr<host::RepositoryObject> FakeRepository::ObjectById(const std::string& id) {
  if (auto o = Find(id)) return o;
  throw Error(9, "Test", "no object '" + id + "'");
}

long FakeRepository::CountObjects(const std::string& type_code, const std::string& condition) {
  return PrepareCollection(type_code, condition)->Count();
}

void FakeRepository::UnregisterObjects(host::IdCollection& ids, host::EntryList& entries) {
  Call("UnregisterObjects");
  for (const auto& id : ids) {
    if (auto o = Find(id)) o->UnregisterObject(entries);
  }
}

void FakeRepository::InvalidateObjects(host::IdCollection& ids, host::EntryList& entries) {
  Call("InvalidateObjects");
  for (const auto& id : ids) {
    if (auto o = Find(id)) o->InvalidateObject(entries);
  }
}

std::shared_ptr<FakeObject> FakeRepository::Add(const std::string& type, const std::string& name) {
  auto object = std::make_shared<FakeObject>(*this, type + ":" + std::to_string(next_id_++), name,
                                             types.at(type));
  objects.push_back(object);
  return object;
}

std::shared_ptr<FakeObject> FakeRepository::Find(const std::string& id) {
  for (const auto& o : objects) {
    if (o->Id() == id) return o;
  }
  return nullptr;
}

void FakeRepository::Call(const std::string& name, const std::string& detail) {
  calls.push_back(detail.empty() ? name : name + "(" + detail + ")");
  if (failing.count(name) != 0) throw Error(5, "FakeRepository", name + " failed");
}

bool FakeRepository::Called(const std::string& name) const {
  return std::any_of(calls.begin(), calls.end(),
                     [&](const std::string& c) { return c.rfind(name, 0) == 0; });
}

void RegisterTestHandlers() {
  auto& registry = ClassRegistry::Instance();
  registry.Register<host::RegistrationHandler>("Test.Accept",
                                               [] { return std::make_shared<FixedHandler>(true); });
  registry.Register<host::RegistrationHandler>(
      "Test.Refuse", [] { return std::make_shared<FixedHandler>(false); });
}

}  // namespace svregistration::testing
