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

bool StillRegistered(WorkspaceHost& workspace, const std::string& id) {
  try {
    workspace.workspace_repository()->ObjectById(id);
    return true;
  } catch (const svregistration::Error& e) {
    if (e.number() != svregistration::error_number::kSubscriptOutOfRange) throw;
    return false;
  }
}

bool IsFolder(WorkspaceHost& workspace, const std::string& id) {
  return workspace.KnownObject(id)->ObjectType()->TypeCode() == "FOLDER";
}

// Why objects stayed registered: the last folder of a workspace always does; anything else was
// kept by the repository, whose reason the log holds.
std::string KeptReason(WorkspaceHost& workspace, const std::vector<std::string>& kept,
                       const std::string& directory) {
  for (const std::string& id : kept) {
    if (!IsFolder(workspace, id)) {
      return "the repository kept it (svreg log " + directory + " says why)";
    }
  }
  return "the workspace's last folder stays registered";
}

// What this run's deletions left, as the library logged it: one line per file or folder that
// was to go and stays ("Not deleted: '<path>': <why>").
std::vector<std::string> NotDeleted(WorkspaceHost& workspace, std::size_t logged_before) {
  std::vector<std::string> kept;
  const auto& written = workspace.repository_log()->Written();
  for (std::size_t i = logged_before; i < written.size(); ++i) {
    if (written[i].text.rfind("Not deleted: ", 0) == 0) kept.push_back(written[i].text);
  }
  return kept;
}

// The repository's changes are committed only after their files were deleted: a run killed on
// the way leaves the objects recorded, and doing it again completes it.
void RunUnregister(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  svregistration::workspace::RecoverInterruptedWork(workspace);
  std::vector<std::string> copies = CopiesOf(*workspace, args.ids);
  svregistration::SVStandard service;
  bool ok = false;
  const std::size_t logged = workspace->repository_log()->Written().size();
  {
    Batch batch(*workspace, true);
    if (args.ids.size() == 1) {
      ok = service.Unregister(workspace, args.ids[0]);
    } else {
      svregistration::host::IdCollection ids = args.ids;
      ok = service.GroupUnregister(workspace, ids);
    }
    batch.End();
  }
  // What the repository holds after the commit is what was kept: a group whose repository change
  // failed answers ok with nothing unregistered.
  std::vector<std::string> kept;
  for (const std::string& id : args.ids) {
    if (StillRegistered(*workspace, id)) kept.push_back(id);
  }
  const std::vector<std::string> not_deleted = NotDeleted(*workspace, logged);
  const bool only_last_folder = kept.size() == 1 && IsFolder(*workspace, kept[0]);
  if ((!kept.empty() && !only_last_folder) || !not_deleted.empty()) ok = false;
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
  // A folder is kept when it is the workspace's last; otherwise the log says why.
  const std::string why = KeptReason(*workspace, kept, args.directory);
  if (args.json) {
    PrintJson({{"ok", ok},
               {"unregistered", unregistered},
               {"removed", removed},
               {"kept", kept},
               {"reason", kept.empty() ? "" : why},
               {"not_deleted", not_deleted}});
  } else {
    std::string text = fmt::format("unregistered {} of {} object{}", unregistered.size(),
                                   args.ids.size(), args.ids.size() == 1 ? "" : "s");
    if (!removed.empty())
      text += fmt::format(", {} cop{} removed", removed.size(), removed.size() == 1 ? "y" : "ies");
    text += "\n";
    for (const std::string& id : kept) text += fmt::format("kept {}: {}\n", id, why);
    for (const std::string& line : not_deleted) text += line + "\n";
    if (!ok && kept.empty() && not_deleted.empty()) {
      text += "unregistration failed (svreg log " + args.directory + ")\n";
    }
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
    entries += workspace->workspace_repository()->GeneratedEntries(id).size();
  }
  svregistration::SVStandard service;
  bool ok;
  const std::size_t logged = workspace->repository_log()->Written().size();
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
  const std::vector<std::string> not_deleted = NotDeleted(*workspace, logged);
  const bool invalidated = ok;
  if (!not_deleted.empty()) ok = false;
  if (args.json) {
    PrintJson({{"ok", ok},
               {"invalidated", invalidated ? args.ids : std::vector<std::string>()},
               {"generated_entries", invalidated ? entries : 0},
               {"not_deleted", not_deleted}});
  } else {
    std::string text = invalidated
                           ? fmt::format("invalidated {} object{}: {} generated entr{} discarded\n",
                                         args.ids.size(), args.ids.size() == 1 ? "" : "s", entries,
                                         entries == 1 ? "y" : "ies")
                           : "invalidation failed (svreg log " + args.directory + " says why)\n";
    for (const std::string& line : not_deleted) text += line + "\n";
    WriteStdout(text);
  }
  if (!ok) context.exit_code = 1;
}

void RunRefresh(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  svregistration::workspace::RefreshRun run(workspace);
  svregistration::workspace::RefreshReport report;
  {
    ProgressBar bar("refresh");
    run.SetProgress([&bar](long done, long total) { bar.Update(done, total); });
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
