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
    auto list = workspace->repository()->ListObjects(
        objects_type->empty() ? std::nullopt : std::optional<std::string>(*objects_type));
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
    std::string text;
    for (const auto& o : list) {
      text += fmt::format("{:<14} {:<10} {:<24} {:<36} {}\n", o.id, o.type, o.name, o.source,
                          o.original);
    }
    WriteStdout(text);
  });

  auto types_dir = std::make_shared<std::string>();
  auto types_json = std::make_shared<bool>(false);
  auto* types = app.add_subcommand("types", "List the object types of a workspace");
  types->add_option("DIR", *types_dir, "The workspace folder")->required();
  types->add_flag("--json", *types_json, "Print the types as JSON");
  types->callback([=] {
    auto workspace = WorkspaceHost::Open(*types_dir);
    nlohmann::json items = nlohmann::json::array();
    std::string text;
    for (const auto& t : workspace->repository()->ObjectTypes()) {
      items.push_back({{"code", t.code},
                       {"display_name", t.display_name},
                       {"source_attribute", t.source_attribute},
                       {"handler", t.handler}});
      text += fmt::format("{:<10} {:<24} {:<8} {}\n", t.code, t.display_name, t.source_attribute,
                          t.handler);
    }
    if (*types_json) {
      PrintJson({{"types", items}});
    } else {
      WriteStdout(text);
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
    std::string text;
    for (const auto& r : workspace->log()->Records()) {
      items.push_back({{"time", r.time},
                       {"title", r.title},
                       {"severity", r.severity},
                       {"object", r.object_id.value_or("")},
                       {"text", r.text}});
      text += fmt::format("{} {:<5} {:<16} {:<14} {}\n", r.time,
                          r.severity == 2   ? "ERROR"
                          : r.severity == 1 ? "WARN"
                                            : "info",
                          r.title, r.object_id.value_or("-"), r.text);
    }
    if (*log_json) {
      PrintJson({{"log", items}});
    } else {
      WriteStdout(text);
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
    std::string id = workspace->repository()->CreateFolder(args->name)->Id();
    if (args->json) {
      PrintJson({{"id", id}});
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
    workspace->repository()->AddToFolder(args->folder_id, args->ids);
    if (args->json) PrintJson({{"ok", true}});
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
    workspace->repository()->AddGeneratedEntries(gen->folder_id, gen->ids);
    if (gen->json) PrintJson({{"ok", true}});
  });
}

}  // namespace

void AddObjectCommands(CLI::App& app, Context& context) {
  AddRegister(app, context);
  AddListings(app);
  AddFolderAndGenerated(app);
}

}  // namespace svreg
