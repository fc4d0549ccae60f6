// svreg help: the help of a command with its examples, a suggestion for a mistyped command, and
// the man page and bash completion generated from the same help.
#include <fmt/core.h>

#include <algorithm>
#include <map>

#include "commands.h"
#include "output.h"

namespace svreg {

namespace {

// Examples and what the results mean, shown at the end of each command's --help.
const std::map<std::string, std::string>& Footers() {
  static const std::map<std::string, std::string> footers = {
      {"init",
       "Example:\n  svreg init ws\n  svreg init ws --repository "
       "'postgresql:///svreg?host=/run/pg'"},
      {"register",
       "Examples:\n  svreg register ws ~/app              # each file's type by its extension\n"
       "  svreg register ws --type COBOL src   # only what COBOL lists; named files as COBOL\n"
       "Each file is registered, unchanged or changed (registered before from the same file),\n"
       "name_taken (another original holds the copy's name), refused (the copy is removed) or\n"
       "failed; files no type lists are skipped. Exit 1 when a file failed."},
      {"objects",
       "Example:\n  svreg objects ws --type COBOL\nColumns: id, type, name, copy, original."},
      {"types", "Example:\n  svreg types ws"},
      {"log", "Example:\n  svreg log ws --json"},
      {"unregister",
       "Example:\n  svreg unregister ws COBOL:3 JCL:4\nDeletes the copies and generated files; the "
       "workspace's last folder stays registered."},
      {"invalidate", "Example:\n  svreg invalidate ws COBOL:3\nDeletes what was generated."},
      {"refresh",
       "Examples:\n  svreg refresh ws COBOL:3\n  svreg refresh ws FOLDER:7 --force\nEach object is "
       "copied, unchanged, settings_changed (left alone: its copy would now be made with other "
       "settings; --force rewrites it) or failed, named with its original and the reason."},
      {"status",
       "Example:\n  svreg status ws\nStates: modified, original_missing, original_unknown, "
       "copy_missing, settings_changed, unreadable, untracked. Exit 0 when all is up to date."},
      {"diff", "Example:\n  svreg diff ws COBOL:3\nExit 1 when the copy differs."},
      {"clean", "Example:\n  svreg clean ws && svreg clean ws --force"},
      {"option",
       "Examples:\n  svreg option ws get \"//BOOL[@ID='ExpandTabs']\"\n  svreg option ws set "
       "\"//LIST[@ID='LegacySourcesEncoding']\" EBCDIC\nA BOOL takes true or false, a LIST one of "
       "its choices."},
      {"source copy",
       "Example:\n  svreg source copy ws --type COBOL PAY.cbl /tmp/PAY.ws.cbl\nWrites what "
       "registering with --encoding would copy; never onto the source itself."},
      {"source read",
       "Example:\n  svreg source read ws --type COBOL PAY.cbl | less\nThe bytes are the copy's: in "
       "the registered locale's code page."},
      {"codepage import",
       "Example:\n  svreg codepage import ibm-1047.ucm ws/codepages/ibm-1047.tbl --ccsid 1047\n"
       "The file must be a character map with a CHARMAP section."},
      {"codepage from-icu", "Example:\n  svreg codepage from-icu ibm-930 ws/codepages/ibm-930.tbl"},
      {"codepage decode",
       "Example:\n  svreg codepage decode ws/codepages/ibm-37.tbl records.dat --sosi Removed"},
      {"codepage encode",
       "Example:\n  svreg codepage encode ws/codepages/ibm-37.tbl text.txt > records.dat"},
      {"folder create", "Example:\n  svreg folder create ws PAYROLL\nPrints the folder's id."},
      {"folder add", "Example:\n  svreg folder add ws FOLDER:6 COBOL:3 COPYBOOK:4"},
      {"generated add",
       "Example:\n  svreg generated add ws COBOL:3 '.out\\PAY.lst' ':out\\PAY.mf' '\\gen'\n"
       "A marker and a path relative to the workspace: . a file, : a manifest, \\ a folder."},
      {"zip", "Example:\n  svreg zip app.zip out '*.cbl'"},
      {"rar", "Example:\n  svreg rar app.rar out --password secret"},
  };
  return footers;
}

std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::vector<std::string> NamesOf(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* sub : app.get_subcommands({})) names.push_back(sub->get_name());
  return names;
}

// "'regster' is not a svreg command; did you mean register?"
std::string NotACommand(const CLI::App& parent, const std::string& word, const std::string& path) {
  std::string best;
  std::size_t best_distance = 3;
  for (const std::string& name : NamesOf(parent)) {
    std::size_t distance = name.rfind(word, 0) == 0 ? 1 : Distance(word, name);
    if (distance < best_distance) {
      best_distance = distance;
      best = name;
    }
  }
  std::string text = fmt::format("'{}' is not a {} command", word, path);
  return best.empty() ? text + " (svreg help lists them)" : text + "; did you mean " + best + "?";
}

// The chain of commands the words name, from the application down; words that name none stop it.
std::vector<CLI::App*> CommandPath(CLI::App& app, const std::vector<std::string>& words,
                                   std::string* unknown) {
  std::vector<CLI::App*> path{&app};
  std::string name = "svreg";
  for (const std::string& word : words) {
    if (path.back()->get_subcommands({}).empty()) break;
    CLI::App* next = nullptr;
    for (CLI::App* sub : path.back()->get_subcommands({})) {
      if (sub->get_name() == word) next = sub;
    }
    if (next == nullptr) {
      if (unknown) *unknown = NotACommand(*path.back(), word, name);
      break;
    }
    name += " " + word;
    path.push_back(next);
  }
  return path;
}

// The application's own help (its help() shows the command being run: help itself).
std::string MainHelp(CLI::App& app) {
  return app.get_formatter()->make_help(&app, "svreg", CLI::AppFormatMode::Normal);
}

// Roff for the man page: the main help, then each command's.
std::string ManPage(CLI::App& app) {
  auto escape = [](std::string text) {
    std::string out;
    for (char c : text) {
      if (c == '\\') {
        out += "\\e";
      } else {
        out += c;
      }
    }
    // A line that starts with a dot or quote would be a request.
    std::string lines;
    std::size_t start = 0;
    while (start <= out.size()) {
      std::size_t end = out.find('\n', start);
      if (end == std::string::npos) end = out.size();
      std::string line = out.substr(start, end - start);
      if (!line.empty() && (line[0] == '.' || line[0] == '\'')) line = "\\&" + line;
      lines += line + "\n";
      start = end + 1;
    }
    return lines;
  };
  std::string page =
      ".TH SVREG 1\n.SH NAME\nsvreg \\- register legacy mainframe sources into a workspace\n"
      ".SH SYNOPSIS\n.B svreg\n\\fICOMMAND\\fR [\\fIOPTIONS\\fR]\n.SH DESCRIPTION\n.nf\n" +
      escape(MainHelp(app)) + ".fi\n.SH COMMANDS\n";
  std::function<void(CLI::App&, const std::string&)> add = [&](CLI::App& command,
                                                               const std::string& name) {
    for (CLI::App* sub : command.get_subcommands({})) {
      std::string full = name + " " + sub->get_name();
      page += ".SS " + full + "\n.nf\n" + escape(sub->help(name)) + ".fi\n";
      add(*sub, full);
    }
  };
  add(app, "svreg");
  return page +
         ".SH EXIT STATUS\n0 success, 1 an operation reported failure, 2 bad usage or an "
         "error.\n";
}

// A bash completion script: commands, their subcommands and options.
std::string Completion(CLI::App& app) {
  std::string cases;
  std::function<void(CLI::App&, const std::string&)> add = [&](CLI::App& command,
                                                               const std::string& key) {
    std::string words;
    for (CLI::App* sub : command.get_subcommands({})) words += sub->get_name() + " ";
    for (const CLI::Option* option : command.get_options()) {
      for (const std::string& name : option->get_lnames()) words += "--" + name + " ";
    }
    cases += fmt::format("    \"{}\") words=\"{}\" ;;\n", key, words);
    for (CLI::App* sub : command.get_subcommands({})) {
      add(*sub, key.empty() ? sub->get_name() : key + " " + sub->get_name());
    }
  };
  add(app, "");
  return "# bash completion for svreg, generated by svreg help --completion\n"
         "_svreg() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} key=\"\" words i\n"
         "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "    case \"${COMP_WORDS[i]}\" in -*) ;; *) case \"$key\" in \"\") "
         "key=${COMP_WORDS[i]} ;; *) key=\"$key ${COMP_WORDS[i]}\" ;; esac ;; esac\n"
         "  done\n"
         "  while :; do\n"
         "    case \"$key\" in\n" +
         cases +
         "    *) key=${key% *}; [[ $key == *\" \"* || -n $key ]] || { key=\"\"; continue; }; "
         "continue ;;\n"
         "    esac\n"
         "    break\n"
         "  done\n"
         "  [[ $cur == -* || -n $words ]] && COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
         "  [[ ${#COMPREPLY[@]} -eq 0 ]] && COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "}\n"
         "complete -F _svreg svreg\n";
}

}  // namespace

std::string MainFooter() {
  return "Run 'svreg help COMMAND' (or svreg COMMAND --help) for a command's options and "
         "examples.\n"
         "Exit status: 0 success, 1 an operation reported failure, 2 bad usage or an error.";
}

std::optional<std::string> UnknownCommand(CLI::App& app, int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc && argv[i][0] != '-'; ++i) words.emplace_back(argv[i]);
  if (words.empty() || words[0] == "help") return std::nullopt;
  std::string unknown;
  CommandPath(app, words, &unknown);
  return unknown.empty() ? std::nullopt : std::optional<std::string>(unknown);
}

void AddHelpCommand(CLI::App& app) {
  for (const auto& [name, footer] : Footers()) {
    std::vector<std::string> words;
    for (std::size_t start = 0; start < name.size();) {
      std::size_t end = std::min(name.find(' ', start), name.size());
      words.push_back(name.substr(start, end - start));
      start = end + 1;
    }
    std::vector<CLI::App*> path = CommandPath(app, words, nullptr);
    if (path.size() == words.size() + 1) path.back()->footer(footer);
  }
  struct HelpArgs {
    std::vector<std::string> words;
    bool man = false;
    bool completion = false;
    bool json = false;
  };
  auto args = std::make_shared<HelpArgs>();
  auto* help = app.add_subcommand("help", "Show the help of svreg or of a command");
  help->add_option("COMMAND", args->words, "The command (and subcommand)");
  help->add_flag("--man", args->man, "Print the man page (roff)");
  help->add_flag("--completion", args->completion, "Print the bash completion script");
  help->add_flag("--json", args->json, "Errors as JSON (the help itself is text)");
  help->callback([args, &app] {
    if (args->man) return WriteStdout(ManPage(app));
    if (args->completion) return WriteStdout(Completion(app));
    std::string unknown;
    std::vector<CLI::App*> path = CommandPath(app, args->words, &unknown);
    if (!unknown.empty()) throw CLI::ValidationError("help", unknown);
    if (path.size() == 1) return WriteStdout(MainHelp(app));
    std::string parent = "svreg";
    for (std::size_t i = 1; i + 1 < path.size(); ++i) parent += " " + path[i]->get_name();
    WriteStdout(path.back()->help(parent));
  });
}

}  // namespace svreg
