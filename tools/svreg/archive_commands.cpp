// svreg zip and svreg rar: ZIP.Extract and RAR.Extract from the command line. --password answers
// the password prompts in order (then every further prompt is answered empty); without it the
// prompts go to the terminal.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "output.h"
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

struct ExtractArguments {
  std::string archive;
  std::string output;
  std::string member;
  std::vector<std::string> passwords;
  bool json = false;
};

void AddExtractCommand(CLI::App& app, Context& context, const std::string& name,
                       const std::string& description, bool (*extract)(const ExtractArguments&)) {
  auto arguments = std::make_shared<ExtractArguments>();
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("ARCHIVE", arguments->archive, "the archive")->required();
  command->add_option("OUTDIR", arguments->output, "the folder to extract into")->required();
  command->add_option("MEMBER", arguments->member, "what to extract (everything when omitted)");
  command
      ->add_option("--password", arguments->passwords,
                   "answers a password prompt (repeat for later prompts)")
      ->allow_extra_args(false);
  command->add_flag("--json", arguments->json, "print {\"ok\": true|false}");
  command->callback([arguments, extract, &context] {
    if (!arguments->passwords.empty()) {
      // The terminal interface, kept for the message box, lives as long as the thread.
      svregistration::SetUserInterface(std::make_shared<PasswordAnswers>(
          arguments->passwords, svregistration::CurrentUserInterface()));
    }
    const bool ok = extract(*arguments);
    svregistration::SetUserInterface(nullptr);
    if (arguments->json) PrintJson({{"ok", ok}});
    if (!ok) context.exit_code = 1;
  });
}

}  // namespace

void AddArchiveCommands(CLI::App& app, Context& context) {
  AddExtractCommand(
      app, context, "zip",
      "extracts members of a zip archive (MEMBER: a name or a pattern with * ? [...])",
      [](const ExtractArguments& a) {
        return svregistration::ZIP().Extract(a.archive, a.output, a.member);
      });
  AddExtractCommand(app, context, "rar",
                    "extracts members of a RAR archive (MEMBER: a prefix of the stored path, "
                    "letter case ignored)",
                    [](const ExtractArguments& a) {
                      return svregistration::RAR().Extract(a.archive, a.output, a.member);
                    });
}

}  // namespace svreg
