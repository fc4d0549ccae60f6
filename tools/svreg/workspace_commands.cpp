// svreg init and svreg option: creating a workspace and reading or setting its options.
#include <fmt/core.h>

#include <algorithm>
#include <pugixml.hpp>

#include "commands.h"
#include "output.h"
#include "svregistration/error.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

using svregistration::Error;
using svregistration::workspace::WorkspaceHost;

struct OptionArgs {
  std::string directory;
  std::string action;
  std::string xpath;
  std::string value;
  bool global = false;
  bool json = false;
};

std::string Describe(const pugi::xml_node& node) {
  std::string text = "<" + std::string(node.name());
  for (const char* key : {"ID", "NAME"}) {
    if (node.attribute(key)) text += fmt::format(" {}=\"{}\"", key, node.attribute(key).value());
  }
  return text + ">";
}

// The one option element the XPath selects: an element with a VALUE, or one without children.
pugi::xml_node SelectOption(pugi::xml_document& document, const std::string& xpath,
                            const std::string& path) {
  pugi::xpath_node_set selected;
  try {
    selected = document.select_nodes(xpath.c_str());
  } catch (const pugi::xpath_exception& e) {
    throw Error(5, "svreg", fmt::format("the XPath \"{}\" is not valid: {}", xpath, e.what()));
  }
  if (selected.empty()) {
    throw Error(svregistration::error_number::kPathNotFound, "svreg",
                fmt::format("the XPath \"{}\" selects no element of '{}'", xpath, path));
  }
  if (selected.size() > 1) {
    throw Error(5, "svreg",
                fmt::format("the XPath \"{}\" selects {} elements of '{}' (the first is {}): "
                            "make it select one",
                            xpath, selected.size(), path,
                            Describe(selected.first().node() ? selected.first().node()
                                                             : selected.first().parent())));
  }
  pugi::xml_node node = selected.first().node();
  if (!node || node.type() != pugi::node_element) {
    throw Error(5, "svreg",
                fmt::format("the XPath \"{}\" selects no element but {}: select the element", xpath,
                            selected.first().attribute() ? "an attribute" : "text"));
  }
  if (!node.attribute("VALUE") && node.find_child([](const pugi::xml_node& child) {
        return child.type() == pugi::node_element;
      })) {
    throw Error(5, "svreg",
                fmt::format("the XPath \"{}\" selects {}, which holds other options: select "
                            "one of them",
                            xpath, Describe(node)));
  }
  return node;
}

// The choices of a LIST: its CASE children by name; the workspace's computer encoding is chosen
// from the global document's list when that has one.
std::vector<std::string> ListChoices(WorkspaceHost& workspace, const pugi::xml_node& list) {
  pugi::xml_node source = list;
  if (std::string(list.attribute("NAME").value()) == "ObjectComputerEncoding") {
    pugi::xml_node global = workspace.global_options()
                                ->View()
                                ->select_node("//LIST[@ID='ObjectComputerEncoding']")
                                .node();
    if (global) source = global;
  }
  std::vector<std::string> choices;
  for (const pugi::xml_node& entry : source.children("CASE")) {
    choices.emplace_back(entry.attribute("NAME").value());
  }
  return choices;
}

// A BOOL takes true or false, a LIST one of its choices; anything else is refused unchanged.
void CheckValue(WorkspaceHost& workspace, const pugi::xml_node& element, const std::string& value) {
  std::string kind = element.name();
  if (kind == "BOOL" && value != "true" && value != "false") {
    throw Error(5, "svreg",
                fmt::format("{} takes true or false, not '{}'", Describe(element), value));
  }
  if (kind != "LIST") return;
  std::vector<std::string> choices = ListChoices(workspace, element);
  if (choices.empty() || std::find(choices.begin(), choices.end(), value) != choices.end()) return;
  std::string names;
  for (const std::string& choice : choices) names += (names.empty() ? "" : ", ") + choice;
  throw Error(5, "svreg",
              fmt::format("{} takes one of {}, not '{}'", Describe(element), names, value));
}

void RunOption(const OptionArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  auto options = args.global ? workspace->global_options() : workspace->workspace_options();
  pugi::xml_node element = SelectOption(*options->Document(), args.xpath, options->path());
  if (args.action == "set") {
    CheckValue(*workspace, element, args.value);
    if (!element.attribute("VALUE")) element.append_attribute("VALUE");
    element.attribute("VALUE").set_value(args.value.c_str());
    options->Save();
  } else if (!args.value.empty()) {
    throw Error(5, "svreg", "option get takes no VALUE");
  }
  std::string value = element.attribute("VALUE").value();
  if (args.json) {
    PrintJson({{"ok", true}, {"value", value}});
  } else if (args.action == "get") {
    WriteStdout(value + "\n");
  } else {
    WriteStdout(fmt::format("{} set to '{}' in {}\n", Describe(element), value, options->path()));
  }
  context.exit_code = 0;
}

}  // namespace

void AddWorkspaceCommands(CLI::App& app, Context& context) {
  auto* init = app.add_subcommand("init", "Create a workspace in DIR");
  auto init_dir = std::make_shared<std::string>();
  auto init_json = std::make_shared<bool>(false);
  auto init_repository = std::make_shared<std::string>();
  init->add_option("DIR", *init_dir, "The workspace folder (created when missing)")->required();
  init->add_option("--repository", *init_repository,
                   "Keep the repository in this PostgreSQL database: a libpq URI "
                   "(postgresql://host/db), keyword=value pairs or a service name; no password "
                   "(use ~/.pgpass, PGPASSWORD or a service file)");
  init->add_flag("--json", *init_json, "Print the result as JSON");
  init->callback([init_dir, init_json, init_repository] {
    auto workspace = WorkspaceHost::Create(*init_dir, *init_repository);
    if (*init_json) {
      PrintJson({{"ok", true}, {"workspace", workspace->root()}});
    } else {
      WriteStdout(fmt::format("created workspace {}\n", workspace->root()));
    }
  });

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

}  // namespace svreg
