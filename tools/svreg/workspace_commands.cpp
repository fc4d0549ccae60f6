// svreg init and svreg option: creating a workspace and reading or setting its options.
#include <fmt/core.h>

#include <memory>
#include <pugixml.hpp>

#include "commands.h"
#include "output.h"
#include "svregistration/error.h"
#include "svregistration/workspace/option_values.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

using svregistration::Error;
namespace error_number = svregistration::error_number;
using svregistration::workspace::DescribeOption;
using svregistration::workspace::SelectOption;
using svregistration::workspace::SetOptionValue;
using svregistration::workspace::WorkspaceHost;

struct OptionArgs {
  std::string directory;
  std::string action;
  std::string xpath;
  std::string value;
  bool global = false;
  bool json = false;
};

// The option mistakes (an XPath that selects no single option, a value the option does not take)
// are told as svreg's own, the way every command tells a mistake in its arguments.
template <class Step>
auto AsArgumentMistake(Step&& step) {
  try {
    return step();
  } catch (const Error& e) {
    throw Error(e.number(), "svreg", e.description());
  }
}

void RunOption(const OptionArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  auto options = args.global ? workspace->global_options() : workspace->workspace_options();
  pugi::xml_node element = AsArgumentMistake([&] { return SelectOption(*options, args.xpath); });
  if (args.action == "set") {
    AsArgumentMistake([&] { SetOptionValue(element, args.value, *workspace->global_options()); });
    options->Save();
  } else if (!args.value.empty()) {
    throw Error(error_number::kInvalidProcedureCall, "svreg", "option get takes no VALUE");
  }
  std::string value = element.attribute("VALUE").value();
  if (args.json) {
    PrintJson({{"ok", true}, {"value", value}});
  } else if (args.action == "get") {
    WriteStdout(value + "\n");
  } else {
    WriteStdout(
        fmt::format("{} set to '{}' in {}\n", DescribeOption(element), value, options->path()));
  }
  context.exit_code = 0;
}

struct InitArgs {
  std::string directory;
  std::string repository;
  bool json = false;
};

void RunInit(const InitArgs& args) {
  auto workspace = WorkspaceHost::Create(args.directory, args.repository);
  if (args.json) {
    PrintJson({{"ok", true}, {"workspace", workspace->root()}});
  } else {
    WriteStdout(fmt::format("created workspace {}\n", workspace->root()));
  }
}

void AddInit(CLI::App& app) {
  auto args = std::make_shared<InitArgs>();
  auto* init = app.add_subcommand("init", "Create a workspace in DIR");
  init->add_option("DIR", args->directory, "The workspace folder (created when missing)")
      ->required();
  init->add_option("--repository", args->repository,
                   "Keep the repository in this PostgreSQL database: a libpq URI "
                   "(postgresql://host/db), keyword=value pairs or a service name; no password "
                   "(use ~/.pgpass, PGPASSWORD or a service file)");
  init->add_flag("--json", args->json, "Print the result as JSON");
  init->callback([args] { RunInit(*args); });
}

void AddOption(CLI::App& app, Context& context) {
  auto args = std::make_shared<OptionArgs>();
  auto* option = app.add_subcommand(
      "option", "Read or set the VALUE of the element an XPath selects in an options document");
  option->add_option("DIR", args->directory, "The workspace folder")->required();
  option->add_option("ACTION", args->action, "get or set")
      ->required()
      ->check(CLI::IsMember({"get", "set"}));
  option
      ->add_option("XPATH", args->xpath,
                   "Selects the option element, e.g. //BOOL[@ID='ExpandTabs']")
      ->required();
  option->add_option("VALUE", args->value, "The new value (set)");
  option->add_flag("--global", args->global, "Use the global options document");
  option->add_flag("--json", args->json, "Print the result as JSON");
  option->callback([args, &context] { RunOption(*args, context); });
}

}  // namespace

void AddWorkspaceCommands(CLI::App& app, Context& context) {
  AddInit(app);
  AddOption(app, context);
}

}  // namespace svreg
