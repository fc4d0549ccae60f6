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
  std::string text = fmt::format("{} file{}", report.tried, report.tried == 1 ? "" : "s");
  const char* separator = ": ";
  for (std::size_t outcome = 0; outcome < report.outcome_counts.size(); ++outcome) {
    if (report.outcome_counts[outcome] == 0) continue;
    text += fmt::format("{}{} {}", separator, report.outcome_counts[outcome],
                        svregistration::workspace::OutcomeName(static_cast<FileOutcome>(outcome)));
    separator = ", ";
  }
  if (!report.skipped.empty()) text += "; " + SkippedSummary(report.skipped, type);
  return text;
}

// Prints each result as the run keeps it, so that a run of any size is printed in the same
// memory: JSON results as the elements of one array, lines for what needs a word.
class ResultPrinter {
 public:
  explicit ResultPrinter(const RegisterArgs& args) : args_(args) {}

  /// The bar a printed line must not run into.
  void SetBar(ProgressBar* bar) { bar_ = bar; }

  void Print(const FileResult& r) {
    if (args_.json) {
      WriteStdout((first_ ? "{\"results\":[" : ",") +
                  ResultJson(r).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
      first_ = false;
      return;
    }
    unexpected_ |= r.code == svregistration::rUnexpectedRegistrationError;
    const bool quiet =
        r.outcome == FileOutcome::kRegistered || r.outcome == FileOutcome::kUnchanged;
    if (quiet && !args_.verbose) return;
    std::string id = r.id.empty() ? "" : " " + r.id;
    if (bar_ != nullptr) bar_->Clear();
    WriteStdout(fmt::format("{:<11} {}{}{}\n", svregistration::workspace::OutcomeName(r.outcome),
                            r.file, id, r.reason.empty() ? "" : ": " + r.reason));
  }

  void Finish(const RegistrationReport& report, bool ok) {
    if (args_.json) {
      nlohmann::json rest = {{"ok", ok},
                             {"skipped", report.skipped},
                             {"summary", Summary(report, args_.request.type)}};
      std::string text = rest.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      // The object's other members after the array.
      WriteStdout((first_ ? "{\"results\":[" : "") + std::string("],") + text.substr(1) + "\n");
      return;
    }
    std::string text;
    if (args_.verbose) {
      for (const std::string& file : report.skipped)
        text += fmt::format("{:<11} {}\n", "skipped", file);
    }
    text += Summary(report, args_.request.type) + "\n";
    if (unexpected_)
      text += "(the workspace log tells what went wrong: svreg log " + args_.directory + ")\n";
    WriteStdout(text);
  }

 private:
  const RegisterArgs& args_;
  ProgressBar* bar_ = nullptr;
  bool first_ = true;
  bool unexpected_ = false;
};

void RunRegister(const RegisterArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  RegistrationRun run(workspace);
  RegistrationReport report;
  ResultPrinter printer(args);
  run.SetResultSink([&printer](const FileResult& r) { printer.Print(r); });
  {
    ProgressBar bar("register");
    if (bar.enabled()) {
      run.SetProgress([&bar](long done, long total) { bar.Update(done, total); });
      printer.SetBar(&bar);
    }
    // A refusal before any file (an unknown type) raises, and nothing is printed on stdout.
    report = run.Run(args.request);
  }
  printer.SetBar(nullptr);
  const bool failed = report.error.has_value() || report.AnyFailed();
  printer.Finish(report, !failed);
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
