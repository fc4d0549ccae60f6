// svreg status, diff and clean: what a refresh would change and what the Sources folders hold
// that no object records, shown before anything is changed.
#include <fmt/core.h>
#include <unicode/ucnv.h>

#include <map>

#include "commands.h"
#include "output.h"
#include "svregistration/error.h"
#include "svregistration/workspace/copy_recipe.h"
#include "svregistration/workspace/copy_status.h"
#include "svregistration/workspace/workspace_host.h"
#include "unified_diff.h"

namespace svreg {

namespace {

using svregistration::workspace::CopyState;
using svregistration::workspace::WorkspaceHost;

struct StatusArgs {
  std::string directory;
  std::vector<std::string> ids;
  bool force = false;
  bool json = false;
};

void RunStatus(const StatusArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  auto statuses = svregistration::workspace::WorkspaceStatus(workspace, args.ids);
  nlohmann::json items = nlohmann::json::array();
  std::map<std::string, long> counts;  // by state
  std::string text;
  for (const auto& s : statuses) {
    const char* state = svregistration::workspace::CopyStateName(s.state);
    ++counts[state];
    if (s.state == CopyState::kUpToDate) continue;
    items.push_back({{"id", s.id},
                     {"name", s.name},
                     {"type", s.type},
                     {"source", s.source},
                     {"original", s.original},
                     {"state", state},
                     {"detail", s.detail}});
    text += fmt::format("{:<17} {}{}{}\n", state, s.id.empty() ? s.source : s.id + " " + s.source,
                        s.original.empty() ? "" : " <- " + s.original,
                        s.detail.empty() ? "" : ": " + s.detail);
  }
  const bool clean = items.empty();
  const long copies = static_cast<long>(statuses.size()) - counts["untracked"];
  std::string summary = fmt::format("{} cop{}", copies, copies == 1 ? "y" : "ies");
  for (const auto& [state, count] : counts) summary += fmt::format(", {} {}", count, state);
  if (args.json) {
    PrintJson({{"ok", clean}, {"changes", items}, {"summary", summary}});
  } else {
    WriteStdout(text + (clean ? "everything is up to date: " : "") + summary + "\n");
  }
  if (!clean) context.exit_code = 1;
}

// The copy's text as UTF-8: as it is when it is UTF-8 already, otherwise read in the ANSI code
// page of the registered locale.
std::string AsUtf8(const std::string& bytes, const std::string& locale) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* utf8 = ucnv_open("UTF-8", &status);
  ucnv_setToUCallBack(utf8, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  std::u16string check(bytes.size() + 1, u'\0');
  ucnv_toUChars(utf8, check.data(), static_cast<int32_t>(check.size()), bytes.data(),
                static_cast<int32_t>(bytes.size()), &status);
  ucnv_close(utf8);
  if (U_SUCCESS(status)) return bytes;
  static const std::map<std::string, const char*> kCodePages = {{"1041", "windows-31j"},
                                                                {"1042", "windows-949"},
                                                                {"2052", "windows-936"},
                                                                {"1028", "windows-950"}};
  auto found = kCodePages.find(locale);
  const char* from = found == kCodePages.end() ? "windows-1252" : found->second;
  std::string out(bytes.size() * 3 + 16, '\0');
  status = U_ZERO_ERROR;
  int32_t size = ucnv_convert("UTF-8", from, out.data(), static_cast<int32_t>(out.size()),
                              bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) return bytes;
  out.resize(static_cast<std::size_t>(size));
  return out;
}

void RunDiff(const StatusArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  const std::string& id = args.ids.at(0);
  auto object = workspace->KnownObject(id);
  auto texts = svregistration::workspace::ReadCopyAndForm(workspace, id);
  std::string locale;
  auto recipe = svregistration::workspace::CopyRecipe::Current(
      *workspace, object->ObjectType()->TypeCode(), true);
  for (const auto& [name, value] : recipe.settings) {
    if (name == "registered_locale") locale = value;
  }
  std::string source = object->GetAttribute(object->ObjectType()->SourceAttribute());
  std::string original = object->GetAttribute("OriginalSource");
  std::string diff = UnifiedDiff(AsUtf8(texts.copy, locale), AsUtf8(texts.form, locale),
                                 source + " (the copy)", original + " (its workspace form)");
  if (args.json) {
    PrintJson({{"ok", diff.empty()}, {"id", id}, {"diff", diff}});
  } else {
    WriteStdout(diff.empty() ? fmt::format("{}: the copy is up to date\n", id) : diff);
  }
  if (!diff.empty()) context.exit_code = 1;
}

void RunClean(const StatusArgs& args) {
  auto workspace = WorkspaceHost::Open(args.directory);
  std::vector<std::string> files = args.force
                                       ? svregistration::workspace::RemoveUntrackedFiles(workspace)
                                       : svregistration::workspace::UntrackedFiles(*workspace);
  if (args.json) {
    PrintJson({{"ok", true}, {args.force ? "removed" : "untracked", files}});
    return;
  }
  std::string text;
  for (const std::string& file : files)
    text += (args.force ? "removed " : "untracked ") + file + "\n";
  text +=
      args.force
          ? fmt::format("{} untracked file{} removed\n", files.size(), files.size() == 1 ? "" : "s")
          : fmt::format("{} untracked file{} (svreg clean --force deletes {})\n", files.size(),
                        files.size() == 1 ? "" : "s", files.size() == 1 ? "it" : "them");
  WriteStdout(text);
}

}  // namespace

void AddStatusCommands(CLI::App& app, Context& context) {
  auto status_args = std::make_shared<StatusArgs>();
  auto* status = app.add_subcommand(
      "status", "Show which copies a refresh would change, and untracked files in Sources");
  status->add_option("DIR", status_args->directory, "The workspace folder")->required();
  status->add_option("ID", status_args->ids, "Only these objects (a folder: its members)");
  status->add_flag("--json", status_args->json, "Print the states as JSON");
  status->callback([status_args, &context] { RunStatus(*status_args, context); });

  auto diff_args = std::make_shared<StatusArgs>();
  auto* diff = app.add_subcommand(
      "diff", "Show the unified difference between a copy and its original's workspace form");
  diff->add_option("DIR", diff_args->directory, "The workspace folder")->required();
  diff->add_option("ID", diff_args->ids, "The object")->required()->expected(1);
  diff->add_flag("--json", diff_args->json, "Print the difference as JSON");
  diff->callback([diff_args, &context] { RunDiff(*diff_args, context); });

  auto clean_args = std::make_shared<StatusArgs>();
  auto* clean = app.add_subcommand(
      "clean",
      "List the files in the Sources folders that no object records; --force deletes them");
  clean->add_option("DIR", clean_args->directory, "The workspace folder")->required();
  clean->add_flag("--force", clean_args->force, "Delete the untracked files");
  clean->add_flag("--json", clean_args->json, "Print the files as JSON");
  clean->callback([clean_args] { RunClean(*clean_args); });
}

}  // namespace svreg
