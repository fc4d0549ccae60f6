// svreg objects, types, folder, generated and log: looking at what a workspace holds and
// grouping its objects.
#include <fmt/core.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "svregistration/error.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

using svregistration::Error;
using svregistration::workspace::WorkspaceHost;

struct ListArgs {
  std::string directory;
  std::string type;
  bool json = false;
};

void RunObjects(const ListArgs& args) {
  auto workspace = WorkspaceHost::Open(args.directory);
  auto list = workspace->workspace_repository()->ListObjects(
      args.type.empty() ? std::nullopt
                        : std::optional<std::string>(workspace->KnownType(args.type)));
  if (args.json) {
    nlohmann::json items = nlohmann::json::array();
    for (const auto& o : list) {
      items.push_back({{"id", o.id},
                       {"type", o.type},
                       {"name", o.name},
                       {"source", o.source},
                       {"original", o.original}});
    }
    PrintJson({{"objects", items}});
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const auto& o : list) rows.push_back({o.id, o.type, o.name, o.source, o.original});
  WriteStdout(FormatTable({"ID", "TYPE", "NAME", "COPY", "ORIGINAL"}, rows));
}

void RunTypes(const ListArgs& args) {
  auto workspace = WorkspaceHost::Open(args.directory);
  nlohmann::json items = nlohmann::json::array();
  std::vector<std::vector<std::string>> rows;
  for (const auto& t : workspace->workspace_repository()->ObjectTypes()) {
    items.push_back({{"code", t.code},
                     {"display_name", t.display_name},
                     {"source_attribute", t.source_attribute},
                     {"handler", t.handler}});
    rows.push_back({t.code, t.display_name, t.source_attribute, t.handler});
  }
  if (args.json) {
    PrintJson({{"types", items}});
  } else {
    WriteStdout(FormatTable({"CODE", "DISPLAY NAME", "SOURCE ATTRIBUTE", "HANDLER"}, rows));
  }
}

const char* SeverityName(int severity) {
  return severity == 2 ? "ERROR" : severity == 1 ? "WARN" : "info";
}

void RunLog(const ListArgs& args) {
  auto workspace = WorkspaceHost::Open(args.directory);
  nlohmann::json items = nlohmann::json::array();
  std::vector<std::vector<std::string>> rows;
  for (const auto& r : workspace->repository_log()->Records()) {
    items.push_back({{"time", r.time},
                     {"title", r.title},
                     {"severity", r.severity},
                     {"object", r.object_id.value_or("")},
                     {"text", r.text}});
    rows.push_back({r.time, SeverityName(r.severity), r.title, r.object_id.value_or("-"), r.text});
  }
  if (args.json) {
    PrintJson({{"log", items}});
  } else {
    WriteStdout(FormatTable({"TIME", "SEVERITY", "TITLE", "OBJECT", "TEXT"}, rows));
  }
}

struct Listing {
  const char* name;
  const char* description;
  const char* json_help;
  bool typed;  // takes --type
  void (*run)(const ListArgs&);
};

void AddListings(CLI::App& app) {
  static constexpr Listing kListings[] = {
      {"objects", "List the objects of a workspace", "Print the objects as JSON", true, RunObjects},
      {"types", "List the object types of a workspace", "Print the types as JSON", false, RunTypes},
      {"log", "Show the workspace log", "Print the log as JSON", false, RunLog}};
  for (const Listing& listing : kListings) {
    auto args = std::make_shared<ListArgs>();
    auto* command = app.add_subcommand(listing.name, listing.description);
    command->add_option("DIR", args->directory, "The workspace folder")->required();
    if (listing.typed) command->add_option("--type", args->type, "Only objects of this type");
    command->add_flag("--json", args->json, listing.json_help);
    command->callback([args, run = listing.run] { run(*args); });
  }
}

struct FolderArgs {
  std::string directory, name, folder_id;
  std::vector<std::string> ids;
  bool json = false;
};

void RunFolderCreate(const FolderArgs& args) {
  auto workspace = WorkspaceHost::Open(args.directory);
  std::string id = workspace->workspace_repository()->CreateFolder(args.name)->Id();
  if (args.json) {
    PrintJson({{"ok", true}, {"id", id}});
  } else {
    WriteStdout(id + "\n");
  }
}

void RunFolderAdd(const FolderArgs& args) {
  auto workspace = WorkspaceHost::Open(args.directory);
  workspace->KnownObject(args.folder_id);
  for (const std::string& id : args.ids) workspace->KnownObject(id);
  workspace->workspace_repository()->AddToFolder(args.folder_id, args.ids);
  if (args.json) {
    PrintJson({{"ok", true}, {"folder", args.folder_id}, {"added", args.ids}});
  } else {
    WriteStdout(fmt::format("{} object{} in the folder {}\n", args.ids.size(),
                            args.ids.size() == 1 ? "" : "s", args.folder_id));
  }
}

// folder_id holds the object's id, ids its entries.
void RunGeneratedAdd(const FolderArgs& args) {
  auto workspace = WorkspaceHost::Open(args.directory);
  workspace->KnownObject(args.folder_id);
  workspace->workspace_repository()->AddGeneratedEntries(args.folder_id, args.ids);
  auto entries = workspace->workspace_repository()->GeneratedEntries(args.folder_id);
  if (args.json) {
    PrintJson({{"ok", true}, {"id", args.folder_id}, {"entries", entries}});
  } else {
    WriteStdout(fmt::format("{} has {} generated entr{}\n", args.folder_id, entries.size(),
                            entries.size() == 1 ? "y" : "ies"));
  }
}

void AddFolder(CLI::App& app) {
  auto* folder = app.add_subcommand("folder", "Make folder objects and put objects into them");
  folder->require_subcommand(1);
  auto args = std::make_shared<FolderArgs>();
  auto* create = folder->add_subcommand("create", "Make a folder object; prints its id");
  create->add_option("DIR", args->directory, "The workspace folder")->required();
  create->add_option("NAME", args->name, "The folder's name")->required();
  create->add_flag("--json", args->json, "Print the id as JSON");
  create->callback([args] { RunFolderCreate(*args); });
  auto* add = folder->add_subcommand("add", "Put objects into a folder (BelongsTo relations)");
  add->add_option("DIR", args->directory, "The workspace folder")->required();
  add->add_option("FOLDER_ID", args->folder_id, "The folder object's id")->required();
  add->add_option("ID", args->ids, "The objects' ids")->required();
  add->add_flag("--json", args->json, "Print the result as JSON");
  add->callback([args] { RunFolderAdd(*args); });
}

void AddGenerated(CLI::App& app) {
  auto* generated = app.add_subcommand("generated", "Record generated file entries of an object");
  generated->require_subcommand(1);
  auto args = std::make_shared<FolderArgs>();
  auto* add = generated->add_subcommand(
      "add",
      "Record entries such as .out/x.lst (a file), :out/x.mf (a manifest), \\gen (a folder)");
  add->add_option("DIR", args->directory, "The workspace folder")->required();
  add->add_option("ID", args->folder_id, "The object's id")->required();
  add->add_option("ENTRY", args->ids, "File entries: a marker and a relative path")->required();
  add->add_flag("--json", args->json, "Print the result as JSON");
  add->callback([args] { RunGeneratedAdd(*args); });
}

}  // namespace

void AddObjectCommands(CLI::App& app, Context& /*context*/) {
  AddListings(app);
  AddFolder(app);
  AddGenerated(app);
}

}  // namespace svreg
