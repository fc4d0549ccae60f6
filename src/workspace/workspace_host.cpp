// Creating and opening workspace folders.
#include "svregistration/workspace/workspace_host.h"

#include <fmt/core.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "svregistration/ccsid.h"
#include "svregistration/error.h"
#include "svregistration/file_writing.h"
#include "svregistration/icu_table.h"
#include "workspace/default_options.h"
#include "workspace/error_source.h"
#include "workspace/repository/database.h"
#include "workspace/repository/names.h"
#include "workspace/repository/postgres_module.h"
#include "workspace/repository/registration_handlers.h"

namespace svregistration::workspace {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSource = kWorkspaceErrorSource;
constexpr const char* kWorkspaceOptionsFile = "options/workspace.xml";
constexpr const char* kGlobalOptionsFile = "options/global.xml";
constexpr const char* kCodePageFolder = "codepages";
// One line: the connection string of the PostgreSQL repository. No file: workspace.db.
constexpr const char* kRepositoryFile = "options/repository";

Error WorkspaceError(int number, const std::string& text) { return Error(number, kSource, text); }

std::string AbsoluteFolder(const std::string& directory) {
  std::error_code ec;
  fs::path absolute = fs::absolute(directory, ec);
  std::string text = (ec ? fs::path(directory) : absolute.lexically_normal()).string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

// Written beside and moved into place, so that a workspace never has half a line.
void WriteRepositoryFile(const std::string& path, const std::string& connection) {
  WriteFileWhole(path, connection + '\n');
}

std::optional<std::string> ReadRepositoryFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string connection;
  std::getline(file, connection);
  if (connection.empty()) {
    throw WorkspaceError(error_number::kPathFileAccessError,
                         fmt::format("'{}' names no repository database", path));
  }
  return connection;
}

}  // namespace

WorkspaceHost::WorkspaceHost(std::string root) : root_(std::move(root)) {}

namespace {

// What Create has made so far, removed again when it cannot finish: a workspace is made whole or
// not at all, and nothing that was there before is touched.
class CreatedPaths {
 public:
  ~CreatedPaths() {
    if (done_) return;
    std::error_code ignored;
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) fs::remove_all(*it, ignored);
  }
  /// Creates the folder (and those above it) unless it exists, remembering what was made.
  void Folder(const fs::path& folder) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return;
    if (folder.has_parent_path() && folder.parent_path() != folder) Folder(folder.parent_path());
    if (!fs::create_directory(folder, ec) && ec) {
      throw WorkspaceError(
          error_number::kPathFileAccessError,
          fmt::format("cannot create the folder '{}': {}", folder.string(), ec.message()));
    }
    made_.push_back(folder);
  }
  /// A file about to be written by Create.
  void File(const fs::path& file) { made_.push_back(file); }
  void Done() { done_ = true; }

 private:
  std::vector<fs::path> made_;
  bool done_ = false;
};

}  // namespace

std::shared_ptr<WorkspaceHost> WorkspaceHost::Create(const std::string& directory,
                                                     const std::string& repository) {
  std::string root = AbsoluteFolder(directory);
  std::error_code ec;
  if (fs::exists(fs::path(root) / kWorkspaceOptionsFile, ec) ||
      fs::exists(fs::path(root) / kWorkspaceDatabaseFile, ec)) {
    throw WorkspaceError(error_number::kFileAlreadyExists,
                         fmt::format("'{}' already holds a workspace", root));
  }
  // The server's database is made first: a connection string that is refused, a server that
  // cannot be reached or a database that holds a workspace already leave no folder behind.
  std::string connection = repository.empty() ? "" : CheckConnectionString(repository);
  std::shared_ptr<Database> server_database;
  if (!connection.empty()) server_database = CreatePostgresDatabase(connection);
  CreatedPaths created;
  created.Folder(fs::path(root) / "options");
  created.Folder(fs::path(root) / kCodePageFolder);
  // Refresh makes a type's Sources folder one level deep, so the parent exists from the start.
  created.Folder(fs::path(root) / "Sources");
  auto host = std::shared_ptr<WorkspaceHost>(new WorkspaceHost(root));
  host->workspace_options_ = OptionsDocument::FromText(
      (fs::path(root) / kWorkspaceOptionsFile).string(), DefaultWorkspaceOptions());
  host->global_options_ = OptionsDocument::FromText((fs::path(root) / kGlobalOptionsFile).string(),
                                                    DefaultGlobalOptions());
  created.File(fs::path(root) / kGlobalOptionsFile);
  host->global_options_->Save();
  for (const char* table : {"ibm-37.tbl", "ibm-930.tbl"})
    created.File(fs::path(root) / kCodePageFolder / table);
  host->SaveDefaultCodePageTables();
  // The database comes before the workspace options: a folder holding the options document is a
  // workspace, so that document is written last, when everything else is there.
  if (connection.empty()) {
    created.File(fs::path(root) / kWorkspaceDatabaseFile);
    host->Connect(Database::Create((fs::path(root) / kWorkspaceDatabaseFile).string()));
  } else {
    created.File(fs::path(root) / kRepositoryFile);
    WriteRepositoryFile((fs::path(root) / kRepositoryFile).string(), connection);
    host->Connect(std::move(server_database));
  }
  created.File(fs::path(root) / kWorkspaceOptionsFile);
  host->workspace_options_->Save();
  created.Done();
  return host;
}

std::shared_ptr<WorkspaceHost> WorkspaceHost::Open(const std::string& directory) {
  std::string root = AbsoluteFolder(directory);
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    throw WorkspaceError(error_number::kPathNotFound,
                         fmt::format("the workspace folder '{}' does not exist", root));
  }
  if (!fs::exists(fs::path(root) / kWorkspaceOptionsFile, ec)) {
    throw WorkspaceError(
        error_number::kPathNotFound,
        fmt::format("'{}' is not a workspace: it has no {}", root, kWorkspaceOptionsFile));
  }
  auto host = std::shared_ptr<WorkspaceHost>(new WorkspaceHost(root));
  host->LoadOptions();
  std::optional<std::string> connection =
      ReadRepositoryFile((fs::path(root) / kRepositoryFile).string());
  if (connection) {
    host->Connect(OpenPostgresDatabase(*connection));
  } else {
    host->Connect(Database::Open((fs::path(root) / kWorkspaceDatabaseFile).string()));
  }
  return host;
}

void WorkspaceHost::LoadOptions() {
  // The new documents count from 0: the sum starts above every revision told before.
  if (workspace_options_ && global_options_) loaded_ = OptionsRevision() + 1;
  workspace_options_ = OptionsDocument::Load((fs::path(root_) / kWorkspaceOptionsFile).string());
  global_options_ = OptionsDocument::Load((fs::path(root_) / kGlobalOptionsFile).string());
}

std::uint64_t WorkspaceHost::OptionsRevision() {
  return loaded_ + workspace_options_->revision() + global_options_->revision();
}

std::string WorkspaceHost::CodePageDirectory() const {
  return (fs::path(root_) / kCodePageFolder).string();
}

namespace {

// The Directory values of the global options' Inventory page, by type name as written there,
// in one walk of the document (the first of each name in document order): the same values as
// "//CASE[@ID='Inventory']/*/CASE[@NAME='<type>']/TEXT[@NAME='Directory']" selects, without
// compiling a query per type for every registered file.
std::map<std::string, std::string> ConfiguredDirectories(const pugi::xml_document& global) {
  std::map<std::string, std::string> directories;
  struct Walker : pugi::xml_tree_walker {
    std::map<std::string, std::string>* found;
    bool for_each(pugi::xml_node& node) override {
      if (std::strcmp(node.name(), "CASE") != 0 ||
          std::strcmp(node.attribute("ID").value(), "Inventory") != 0) {
        return true;
      }
      for (pugi::xml_node list : node.children()) {
        for (pugi::xml_node entry : list.children("CASE")) {
          pugi::xml_node text = entry.find_child_by_attribute("TEXT", "NAME", "Directory");
          if (text)
            found->emplace(entry.attribute("NAME").value(), text.attribute("VALUE").value());
        }
      }
      return true;
    }
  } walker;
  walker.found = &directories;
  pugi::xml_node root = global;  // a handle: walking changes nothing
  root.traverse(walker);
  return directories;
}

std::string SourcesDirectoryIn(const std::map<std::string, std::string>& configured,
                               const std::string& type) {
  auto found = configured.find(type);
  std::string directory = found == configured.end() ? "" : found->second;
  if (directory.empty()) return "Sources/" + type;
  std::replace(directory.begin(), directory.end(), '\\', '/');
  return directory;
}

}  // namespace

std::string WorkspaceHost::SourcesDirectoryOf(const std::string& type) const {
  return SourcesDirectoryIn(ConfiguredDirectories(*global_options_->View()), type);
}

std::string WorkspaceHost::SchemaTypeName(const std::string& type) {
  for (const auto& known : repository_->ObjectTypes()) {
    if (EqualsIgnoreCase(known.code, type)) return known.code;
  }
  return type;
}

std::string WorkspaceHost::KnownType(const std::string& type) {
  std::string names;
  for (const auto& known : repository_->ObjectTypes()) {
    if (EqualsIgnoreCase(known.code, type)) return known.code;
    names += (names.empty() ? "" : ", ") + known.code;
  }
  throw WorkspaceError(
      error_number::kSubscriptOutOfRange,
      fmt::format("no object type '{}' in the workspace '{}' (its types: {})", type, root_, names));
}

std::shared_ptr<host::RepositoryObject> WorkspaceHost::KnownObject(const std::string& id) {
  try {
    return repository_->ObjectById(id);
  } catch (const Error& e) {
    if (e.number() != error_number::kSubscriptOutOfRange) throw;
  }
  throw WorkspaceError(error_number::kSubscriptOutOfRange,
                       fmt::format("no object has the id '{}' in the workspace '{}'", id, root_));
}

std::vector<std::string> WorkspaceHost::ProtectedPaths() {
  std::vector<std::string> paths = {kWorkspaceDatabaseFile,
                                    std::string(kWorkspaceDatabaseFile) + "-journal",
                                    std::string(kWorkspaceDatabaseFile) + "-wal",
                                    std::string(kWorkspaceDatabaseFile) + "-shm",
                                    std::string(kWorkspaceDatabaseFile) + "-writers",
                                    "options/",
                                    std::string(kCodePageFolder) + "/",
                                    ".svreg/",
                                    "Sources"};
  const auto configured = ConfiguredDirectories(*global_options_->View());
  for (const auto& type : repository_->ObjectTypes()) {
    paths.push_back(SourcesDirectoryIn(configured, type.code));
  }
  return paths;
}

std::string WorkspaceHost::GetSolvaneName(int code) {
  switch (code) {
    case host::kWorkspaceRootDirectory:
      return root_;
    case host::kCodePageTableDirectory:
      return CodePageDirectory();
    default:
      throw WorkspaceError(error_number::kInvalidProcedureCall,
                           fmt::format("GetSolvaneName: no directory has the code {}", code));
  }
}

// The tables the default options name for the EBCDIC encodings, so that one can be chosen at
// once: US English (037) and Japanese with double-byte runs (930), built from ICU's converters.
//
// ICU's converters treat the shift bytes as state changes and map no character to them. These
// tables map 0x0E and 0x0F to U+000E and U+000F, so that a registered copy keeps its shift-out
// and shift-in bytes around double-byte runs.
void WorkspaceHost::SaveDefaultCodePageTables() {
  for (const char* name : {"ibm-37", "ibm-930"}) {
    CCSID table;
    FillFromIcu(table, name);
    for (std::uint8_t shift : {std::uint8_t{0x0E}, std::uint8_t{0x0F}}) {
      table.MapUnmappedSingleByte(shift, shift);
    }
    table.Save((fs::path(CodePageDirectory()) / (std::string(name) + ".tbl")).string());
  }
}

void WorkspaceHost::Connect(std::shared_ptr<Database> database) {
  RegisterWorkspaceClasses();
  repository_ = WorkspaceRepository::Make(database);
  log_ = RepositoryLog::Make(std::move(database));
}

std::shared_ptr<host::Repository> WorkspaceHost::Repository() { return repository_; }

std::shared_ptr<host::WorkspaceLog> WorkspaceHost::Log() { return log_; }

}  // namespace svregistration::workspace
