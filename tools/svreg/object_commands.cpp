// svreg objects, types, folder, generated and log: looking at what a workspace holds and
// grouping its objects.
#include <fmt/core.h>

#include <optional>

#include "commands.h"
#include "output.h"
#include "svregistration/error.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

using svregistration::Error;
using svregistration::workspace::WorkspaceHost;

void AddListings(CLI::App& app) {
  auto objects_dir = std::make_shared<std::string>();
  auto objects_type = std::make_shared<std::string>();
  auto objects_json = std::make_shared<bool>(false);
  auto* objects = app.add_subcommand("objects", "List the objects of a workspace");
  objects->add_option("DIR", *objects_dir, "The workspace folder")->required();
  objects->add_option("--type", *objects_type, "Only objects of this type");
  objects->add_flag("--json", *objects_json, "Print the objects as JSON");
  objects->callback([=] {
    auto workspace = WorkspaceHost::Open(*objects_dir);
    auto list = workspace->workspace_repository()->ListObjects(
        objects_type->empty() ? std::nullopt
                              : std::optional<std::string>(workspace->KnownType(*objects_type)));
    if (*objects_json) {
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
  });

  auto types_dir = std::make_shared<std::string>();
  auto types_json = std::make_shared<bool>(false);
  auto* types = app.add_subcommand("types", "List the object types of a workspace");
  types->add_option("DIR", *types_dir, "The workspace folder")->required();
  types->add_flag("--json", *types_json, "Print the types as JSON");
  types->callback([=] {
    auto workspace = WorkspaceHost::Open(*types_dir);
    nlohmann::json items = nlohmann::json::array();
    std::vector<std::vector<std::string>> rows;
    for (const auto& t : workspace->workspace_repository()->ObjectTypes()) {
      items.push_back({{"code", t.code},
                       {"display_name", t.display_name},
                       {"source_attribute", t.source_attribute},
                       {"handler", t.handler}});
      rows.push_back({t.code, t.display_name, t.source_attribute, t.handler});
    }
    if (*types_json) {
      PrintJson({{"types", items}});
    } else {
      WriteStdout(FormatTable({"CODE", "DISPLAY NAME", "SOURCE ATTRIBUTE", "HANDLER"}, rows));
    }
  });

  auto log_dir = std::make_shared<std::string>();
  auto log_json = std::make_shared<bool>(false);
  auto* log = app.add_subcommand("log", "Show the workspace log");
  log->add_option("DIR", *log_dir, "The workspace folder")->required();
  log->add_flag("--json", *log_json, "Print the log as JSON");
  log->callback([=] {
    auto workspace = WorkspaceHost::Open(*log_dir);
    nlohmann::json items = nlohmann::json::array();
    std::vector<std::vector<std::string>> rows;
    for (const auto& r : workspace->repository_log()->Records()) {
      items.push_back({{"time", r.time},
                       {"title", r.title},
                       {"severity", r.severity},
                       {"object", r.object_id.value_or("")},
                       {"text", r.text}});
      rows.push_back({r.time,
                      r.severity == 2   ? "ERROR"
                      : r.severity == 1 ? "WARN"
                                        : "info",
                      r.title, r.object_id.value_or("-"), r.text});
    }
    if (*log_json) {
      PrintJson({{"log", items}});
    } else {
      WriteStdout(FormatTable({"TIME", "SEVERITY", "TITLE", "OBJECT", "TEXT"}, rows));
    }
  });
}

void AddFolderAndGenerated(CLI::App& app) {
  auto* folder = app.add_subcommand("folder", "Make folder objects and put objects into them");
  folder->require_subcommand(1);
  struct FolderArgs {
    std::string directory, name, folder_id;
    std::vector<std::string> ids;
    bool json = false;
  };
  auto args = std::make_shared<FolderArgs>();
  auto* create = folder->add_subcommand("create", "Make a folder object; prints its id");
  create->add_option("DIR", args->directory, "The workspace folder")->required();
  create->add_option("NAME", args->name, "The folder's name")->required();
  create->add_flag("--json", args->json, "Print the id as JSON");
  create->callback([args] {
    auto workspace = WorkspaceHost::Open(args->directory);
    std::string id = workspace->workspace_repository()->CreateFolder(args->name)->Id();
    if (args->json) {
      PrintJson({{"ok", true}, {"id", id}});
    } else {
      WriteStdout(id + "\n");
    }
  });
  auto* add = folder->add_subcommand("add", "Put objects into a folder (BelongsTo relations)");
  add->add_option("DIR", args->directory, "The workspace folder")->required();
  add->add_option("FOLDER_ID", args->folder_id, "The folder object's id")->required();
  add->add_option("ID", args->ids, "The objects' ids")->required();
  add->add_flag("--json", args->json, "Print the result as JSON");
  add->callback([args] {
    auto workspace = WorkspaceHost::Open(args->directory);
    workspace->KnownObject(args->folder_id);
    for (const std::string& id : args->ids) workspace->KnownObject(id);
    workspace->workspace_repository()->AddToFolder(args->folder_id, args->ids);
    if (args->json) {
      PrintJson({{"ok", true}, {"folder", args->folder_id}, {"added", args->ids}});
    } else {
      WriteStdout(fmt::format("{} object{} in the folder {}\n", args->ids.size(),
                              args->ids.size() == 1 ? "" : "s", args->folder_id));
    }
  });

  auto* generated = app.add_subcommand("generated", "Record generated file entries of an object");
  generated->require_subcommand(1);
  auto gen = std::make_shared<FolderArgs>();
  auto* generated_add = generated->add_subcommand(
      "add",
      "Record entries such as .out/x.lst (a file), :out/x.mf (a manifest), \\gen (a folder)");
  generated_add->add_option("DIR", gen->directory, "The workspace folder")->required();
  generated_add->add_option("ID", gen->folder_id, "The object's id")->required();
  generated_add->add_option("ENTRY", gen->ids, "File entries: a marker and a relative path")
      ->required();
  generated_add->add_flag("--json", gen->json, "Print the result as JSON");
  generated_add->callback([gen] {
    auto workspace = WorkspaceHost::Open(gen->directory);
    workspace->KnownObject(gen->folder_id);
    workspace->workspace_repository()->AddGeneratedEntries(gen->folder_id, gen->ids);
    auto entries = workspace->workspace_repository()->GeneratedEntries(gen->folder_id);
    if (gen->json) {
      PrintJson({{"ok", true}, {"id", gen->folder_id}, {"entries", entries}});
    } else {
      WriteStdout(fmt::format("{} has {} generated entr{}\n", gen->folder_id, entries.size(),
                              entries.size() == 1 ? "y" : "ies"));
    }
  });
}

}  // namespace

void AddObjectCommands(CLI::App& app, Context& /*context*/) {
  AddListings(app);
  AddFolderAndGenerated(app);
}

}  // namespace svreg
