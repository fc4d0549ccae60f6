// An in-memory repository for library tests: it records the calls that change or walk objects in
// order and fails the calls named in `failing` with an Error, so guarded and unguarded steps can
// be told apart. And the fixture of the registration service's tests over it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "nls/text.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/class_registry.h"
#include "svregistration/error.h"
#include "svregistration/host/registration_handler.h"
#include "svregistration/host/repository.h"
#include "svregistration/sv_standard.h"

namespace svregistration::testing {

/// The types COBOL, FOLDER, REFUSED and NOHANDLER. Each names the handler "Test.<code>", which
/// RegisterTestHandlers makes accept, refuse (REFUSED) or leaves unregistered (NOHANDLER).
struct FakeObjectType final : host::ObjectType {
  explicit FakeObjectType(std::string type_code) : code(std::move(type_code)) {}
  std::string SourceAttribute() override { return "Source"; }
  std::string RegistrationHandler() override { return "Test." + code; }
  std::string DisplayName() override { return code + " program"; }
  std::string TypeCode() override { return code; }
  std::string code;
};

/// The objects given, each seen through a BelongsTo relation to its own type.
struct FakeCursor final : host::ObjectCursor,
                          host::RelationType,
                          std::enable_shared_from_this<FakeCursor> {
  explicit FakeCursor(std::vector<std::shared_ptr<host::RepositoryObject>> objects)
      : items(std::move(objects)) {}
  bool Eof() override { return index >= items.size(); }
  std::shared_ptr<host::RepositoryObject> Item() override { return items.at(index); }
  std::shared_ptr<host::RelationType> Relation() override {
    target = items.at(index)->ObjectType();
    return shared_from_this();
  }
  void MoveNext() override { ++index; }
  long Count() override { return static_cast<long>(items.size()); }
  std::string Name() override { return "BelongsTo"; }
  std::shared_ptr<host::ObjectType> TargetType() override { return target; }

  std::vector<std::shared_ptr<host::RepositoryObject>> items;
  std::size_t index = 0;
  std::shared_ptr<host::ObjectType> target;
};

/// The calls made to the repository and its objects.
struct FakeCalls {
  /// Records a call and raises Error when its name is in `failing`.
  void Call(const std::string& name, const std::string& detail = "") {
    calls.push_back(detail.empty() ? name : name + "(" + detail + ")");
    if (failing.count(name) != 0) throw Error(5, "FakeRepository", name + " failed");
  }
  bool Called(const std::string& name) const {
    return std::any_of(calls.begin(), calls.end(), [&](auto& c) { return c.rfind(name, 0) == 0; });
  }
  std::vector<std::string> calls;
  std::set<std::string> failing;
};

class FakeObject final : public host::RepositoryObject {
 public:
  using List = std::vector<std::shared_ptr<FakeObject>>;
  FakeObject(FakeCalls& calls, List& all, std::string id, std::string name, std::string code)
      : type(std::make_shared<FakeObjectType>(code)), calls_(calls), all_(all), id_(id) {
    attributes["Name"] = std::move(name);
  }
  std::string Id() override { return id_; }
  std::string Name() override { return attributes["Name"]; }
  std::shared_ptr<host::ObjectType> ObjectType() override { return type; }
  std::string GetAttribute(const std::string& name) override { return attributes[name]; }
  void BeginUpdate() override {}
  void SetAttribute(const std::string& name, const std::string& value) override {
    calls_.Call("SetAttribute", id_ + "." + name + "=" + value);
    attributes[name] = value;
  }
  void EndUpdate() override {}
  std::shared_ptr<host::ObjectCursor> Relations() override {
    calls_.Call("Relations", id_);
    return Where(all_, [&](FakeObject& o) { return std::ranges::count(folders, o.id_) != 0; });
  }
  std::shared_ptr<host::ObjectCursor> Members() override {
    calls_.Call("Members", id_);
    return Where(all_, [&](FakeObject& o) { return std::ranges::count(o.folders, id_) != 0; });
  }
  void RemoveRelation(const std::string& relation, const std::string& target_id) override {
    calls_.Call("RemoveRelation", id_ + "->" + target_id);
    auto it = std::find(folders.begin(), folders.end(), target_id);
    if (relation != "BelongsTo" || it == folders.end()) throw Error(5, "Test", "no such relation");
    folders.erase(it);
  }
  void UnregisterObject(host::EntryList& entries) override {
    calls_.Call("UnregisterObject", id_);
    if (!attributes["Source"].empty()) entries.push_back("." + attributes["Source"]);
    entries.insert(entries.end(), generated.begin(), generated.end());
    std::erase_if(all_, [&](auto& o) { return o->id_ == id_; });
  }
  void InvalidateObject(host::EntryList& entries) override {
    calls_.Call("InvalidateObject", id_);
    entries.insert(entries.end(), generated.begin(), generated.end());
    generated.clear();
  }

  /// A cursor over the objects of `all` that `keep` selects, in the order of `all`.
  template <class Keep>
  static std::shared_ptr<host::ObjectCursor> Where(const List& all, Keep keep) {
    std::vector<std::shared_ptr<host::RepositoryObject>> found;
    for (const auto& o : all) {
      if (keep(*o)) found.push_back(o);
    }
    return std::make_shared<FakeCursor>(found);
  }

  std::map<std::string, std::string> attributes;
  std::vector<std::string> generated;  ///< file entries of generated files
  std::vector<std::string> folders;    ///< ids this object belongs to
  std::shared_ptr<FakeObjectType> type;

 private:
  FakeCalls& calls_;
  List& all_;
  std::string id_;
};

class FakeRepository final : public host::Repository, public FakeCalls {
 public:
  std::shared_ptr<host::ObjectType> SchemaObjectType(const std::string& code) override {
    if (code != "COBOL" && code != "FOLDER" && code != "REFUSED" && code != "NOHANDLER") {
      throw Error(9, "Test", "no object type '" + code + "'");
    }
    return std::make_shared<FakeObjectType>(code);
  }
  std::shared_ptr<host::ObjectCursor> PrepareCollection(const std::string& type_code,
                                                        const std::string&) override {
    return FakeObject::Where(
        objects, [&](FakeObject& o) { return nls::EqualsIgnoreCase(o.type->code, type_code); });
  }
  std::shared_ptr<host::RepositoryObject> FindObject(const std::string& type, std::string& name,
                                                     const std::string&) override {
    Call("FindObject", type + "/" + name);
    for (const auto& o : objects) {
      if (o->type->code == type && nls::EqualsIgnoreCase(o->Name(), name)) return o;
    }
    return nullptr;
  }
  std::shared_ptr<host::RepositoryObject> NewObject(const std::string& type,
                                                    std::string& name) override {
    Call("NewObject", type + "/" + name);
    return Add(type, name);
  }
  std::shared_ptr<host::RepositoryObject> ObjectById(const std::string& id) override {
    if (auto o = Find(id)) return o;
    throw Error(9, "Test", "no object '" + id + "'");
  }
  long CountObjects(const std::string& type_code, const std::string& condition) override {
    return PrepareCollection(type_code, condition)->Count();
  }
  std::shared_ptr<host::ObjectCursor> SelectObjects(const std::string& type_code,
                                                    const std::string& condition,
                                                    const std::string&) override {
    return PrepareCollection(type_code, condition);
  }
  void UnregisterObjects(host::IdCollection& ids, host::EntryList& entries) override {
    Call("UnregisterObjects");
    for (const auto& id : ids) {
      if (auto o = Find(id)) o->UnregisterObject(entries);
    }
  }
  void InvalidateObjects(host::IdCollection& ids, host::EntryList& entries) override {
    Call("InvalidateObjects");
    for (const auto& id : ids) {
      if (auto o = Find(id)) o->InvalidateObject(entries);
    }
  }

  /// Adds an object directly (no call recorded).
  std::shared_ptr<FakeObject> Add(const std::string& type, const std::string& name) {
    SchemaObjectType(type);
    std::string id = type + ":" + std::to_string(++count_);
    return objects.emplace_back(std::make_shared<FakeObject>(*this, objects, id, name, type));
  }
  std::shared_ptr<FakeObject> Find(const std::string& id) {
    auto it = std::find_if(objects.begin(), objects.end(), [&](auto& o) { return o->Id() == id; });
    return it == objects.end() ? nullptr : *it;
  }

  FakeObject::List objects;

 private:
  int count_ = 0;
};

/// Registers the handlers the fake types name.
inline void RegisterTestHandlers() {
  struct Fixed final : host::RegistrationHandler {
    explicit Fixed(bool accept) : accepts(accept) {}
    bool OnObjectRegister(std::shared_ptr<host::Workspace>&,
                          std::shared_ptr<host::RepositoryObject>&) override {
      return accepts;
    }
    bool accepts;
  };
  for (const char* code : {"COBOL", "FOLDER", "REFUSED"}) {
    ClassRegistry::Instance().Register<host::RegistrationHandler>(
        std::string("Test.") + code,
        [accept = code != std::string("REFUSED")] { return std::make_shared<Fixed>(accept); });
  }
}

/// A fake workspace in dir_/ws over a fake repository, and the service under test; the handlers
/// the fake types name are registered.
class FakeHostTest : public ::testing::Test {
 protected:
  explicit FakeHostTest(const std::string& workspace_xml = WorkspaceOptionsXml({}))
      : workspace_(std::make_shared<FakeWorkspace>(root_, workspace_xml)) {
    RegisterTestHandlers();
    workspace_->repository = repository_;
  }
  /// Makes the global options name `directory` the COBOL sources folder.
  void ConfigureDirectory(const std::string& directory) {
    workspace_->global_options = std::make_shared<FakeOptions>(
        "<OPTIONS><CASE ID='Inventory'><LIST NAME='Types'><CASE NAME='COBOL'><TEXT "
        "NAME='Directory' "
        "VALUE='" +
        directory + "'/></CASE></LIST></CASE></OPTIONS>");
  }

  TempDir dir_;
  std::string root_ = dir_ / "ws";
  std::shared_ptr<FakeRepository> repository_ = std::make_shared<FakeRepository>();
  std::shared_ptr<FakeWorkspace> workspace_;
  SVStandard service_;
};

}  // namespace svregistration::testing
