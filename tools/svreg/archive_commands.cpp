// svreg zip and svreg rar: ZIP.Extract and RAR.Extract from the command line. --password answers
// the password prompts in order (then every further prompt is answered empty); without it the
// prompts go to the terminal, naming the archive and the member and saying when the last answer
// was wrong. An archive that is missing or of another kind is an error (exit 2); every member
// selected but not written is listed with its reason on stderr, and so is a pattern that selects
// nothing (exit 1). Each run ends with a summary.
#include <fmt/core.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "output.h"
#include "svregistration/error.h"
#include "svregistration/extraction_report.h"
#include "svregistration/rar.h"
#include "svregistration/user_interface.h"
#include "svregistration/zip.h"

namespace svreg {

namespace {

using svregistration::ExtractionReport;

/// Answers with the given passwords in order, then empty; without any, asks on the terminal.
class CommandLinePrompt final : public svregistration::PasswordPrompt {
 public:
  explicit CommandLinePrompt(std::vector<std::string> answers) : answers_(std::move(answers)) {}

  std::string Ask(const svregistration::PasswordRequest& request) override {
    if (!answers_.empty()) return next_ < answers_.size() ? answers_[next_++] : std::string();
    std::string question = request.member.empty()
                               ? "password for the member names of " + request.archive
                               : "password for " + request.member + " in " + request.archive;
    if (request.last_was_wrong) question += " (the last answer was wrong)";
    return svregistration::TerminalUserInterface()->AskText("svreg", question + ":", true);
  }

 private:
  std::vector<std::string> answers_;
  std::size_t next_ = 0;
};

constexpr int kFileNotFound = 53;
constexpr int kInvalidFileFormat = 321;

/// Raises the error of an archive that could not be read at all.
void ThrowWhenUnreadable(const ExtractionReport& report, const std::string& kind,
                         const std::string& archive) {
  using Archive = ExtractionReport::Archive;
  if (report.archive == Archive::kMissing) {
    throw svregistration::Error(kFileNotFound, "svreg", "no such archive: " + archive);
  }
  if (report.archive == Archive::kNotReadable) {
    throw svregistration::Error(kInvalidFileFormat, "svreg",
                                "not a " + kind + " archive: " + archive);
  }
}

struct ExtractArguments {
  std::string archive;
  std::string output;
  std::string member;
  std::vector<std::string> passwords;
  bool json = false;
};

using Extract = ExtractionReport (*)(const ExtractArguments&, svregistration::PasswordPrompt&);

/// The summary line, and whether the run is a failure.
std::pair<std::string, bool> Summarize(const ExtractionReport& report,
                                       const ExtractArguments& arguments) {
  if (!arguments.member.empty() && report.selected == 0 && report.result) {
    return {"nothing extracted: " + arguments.member + " selects no member of " + arguments.archive,
            true};
  }
  std::string summary =
      fmt::format("extracted {} of {} selected member{} into {}", report.extracted, report.selected,
                  report.selected == 1 ? "" : "s", arguments.output);
  if (!report.not_extracted.empty()) {
    summary += fmt::format("; {} not extracted", report.not_extracted.size());
  }
  if (!report.result) summary += "; stopped: no password was given";
  const bool failed =
      !report.result || !report.not_extracted.empty() || !report.unread_headers.empty();
  return {summary, failed};
}

void Print(const ExtractionReport& report, const ExtractArguments& arguments, Context& context) {
  const auto [summary, failed] = Summarize(report, arguments);
  nlohmann::json not_extracted = nlohmann::json::array();
  for (const auto& member : report.not_extracted) {
    fmt::print(stderr, "svreg: not extracted: {}: {}\n", member.name, member.reason);
    not_extracted.push_back({{"member", member.name}, {"reason", member.reason}});
  }
  if (!report.unread_headers.empty()) {
    fmt::print(stderr, "svreg: {}: {}\n", arguments.archive, report.unread_headers);
  }
  if (failed) context.exit_code = 1;
  if (arguments.json) {
    PrintJson({{"ok", !failed},
               {"extracted", report.extracted},
               {"selected", report.selected},
               {"not_extracted", not_extracted},
               {"unread_headers", report.unread_headers},
               {"summary", summary}});
  } else {
    fmt::print("{}\n", summary);
  }
}

void AddExtractCommand(CLI::App& app, Context& context, const std::string& name,
                       const std::string& kind, const std::string& description, Extract extract) {
  auto arguments = std::make_shared<ExtractArguments>();
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("ARCHIVE", arguments->archive, "the archive")->required();
  command->add_option("OUTDIR", arguments->output, "the folder to extract into")->required();
  command->add_option("MEMBER", arguments->member, "what to extract (everything when omitted)");
  command
      ->add_option("--password", arguments->passwords,
                   "answers a password prompt (repeat for later prompts)")
      ->allow_extra_args(false);
  command->add_flag("--json", arguments->json,
                    "print {\"ok\", \"extracted\", \"selected\", \"not_extracted\": [{\"member\", "
                    "\"reason\"}], \"unread_headers\", \"summary\"}");
  command->callback([arguments, extract, kind, &context] {
    CommandLinePrompt prompt(arguments->passwords);
    const ExtractionReport report = extract(*arguments, prompt);
    ThrowWhenUnreadable(report, kind, arguments->archive);
    Print(report, *arguments, context);
  });
}

}  // namespace

void AddArchiveCommands(CLI::App& app, Context& context) {
  AddExtractCommand(
      app, context, "zip", "zip",
      "extracts members of a zip archive (MEMBER: a name or a pattern with * ? [...])",
      [](const ExtractArguments& a, svregistration::PasswordPrompt& prompt) {
        return svregistration::ZIP().Extract(a.archive, a.output, a.member, prompt);
      });
  AddExtractCommand(app, context, "rar", "RAR",
                    "extracts members of a RAR archive (MEMBER: a prefix of the stored path, "
                    "letter case ignored)",
                    [](const ExtractArguments& a, svregistration::PasswordPrompt& prompt) {
                      return svregistration::RAR().Extract(a.archive, a.output, a.member, prompt);
                    });
}

}  // namespace svreg
