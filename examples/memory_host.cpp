// The least a host needs to register and refresh a source: a workspace (a folder, an options
// document, a log), a repository kept in memory, an id utility and a registration handler.
// Usage: memory_host WORKSPACE_FOLDER SOURCE_FILE
#include <svregistration/class_registry.h>
#include <svregistration/error.h>
#include <svregistration/host/registration_handler.h>
#include <svregistration/host/utilities.h>
#include <svregistration/host/workspace.h>
#include <svregistration/sv_standard.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <pugixml.hpp>

using namespace svregistration;

// One object type, COBOL, whose copies are recorded in the attribute "Source".
struct CobolType final : host::ObjectType {
  std::string SourceAttribute() override { return "Source"; }
  std::string RegistrationHandler() override { return "Example.AcceptAll"; }
  std::string DisplayName() override { return "COBOL program"; }
  std::string TypeCode() override { return "COBOL"; }
};

struct MemoryObject final : host::RepositoryObject {
  MemoryObject(std::string id, std::string name) : id(std::move(id)), name(std::move(name)) {}
  std::string Id() override { return id; }
  std::string Name() override { return name; }
  std::shared_ptr<host::ObjectType> ObjectType() override { return std::make_shared<CobolType>(); }
  std::string GetAttribute(const std::string& key) override { return attributes[key]; }
  void BeginUpdate() override {}
  void SetAttribute(const std::string& key, const std::string& value) override {
    attributes[key] = value;
  }
  void EndUpdate() override {}
  std::shared_ptr<host::ObjectCursor> Relations() override { return nullptr; }
  std::shared_ptr<host::ObjectCursor> Members() override { return nullptr; }
  void RemoveRelation(const std::string&, const std::string&) override {}
  void UnregisterObject(host::EntryList& entries) override {
    entries.push_back("." + attributes["Source"]);
  }
  void InvalidateObject(host::EntryList&) override {}

  std::string id, name;
  std::map<std::string, std::string> attributes;
};

struct MemoryRepository final : host::Repository {
  std::shared_ptr<host::ObjectType> SchemaObjectType(const std::string&) override {
    return std::make_shared<CobolType>();
  }
  std::shared_ptr<host::ObjectCursor> PrepareCollection(const std::string&,
                                                        const std::string&) override {
    return nullptr;
  }
  std::shared_ptr<host::RepositoryObject> FindObject(const std::string&, std::string& name,
                                                     const std::string&) override {
    for (auto& [id, object] : objects) {
      if (object->name == name) return object;
    }
    return nullptr;
  }
  std::shared_ptr<host::RepositoryObject> NewObject(const std::string& type,
                                                    std::string& name) override {
    auto object =
        std::make_shared<MemoryObject>(type + ":" + std::to_string(objects.size() + 1), name);
    objects[object->id] = object;
    return object;
  }
  std::shared_ptr<host::RepositoryObject> ObjectById(const std::string& id) override {
    if (!objects.count(id)) throw Error(9, "MemoryRepository", "no object " + id);
    return objects[id];
  }
  long CountObjects(const std::string&, const std::string&) override {
    return static_cast<long>(objects.size());
  }
  std::shared_ptr<host::ObjectCursor> SelectObjects(const std::string&, const std::string&,
                                                    const std::string&) override {
    return nullptr;
  }
  void UnregisterObjects(host::IdCollection&, host::EntryList&) override {}
  void InvalidateObjects(host::IdCollection&, host::EntryList&) override {}

  std::map<std::string, std::shared_ptr<MemoryObject>> objects;
};

// The options a copy reads: tabs expanded, plain ASCII sources in an English locale.
constexpr const char* kOptions = R"(<OPTIONS>
  <CASE ID="Registration">
    <BOOL ID="ExpandTabs" VALUE="true"/><BOOL ID="RemoveNumeration" VALUE="false"/>
    <LIST NAME="Extension" VALUE="COBOL"><CASE NAME="COBOL"/></LIST>
  </CASE>
  <CASE ID="Encoding">
    <LIST ID="LegacySourcesEncoding" VALUE="ASCII"><CASE NAME="ASCII"/></LIST>
    <LIST NAME="ObjectComputerEncoding" VALUE="English">
      <CASE NAME="English"><TEXT NAME="SourceLocale" VALUE="1033"/><TEXT NAME="RegisteredLocale" VALUE="1033"/></CASE>
    </LIST>
  </CASE>
</OPTIONS>)";

struct Options final : host::OptionsHolder {
  Options() { document.load_string(kOptions); }
  pugi::xml_document document;
  pugi::xml_document* Document() override { return &document; }
  void Save() override {}
};

struct PrintedLog final : host::WorkspaceLog {
  void Add(const std::string& title, int severity, const std::optional<std::string>&,
           const std::string& text) override {
    std::printf("log: %s (%d): %s\n", title.c_str(), severity, text.c_str());
  }
};

struct MemoryWorkspace final : host::Workspace {
  explicit MemoryWorkspace(std::string root) : root(std::move(root)) {}
  std::shared_ptr<host::Repository> Repository() override { return repository; }
  std::string GetSolvaneName(int code) override { return code == 3 ? root + "/codepages" : root; }
  std::shared_ptr<host::OptionsHolder> WorkspaceOptions() override { return options; }
  std::shared_ptr<host::OptionsHolder> GlobalOptions() override { return options; }
  std::shared_ptr<host::WorkspaceLog> Log() override { return log; }
  std::intptr_t SolvanewareWindowHandle() override { return 0; }
  void SetCancelPressed(bool) override {}

  std::string root;
  std::shared_ptr<MemoryRepository> repository = std::make_shared<MemoryRepository>();
  std::shared_ptr<Options> options = std::make_shared<Options>();
  std::shared_ptr<PrintedLog> log = std::make_shared<PrintedLog>();
};

struct AcceptAll final : host::RegistrationHandler {
  bool OnObjectRegister(std::shared_ptr<host::Workspace>&,
                        std::shared_ptr<host::RepositoryObject>&) override {
    return true;
  }
};

struct IdsCarryTheirType final : host::IdUtility {
  std::string ObjectTypeOfId(const std::string& id) override { return id.substr(0, id.find(':')); }
};

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: memory_host WORKSPACE_FOLDER SOURCE_FILE\n");
    return 2;
  }
  ClassRegistry& classes = ClassRegistry::Instance();
  classes.Register<host::RegistrationHandler>("Example.AcceptAll",
                                              [] { return std::make_shared<AcceptAll>(); });
  classes.Register<host::IdUtility>(host::kIdUtilityClass,
                                    [] { return std::make_shared<IdsCarryTheirType>(); });

  auto workspace = std::make_shared<MemoryWorkspace>(argv[1]);
  SVStandard service;
  std::string name = "PAY";
  int registered = service.RegisterEx(workspace, "COBOL", name, argv[2]);
  std::printf("register: %s %s\n", ResultName(registered), service.RegisteredObjectId().c_str());

  std::ofstream(argv[2], std::ios::app) << "      * changed\n";
  long copied = 0;
  int refreshed = service.RefreshSource(workspace, service.RegisteredObjectId(), copied);
  std::printf("refresh: %d, %ld copied\n", refreshed, copied);
  return registered == rOK && copied == 1 ? 0 : 1;
}
