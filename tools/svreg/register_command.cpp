// svreg register: registers files and folders through the host's registration run and prints
// what each file came to.
#include <fmt/core.h>

#include <map>
#include <set>

#include "commands.h"
#include "output.h"
#include "progress.h"
#include "svregistration/results.h"
#include "svregistration/workspace/registration_run.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

using svregistration::workspace::FileOutcome;
using svregistration::workspace::FileResult;
using svregistration::workspace::RegistrationReport;
using svregistration::workspace::RegistrationRequest;
using svregistration::workspace::RegistrationRun;
using svregistration::workspace::WorkspaceHost;

struct RegisterArgs {
  std::string directory;
  RegistrationRequest request;
  bool verbose = false;
  bool json = false;
};

nlohmann::json ResultJson(const FileResult& r) {
  nlohmann::json item = {{"file", r.file},
                         {"type", r.type},
                         {"name", r.name},
                         {"code", r.code},
                         {"result", svregistration::ResultName(r.code)},
                         {"outcome", svregistration::workspace::OutcomeName(r.outcome)},
                         {"id", svregistration::workspace::IsSuccess(r.outcome) ? r.id : ""},
                         {"reason", r.reason}};
  if (r.outcome == FileOutcome::kNameTaken) {
    item["holder"] = r.id;
    item["holder_original"] = r.original;
  }
  return item;
}

// "41 skipped: no type lists .md, .png, .txt"
std::string SkippedSummary(const std::vector<std::string>& skipped, const std::string& type) {
  std::set<std::string> extensions;
  for (const std::string& file : skipped) {
    std::string name = std::filesystem::path(file).filename().string();
    std::size_t dot = name.rfind('.');
    extensions.insert(dot == std::string::npos || dot == 0 ? "(no extension)" : name.substr(dot));
  }
  std::string list;
  for (const std::string& extension : extensions) list += (list.empty() ? "" : ", ") + extension;
  return fmt::format("{} skipped: {} {}", skipped.size(),
                     type.empty() ? "no type lists" : type + " lists no", list);
}

std::string Summary(const RegistrationReport& report, const std::string& type) {
  std::map<FileOutcome, long> counts;
  for (const FileResult& r : report.results) ++counts[r.outcome];
  std::string text =
      fmt::format("{} file{}", report.results.size(), report.results.size() == 1 ? "" : "s");
  const char* separator = ": ";
  for (const auto& [outcome, count] : counts) {
    text +=
        fmt::format("{}{} {}", separator, count, svregistration::workspace::OutcomeName(outcome));
    separator = ", ";
  }
  if (!report.skipped.empty()) text += "; " + SkippedSummary(report.skipped, type);
  return text;
}

void PrintReport(const RegisterArgs& args, const RegistrationReport& report, bool ok) {
  if (args.json) {
    nlohmann::json results = nlohmann::json::array();
    for (const FileResult& r : report.results) results.push_back(ResultJson(r));
    PrintJson({{"ok", ok},
               {"results", results},
               {"skipped", report.skipped},
               {"summary", Summary(report, args.request.type)}});
    return;
  }
  std::string text;
  bool unexpected = false;
  for (const FileResult& r : report.results) {
    unexpected |= r.code == svregistration::rUnexpectedRegistrationError;
    const bool quiet =
        r.outcome == FileOutcome::kRegistered || r.outcome == FileOutcome::kUnchanged;
    if (quiet && !args.verbose) continue;
    std::string id = r.id.empty() ? "" : " " + r.id;
    text += fmt::format("{:<11} {}{}{}\n", svregistration::workspace::OutcomeName(r.outcome),
                        r.file, id, r.reason.empty() ? "" : ": " + r.reason);
  }
  if (args.verbose) {
    for (const std::string& file : report.skipped)
      text += fmt::format("{:<11} {}\n", "skipped", file);
  }
  text += Summary(report, args.request.type) + "\n";
  if (unexpected)
    text += "(the workspace log tells what went wrong: svreg log " + args.directory + ")\n";
  WriteStdout(text);
}

void RunRegister(const RegisterArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  RegistrationRun run(workspace);
  RegistrationReport report;
  {
    ProgressBar bar("register");
    if (bar.enabled()) run.SetProgress([&bar](long done, long total) { bar.Update(done, total); });
    report = run.Run(args.request);
  }
  const bool failed = report.error.has_value() || report.AnyFailed();
  PrintReport(args, report, !failed);
  if (report.error) throw *report.error;
  if (failed) context.exit_code = 1;
}

}  // namespace

void AddRegister(CLI::App& app, Context& context) {
  auto args = std::make_shared<RegisterArgs>();
  auto* command = app.add_subcommand(
      "register", "Register files (folders are walked recursively, in name order) as objects");
  command->add_option("DIR", args->directory, "The workspace folder")->required();
  command->add_option("--type", args->request.type,
                      "The object type (COBOL, COPYBOOK, JCL, PLI, BMS...); default: the type "
                      "whose extension list holds the file's extension");
  command->add_flag(
      "--encoding", args->request.with_encoding,
      "Normalise the copy (tabs, sequence numbers, SO/SI, EBCDIC) as the options say");
  command->add_option("--name", args->request.name,
                      "The object name (one file only; default: file name)");
  command->add_option("PATH", args->request.paths, "Files or folders to register")->required();
  command->add_flag("-v,--verbose", args->verbose,
                    "List every file, not only those not registered");
  command->add_flag("--json", args->json, "Print the results as JSON");
  command->callback([args, &context] { RunRegister(*args, context); });
}

}  // namespace svreg
