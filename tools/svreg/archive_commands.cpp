// svreg zip and svreg rar: ZIP.Extract and RAR.Extract from the command line. --password answers
// the password prompts in order (then every further prompt is answered empty); without it the
// prompts go to the terminal. What the classes do not answer, the extraction report tells: an
// archive that is missing or of another kind is an error (exit 2), and every member selected but
// not written is listed with its reason on stderr (exit 1).
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

/// Answers the input box with the given passwords in order, then empty; everything else goes to
/// the interface that was there before.
class PasswordAnswers final : public svregistration::UserInterface {
 public:
  PasswordAnswers(std::vector<std::string> answers, svregistration::UserInterface& fallback)
      : answers_(std::move(answers)), fallback_(fallback) {}

  void ShowMessage(const std::string& title, const std::string& text) override {
    fallback_.ShowMessage(title, text);
  }
  std::string AskText(const std::string& /*title*/, const std::string& /*prompt*/,
                      bool /*secret*/) override {
    return next_ < answers_.size() ? answers_[next_++] : std::string();
  }
  std::string BrowseForFolder(std::intptr_t owner_window, const std::string& title) override {
    return fallback_.BrowseForFolder(owner_window, title);
  }
  void ProcessPendingEvents() override { fallback_.ProcessPendingEvents(); }

 private:
  std::vector<std::string> answers_;
  std::size_t next_ = 0;
  svregistration::UserInterface& fallback_;
};

constexpr int kFileNotFound = 53;
constexpr int kInvalidFileFormat = 321;

/// Raises the error of an archive that could not be read at all.
void ThrowWhenUnreadable(const svregistration::ExtractionReport& report, const std::string& kind,
                         const std::string& archive) {
  using Archive = svregistration::ExtractionReport::Archive;
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

void AddExtractCommand(CLI::App& app, Context& context, const std::string& name,
                       const std::string& kind, const std::string& description,
                       bool (*extract)(const ExtractArguments&)) {
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
                    "print {\"ok\": true|false, \"not_extracted\": [{\"member\", \"reason\"}]}");
  command->callback([arguments, extract, kind, &context] {
    if (!arguments->passwords.empty()) {
      // The terminal interface, kept for the message box, lives as long as the thread.
      svregistration::SetUserInterface(std::make_shared<PasswordAnswers>(
          arguments->passwords, svregistration::CurrentUserInterface()));
    }
    const bool ok = extract(*arguments);
    svregistration::SetUserInterface(nullptr);
    const svregistration::ExtractionReport& report = svregistration::LastExtractionReport();
    ThrowWhenUnreadable(report, kind, arguments->archive);
    nlohmann::json not_extracted = nlohmann::json::array();
    for (const auto& member : report.not_extracted) {
      fmt::print(stderr, "svreg: not extracted: {}: {}\n", member.name, member.reason);
      not_extracted.push_back({{"member", member.name}, {"reason", member.reason}});
    }
    if (arguments->json) PrintJson({{"ok", ok}, {"not_extracted", not_extracted}});
    if (!ok || !report.not_extracted.empty()) context.exit_code = 1;
  });
}

}  // namespace

void AddArchiveCommands(CLI::App& app, Context& context) {
  AddExtractCommand(
      app, context, "zip", "zip",
      "extracts members of a zip archive (MEMBER: a name or a pattern with * ? [...])",
      [](const ExtractArguments& a) {
        return svregistration::ZIP().Extract(a.archive, a.output, a.member);
      });
  AddExtractCommand(app, context, "rar", "RAR",
                    "extracts members of a RAR archive (MEMBER: a prefix of the stored path, "
                    "letter case ignored)",
                    [](const ExtractArguments& a) {
                      return svregistration::RAR().Extract(a.archive, a.output, a.member);
                    });
}

}  // namespace svreg
