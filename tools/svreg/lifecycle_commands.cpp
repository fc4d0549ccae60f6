// svreg unregister, invalidate and refresh: taking objects out of a workspace, discarding what was
// generated for them, and bringing registered copies up to date with their originals.
#include <fmt/core.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "commands.h"
#include "output.h"
#include "progress.h"
#include "svregistration/error.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/batch.h"
#include "svregistration/workspace/pending_work.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

namespace fs = std::filesystem;
using svregistration::workspace::Batch;
using svregistration::workspace::PendingWork;
using svregistration::workspace::WorkspaceHost;

struct IdArgs {
  std::string directory;
  std::vector<std::string> ids;
  std::string source;
  bool strong = false;
  bool json = false;
};

struct InterfaceScope {
  ~InterfaceScope() { svregistration::SetUserInterface(nullptr); }
};

// Whether some object of the workspace has the id (the repository answers 9 for any other).
bool ObjectExists(WorkspaceHost& workspace, const std::string& id) {
  try {
    workspace.repository()->ObjectById(id);
    return true;
  } catch (const svregistration::Error& e) {
    if (e.number() != svregistration::error_number::kSubscriptOutOfRange) throw;
    return false;
  }
}

// Ids that no object has are named on stderr and nothing is unregistered: a mistyped id in a
// group stops the whole group, as the repository's own group operation does. The repository's
// changes are committed only after their files were deleted: a run killed on the way leaves the
// objects recorded, and doing it again completes it.
void RunUnregister(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  svregistration::workspace::RecoverInterruptedWork(workspace);
  std::vector<std::string> missing;
  for (const std::string& id : args.ids) {
    if (ObjectExists(*workspace, id)) continue;
    fmt::print(stderr, "svreg: no object with the id '{}' exists in {}\n", id, args.directory);
    missing.push_back(id);
  }
  if (!missing.empty()) {
    if (args.json) {
      PrintJson({{"ok", false}, {"kept", nlohmann::json::array()}, {"missing", missing}});
    }
    context.exit_code = 1;
    return;
  }
  svregistration::SVStandard service;
  bool ok = false;
  std::vector<std::string> kept;
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
  if (args.json) {
    PrintJson({{"ok", ok}, {"kept", kept}});
  } else {
    for (const std::string& id : kept) WriteStdout("kept registered: " + id + "\n");
    if (!ok) WriteStdout("unregistration failed\n");
  }
  if (!ok) context.exit_code = 1;
}

void RunInvalidate(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  svregistration::workspace::RecoverInterruptedWork(workspace);
  svregistration::SVStandard service;
  bool ok;
  Batch batch(*workspace, true);
  if (args.ids.size() == 1) {
    ok = args.strong ? service.StrongInvalidate(workspace, args.ids[0])
                     : service.Invalidate(workspace, args.ids[0]);
  } else {
    svregistration::host::IdCollection ids = args.ids;
    ok = service.GroupStrongInvalidate(workspace, ids);
  }
  batch.End();
  if (args.json) {
    PrintJson({{"ok", ok}});
  } else if (!ok) {
    WriteStdout("invalidation failed\n");
  }
  if (!ok) context.exit_code = 1;
}

void RunRefresh(const IdArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  svregistration::workspace::RecoverInterruptedWork(workspace);
  const std::string& id = args.ids.at(0);
  long members = 1;
  auto object = workspace->repository()->ObjectById(id);
  if (auto cursor = object->Members(); cursor && object->ObjectType()->TypeCode() == "FOLDER") {
    members = cursor->Count();
  }
  auto records_before = workspace->log()->Records().size();

  InterfaceScope scope;
  ProgressInterface::Install("refresh");
  svregistration::SVStandard service;
  long copied = 0;
  int result;
  // A copy rewritten by a run killed before its invalidation was committed has its generated
  // files discarded by the next run (see PendingWork).
  PendingWork journal(workspace->root());
  journal.RecordRefresh(id);
  {
    Batch batch(*workspace);
    // OriginalSource is recorded as given: a relative path would mean nothing from elsewhere.
    std::string source =
        args.source.empty() ? "" : fs::absolute(args.source).lexically_normal().string();
    result = service.RefreshSource(workspace, id, copied, source);
    batch.End();
  }
  journal.Finished();

  // What the run logged, by text: each reported code or error once, with how often it came.
  std::map<std::string, long> reported;
  long problems = 0;
  auto records = workspace->log()->Records();
  for (std::size_t i = records_before; i < records.size(); ++i) {
    ++reported[records[i].text];
    ++problems;
  }
  if (args.json) {
    PrintJson({{"result", result}, {"copied", copied}});
  } else {
    std::string summary =
        fmt::format("refreshed {} object{}: {} copied, {} unchanged", members,
                    members == 1 ? "" : "s", copied, std::max(0L, members - copied - problems));
    for (const auto& [text, count] : reported) summary += fmt::format("\n  {} x {}", count, text);
    WriteStdout(summary + "\n");
  }
  if ((result & ~svregistration::rOK) != 0) context.exit_code = 1;
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
  refresh->add_flag("--json", refresh_args->json, "Print the result as JSON");
  refresh->callback([refresh_args, &context] { RunRefresh(*refresh_args, context); });
}

}  // namespace svreg
