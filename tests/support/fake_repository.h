// An in-memory repository for library tests: it records the calls that change or walk objects in
// order and fails the calls named in `failing` with an Error, so guarded and unguarded steps can
// be told apart.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "svregistration/host/registration_handler.h"
#include "svregistration/host/repository.h"

namespace svregistration::testing {

class FakeObject;

class FakeObjectType final : public host::ObjectType {
 public:
  FakeObjectType(std::string code, std::string handler)
      : code_(std::move(code)), handler_(std::move(handler)) {}
  std::string SourceAttribute() override { return "Source"; }
  std::string RegistrationHandler() override { return handler_; }
  std::string DisplayName() override { return code_ + " program"; }
  std::string TypeCode() override { return code_; }

 private:
  std::string code_, handler_;
};

class FakeRepository final : public host::Repository {
 public:
  FakeRepository();
  std::shared_ptr<host::ObjectType> SchemaObjectType(const std::string& type_name) override;
  std::shared_ptr<host::ObjectCursor> PrepareCollection(const std::string& type_code,
                                                        const std::string& condition) override;
  std::shared_ptr<host::RepositoryObject> FindObject(const std::string& type, std::string& name,
                                                     const std::string& condition) override;
  std::shared_ptr<host::RepositoryObject> NewObject(const std::string& type,
                                                    std::string& name) override;
  std::shared_ptr<host::RepositoryObject> ObjectById(const std::string& id) override;
  long CountObjects(const std::string& type_code, const std::string& condition) override;
  std::shared_ptr<host::ObjectCursor> SelectObjects(const std::string& type_code,
                                                    const std::string& condition,
                                                    const std::string&) override {
    return PrepareCollection(type_code, condition);
  }
  void UnregisterObjects(host::IdCollection& ids, host::EntryList& entries) override;
  void InvalidateObjects(host::IdCollection& ids, host::EntryList& entries) override;

  /// Adds an object directly (no call recorded).
  std::shared_ptr<FakeObject> Add(const std::string& type, const std::string& name);
  std::shared_ptr<FakeObject> Find(const std::string& id);
  /// Records a call and raises Error when its name is in `failing`.
  void Call(const std::string& name, const std::string& detail = "");
  bool Called(const std::string& name) const;

  std::map<std::string, std::shared_ptr<FakeObjectType>> types;
  std::vector<std::shared_ptr<FakeObject>> objects;
  std::vector<std::string> calls;
  std::set<std::string> failing;

 private:
  int next_id_ = 1;
};

class FakeObject final : public host::RepositoryObject {
 public:
  FakeObject(FakeRepository& repository, std::string id, std::string name,
             std::shared_ptr<FakeObjectType> object_type)
      : type(std::move(object_type)), repository_(repository), id_(std::move(id)) {
    attributes["Name"] = std::move(name);
  }
  std::string Id() override { return id_; }
  std::string Name() override { return attributes["Name"]; }
  std::shared_ptr<host::ObjectType> ObjectType() override { return type; }
  std::string GetAttribute(const std::string& name) override { return attributes[name]; }
  void BeginUpdate() override {}
  void SetAttribute(const std::string& name, const std::string& value) override {
    repository_.Call("SetAttribute", id_ + "." + name + "=" + value);
    attributes[name] = value;
  }
  void EndUpdate() override {}
  std::shared_ptr<host::ObjectCursor> Relations() override;
  std::shared_ptr<host::ObjectCursor> Members() override;
  void RemoveRelation(const std::string& relation, const std::string& target_id) override;
  void UnregisterObject(host::EntryList& entries) override;
  void InvalidateObject(host::EntryList& entries) override;

  std::map<std::string, std::string> attributes;
  std::vector<std::string> generated;  ///< file entries of generated files
  std::vector<std::string> folders;    ///< ids this object belongs to
  std::shared_ptr<FakeObjectType> type;

 private:
  FakeRepository& repository_;
  std::string id_;
};

/// Registers the handler classes the fake types name: "Test.Accept" accepts, "Test.Refuse"
/// refuses. "Test.Missing" is never registered.
void RegisterTestHandlers();

}  // namespace svregistration::testing
