// svreg unregister, invalidate and refresh: taking objects out of a workspace, discarding what was
// generated for them, and bringing registered copies up to date with their originals.
#include <fmt/core.h>

#include <algorithm>
#include <filesystem>

#include "commands.h"
#include "output.h"
#include "progress.h"
#include "svregistration/error.h"
#include "svregistration/results.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/batch.h"
#include "svregistration/workspace/refresh_run.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

namespace fs = std::filesystem;
using svregistration::workspace::Batch;
using svregistration::workspace::RefreshOutcome;
using svregistration::workspace::WorkspaceHost;

struct IdArgs {
  std::string directory;
  std::vector<std::string> ids;
  std::string source;
  bool strong = false;
  bool force = false;
  bool json = false;
};

struct InterfaceScope {
  ~InterfaceScope() { svregistration::SetUserInterface(nullptr); }
};

// The registered copy of each object, relative to the workspace folder ("" for none).
std::vector<std::string> CopiesOf(WorkspaceHost& workspace, const std::vector<std::string>& ids) {
  std::vector<std::string> copies;
  for (const std::string& id : ids) {
    auto object = workspace.KnownObject(id);  // an unknown id stops the command before any change
    std::string attribute = object->ObjectType()->SourceAttribute();
    copies.push_back(attribute.empty() ? "" : object->GetAttribute(attribute));
  }
  return copies;
}

// The repository's changes are committed only after their files were deleted: a run killed on
// the way leaves the objects recorded, and doing it again completes it.
void RunUnregister(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  svregistration::workspace::RecoverInterruptedWork(workspace);
  std::vector<std::string> copies = CopiesOf(*workspace, args.ids);
  svregistration::SVStandard service;
  bool ok = false;
  std::vector<std::string> kept;
  {
    Batch batch(*workspace, true);
    if (args.ids.size() == 1) {
      ok = service.Unregister(workspace, args.ids[0]);
      if (!ok) kept = args.ids;
    } else {
      svregistration::host::IdCollection ids = args.ids;
      ok = service.GroupUnregister(workspace, ids);
      for (const std::string& id : args.ids) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) kept.push_back(id);
      }
    }
    batch.End();
  }
  std::vector<std::string> unregistered, removed;
  for (std::size_t i = 0; i < args.ids.size(); ++i) {
    if (std::find(kept.begin(), kept.end(), args.ids[i]) != kept.end()) continue;
    unregistered.push_back(args.ids[i]);
    std::error_code ec;
    if (!copies[i].empty() &&
        !fs::exists(fs::symlink_status(fs::path(workspace->root()) / copies[i], ec))) {
      removed.push_back(copies[i]);
    }
  }
  // A folder is kept when it is the workspace's last; anything else kept failed.
  const std::string why = "the workspace's last folder stays registered";
  if (args.json) {
    PrintJson({{"ok", ok},
               {"unregistered", unregistered},
               {"removed", removed},
               {"kept", kept},
               {"reason", kept.empty() ? "" : why}});
  } else {
    std::string text = fmt::format("unregistered {} of {} object{}", unregistered.size(),
                                   args.ids.size(), args.ids.size() == 1 ? "" : "s");
    if (!removed.empty())
      text += fmt::format(", {} cop{} removed", removed.size(), removed.size() == 1 ? "y" : "ies");
    text += "\n";
    for (const std::string& id : kept) text += fmt::format("kept {}: {}\n", id, why);
    if (!ok && kept.empty()) text += "unregistration failed (svreg log " + args.directory + ")\n";
    WriteStdout(text);
  }
  if (!ok) context.exit_code = 1;
}

void RunInvalidate(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  svregistration::workspace::RecoverInterruptedWork(workspace);
  std::size_t entries = 0;
  for (const std::string& id : args.ids) {
    workspace->KnownObject(id);
    entries += workspace->repository()->GeneratedEntries(id).size();
  }
  svregistration::SVStandard service;
  bool ok;
  {
    Batch batch(*workspace, true);
    if (args.ids.size() == 1) {
      ok = args.strong ? service.StrongInvalidate(workspace, args.ids[0])
                       : service.Invalidate(workspace, args.ids[0]);
    } else {
      svregistration::host::IdCollection ids = args.ids;
      ok = service.GroupStrongInvalidate(workspace, ids);
    }
    batch.End();
  }
  if (args.json) {
    PrintJson({{"ok", ok},
               {"invalidated", ok ? args.ids : std::vector<std::string>()},
               {"generated_entries", ok ? entries : 0}});
  } else if (ok) {
    WriteStdout(fmt::format("invalidated {} object{}: {} generated entr{} discarded\n",
                            args.ids.size(), args.ids.size() == 1 ? "" : "s", entries,
                            entries == 1 ? "y" : "ies"));
  } else {
    WriteStdout("invalidation failed (svreg log " + args.directory + " says why)\n");
  }
  if (!ok) context.exit_code = 1;
}

void RunRefresh(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  svregistration::workspace::RefreshRun run(workspace);
  svregistration::workspace::RefreshReport report;
  {
    InterfaceScope scope;
    auto ui = ProgressInterface::Install("refresh");
    run.SetProgress([ui](long done, long total) { ui->ReportProgress("refresh", done, total); });
    report = run.Run({args.ids.at(0), args.source, args.force});
  }
  long unchanged = 0;
  nlohmann::json failed = nlohmann::json::array();
  std::string lines;
  for (const auto& object : report.objects) {
    if (object.outcome == RefreshOutcome::kUnchanged) ++unchanged;
    if (object.outcome != RefreshOutcome::kSettingsChanged &&
        object.outcome != RefreshOutcome::kFailed) {
      continue;
    }
    failed.push_back({{"id", object.id},
                      {"name", object.name},
                      {"original", object.original},
                      {"outcome", svregistration::workspace::RefreshOutcomeName(object.outcome)},
                      {"code", object.code},
                      {"reason", object.reason}});
    lines +=
        fmt::format("  {} ({}) from {}: {}\n", object.id, object.name,
                    object.original.empty() ? "(no original)" : object.original, object.reason);
  }
  const bool ok = (report.result & ~svregistration::rOK) == 0 && failed.empty();
  if (args.json) {
    PrintJson({{"ok", ok},
               {"result", report.result},
               {"copied", report.copied},
               {"unchanged", unchanged},
               {"failed", failed},
               {"stopped", report.stopped}});
  } else {
    std::size_t count = report.objects.size();
    WriteStdout(
        fmt::format("refreshed {} object{}: {} copied, {} unchanged, {} not refreshed{}\n{}", count,
                    count == 1 ? "" : "s", report.copied, unchanged, failed.size(),
                    report.stopped ? " (the run stopped early)" : "", lines));
  }
  if (!ok) context.exit_code = 1;
}

}  // namespace

void AddLifecycleCommands(CLI::App& app, Context& context) {
  auto unregister_args = std::make_shared<IdArgs>();
  auto* unregister = app.add_subcommand(
      "unregister", "Unregister objects and delete their files (one id, or a group)");
  unregister->add_option("DIR", unregister_args->directory, "The workspace folder")->required();
  unregister->add_option("ID", unregister_args->ids, "Object ids")->required();
  unregister->add_flag("--json", unregister_args->json, "Print the result as JSON");
  unregister->callback([unregister_args, &context] { RunUnregister(*unregister_args, context); });

  auto invalidate_args = std::make_shared<IdArgs>();
  auto* invalidate =
      app.add_subcommand("invalidate", "Invalidate objects and delete what was generated for them");
  invalidate->add_option("DIR", invalidate_args->directory, "The workspace folder")->required();
  invalidate->add_option("ID", invalidate_args->ids, "Object ids")->required();
  invalidate->add_flag("--strong", invalidate_args->strong, "Strong invalidation of one object");
  invalidate->add_flag("--json", invalidate_args->json, "Print the result as JSON");
  invalidate->callback([invalidate_args, &context] { RunInvalidate(*invalidate_args, context); });

  auto refresh_args = std::make_shared<IdArgs>();
  auto* refresh = app.add_subcommand(
      "refresh", "Bring an object's registered copy (or a folder's) up to date with its original");
  refresh->add_option("DIR", refresh_args->directory, "The workspace folder")->required();
  refresh->add_option("ID", refresh_args->ids, "The object or folder id")->required()->expected(1);
  refresh->add_option("--source", refresh_args->source, "The original to refresh from");
  refresh->add_flag("--force", refresh_args->force,
                    "Refresh also copies that would now be made with other settings");
  refresh->add_flag("--json", refresh_args->json, "Print the result as JSON");
  refresh->callback([refresh_args, &context] { RunRefresh(*refresh_args, context); });
}

}  // namespace svreg
