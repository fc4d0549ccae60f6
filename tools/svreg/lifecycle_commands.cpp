// svreg unregister, invalidate and refresh: the host's lifecycle and refresh runs, with their
// reports printed as text or JSON.
#include <fmt/core.h>

#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "progress.h"
#include "svregistration/results.h"
#include "svregistration/user_interface.h"
#include "svregistration/workspace/lifecycle_run.h"
#include "svregistration/workspace/refresh_run.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

using svregistration::workspace::InvalidationReport;
using svregistration::workspace::KeptReason;
using svregistration::workspace::LifecycleRun;
using svregistration::workspace::ObjectRefresh;
using svregistration::workspace::RefreshOutcome;
using svregistration::workspace::RefreshOutcomeName;
using svregistration::workspace::RefreshReport;
using svregistration::workspace::RefreshRun;
using svregistration::workspace::UnregistrationReport;
using svregistration::workspace::WorkspaceHost;

struct IdArgs {
  std::string directory;
  std::vector<std::string> ids;
  std::string source;
  bool strong = false;
  bool force = false;
  bool json = false;
};

std::string KeptReasonText(KeptReason reason, const std::string& directory) {
  switch (reason) {
    case KeptReason::kNone:
      return "";
    case KeptReason::kLastFolder:
      return "the workspace's last folder stays registered";
    case KeptReason::kRepository:
      break;
  }
  return "the repository kept it (svreg log " + directory + " says why)";
}

std::string UnregistrationText(const UnregistrationReport& report, const std::string& directory) {
  const std::size_t asked = report.objects.size();
  const std::size_t removed = report.RemovedCopies().size();
  const std::vector<std::string> kept = report.Kept();
  std::string text = fmt::format("unregistered {} of {} object{}", report.Unregistered().size(),
                                 asked, asked == 1 ? "" : "s");
  if (removed != 0) text += fmt::format(", {} cop{} removed", removed, removed == 1 ? "y" : "ies");
  text += "\n";
  const std::string why = KeptReasonText(report.kept_reason, directory);
  for (const std::string& id : kept) text += fmt::format("kept {}: {}\n", id, why);
  for (const std::string& line : report.not_deleted) text += line + "\n";
  if (!report.ok && kept.empty() && report.not_deleted.empty()) {
    text += "unregistration failed (svreg log " + directory + ")\n";
  }
  return text;
}

void RunUnregister(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  const UnregistrationReport report = LifecycleRun(workspace).Unregister(args.ids);
  if (args.json) {
    PrintJson({{"ok", report.ok},
               {"unregistered", report.Unregistered()},
               {"removed", report.RemovedCopies()},
               {"kept", report.Kept()},
               {"reason", KeptReasonText(report.kept_reason, args.directory)},
               {"not_deleted", report.not_deleted}});
  } else {
    WriteStdout(UnregistrationText(report, args.directory));
  }
  if (!report.ok) context.exit_code = 1;
}

void RunInvalidate(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  const InvalidationReport report = LifecycleRun(workspace).Invalidate(args.ids, args.strong);
  const std::size_t entries = report.DiscardedEntries();
  if (args.json) {
    PrintJson({{"ok", report.ok()},
               {"invalidated", report.invalidated ? args.ids : std::vector<std::string>()},
               {"generated_entries", entries},
               {"not_deleted", report.not_deleted}});
  } else {
    const std::size_t count = args.ids.size();
    std::string text =
        report.invalidated
            ? fmt::format("invalidated {} object{}: {} generated entr{} discarded\n", count,
                          count == 1 ? "" : "s", entries, entries == 1 ? "y" : "ies")
            : "invalidation failed (svreg log " + args.directory + " says why)\n";
    for (const std::string& line : report.not_deleted) text += line + "\n";
    WriteStdout(text);
  }
  if (!report.ok()) context.exit_code = 1;
}

RefreshReport Refresh(const std::shared_ptr<WorkspaceHost>& workspace, const IdArgs& args) {
  RefreshRun run(workspace);
  ProgressBar bar("refresh");
  run.SetProgress([&bar](long done, long total) { bar.Update(done, total); });
  return run.Run({args.ids.at(0), args.source, args.force});
}

bool Refreshed(const ObjectRefresh& object) {
  return object.outcome != RefreshOutcome::kSettingsChanged &&
         object.outcome != RefreshOutcome::kFailed;
}

nlohmann::json NotRefreshedJson(const ObjectRefresh& object) {
  return {{"id", object.id},
          {"name", object.name},
          {"original", object.original},
          {"outcome", RefreshOutcomeName(object.outcome)},
          {"code", object.code},
          {"reason", object.reason}};
}

std::string NotRefreshedLine(const ObjectRefresh& object) {
  return fmt::format("  {} ({}) from {}: {}\n", object.id, object.name,
                     object.original.empty() ? "(no original)" : object.original, object.reason);
}

void RunRefresh(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  const RefreshReport report = Refresh(workspace, args);
  long unchanged = 0;
  nlohmann::json failed = nlohmann::json::array();
  std::string lines;
  for (const auto& object : report.objects) {
    if (object.outcome == RefreshOutcome::kUnchanged) ++unchanged;
    if (Refreshed(object)) continue;
    failed.push_back(NotRefreshedJson(object));
    lines += NotRefreshedLine(object);
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

void AddUnregister(CLI::App& app, Context& context) {
  auto args = std::make_shared<IdArgs>();
  auto* command = app.add_subcommand(
      "unregister", "Unregister objects and delete their files (one id, or a group)");
  command->add_option("DIR", args->directory, "The workspace folder")->required();
  command->add_option("ID", args->ids, "Object ids")->required();
  command->add_flag("--json", args->json, "Print the result as JSON");
  command->callback([args, &context] { RunUnregister(*args, context); });
}

void AddInvalidate(CLI::App& app, Context& context) {
  auto args = std::make_shared<IdArgs>();
  auto* command =
      app.add_subcommand("invalidate", "Invalidate objects and delete what was generated for them");
  command->add_option("DIR", args->directory, "The workspace folder")->required();
  command->add_option("ID", args->ids, "Object ids")->required();
  command->add_flag("--strong", args->strong, "Strong invalidation of one object");
  command->add_flag("--json", args->json, "Print the result as JSON");
  command->callback([args, &context] { RunInvalidate(*args, context); });
}

void AddRefresh(CLI::App& app, Context& context) {
  auto args = std::make_shared<IdArgs>();
  auto* command = app.add_subcommand(
      "refresh", "Bring an object's registered copy (or a folder's) up to date with its original");
  command->add_option("DIR", args->directory, "The workspace folder")->required();
  command->add_option("ID", args->ids, "The object or folder id")->required()->expected(1);
  command->add_option("--source", args->source, "The original to refresh from");
  command->add_flag("--force", args->force,
                    "Refresh also copies that would now be made with other settings");
  command->add_flag("--json", args->json, "Print the result as JSON");
  command->callback([args, &context] { RunRefresh(*args, context); });
}

}  // namespace

void AddLifecycleCommands(CLI::App& app, Context& context) {
  AddUnregister(app, context);
  AddInvalidate(app, context);
  AddRefresh(app, context);
}

}  // namespace svreg
