// Options by XPath: selecting the one option element, its choices, and checking a value before it
// is set.
#include "svregistration/workspace/option_values.h"

#include <fmt/format.h>

#include <algorithm>
#include <string_view>

#include "svregistration/error.h"
#include "workspace/error_source.h"

namespace svregistration::workspace {

namespace {

constexpr const char* kSource = kWorkspaceErrorSource;
using error_number::kInvalidProcedureCall;

bool HasChildElement(const pugi::xml_node& node) {
  return static_cast<bool>(node.find_child(
      [](const pugi::xml_node& child) { return child.type() == pugi::node_element; }));
}

pugi::xpath_node_set SelectNodes(OptionsDocument& options, const std::string& xpath) {
  try {
    return options.Document()->select_nodes(xpath.c_str());
  } catch (const pugi::xpath_exception& e) {
    throw Error(kInvalidProcedureCall, kSource,
                fmt::format("the XPath \"{}\" is not valid: {}", xpath, e.what()));
  }
}

}  // namespace

std::string DescribeOption(const pugi::xml_node& option) {
  std::string text = "<" + std::string(option.name());
  for (const char* key : {"ID", "NAME"}) {
    if (option.attribute(key))
      text += fmt::format(" {}=\"{}\"", key, option.attribute(key).value());
  }
  return text + ">";
}

pugi::xml_node SelectOption(OptionsDocument& options, const std::string& xpath) {
  const pugi::xpath_node_set selected = SelectNodes(options, xpath);
  if (selected.empty()) {
    throw Error(error_number::kPathNotFound, kSource,
                fmt::format("the XPath \"{}\" selects no element of '{}'", xpath, options.path()));
  }
  const pugi::xpath_node first = selected.first();
  if (selected.size() > 1) {
    throw Error(kInvalidProcedureCall, kSource,
                fmt::format("the XPath \"{}\" selects {} elements of '{}' (the first is {}): "
                            "make it select one",
                            xpath, selected.size(), options.path(),
                            DescribeOption(first.node() ? first.node() : first.parent())));
  }
  const pugi::xml_node node = first.node();
  if (!node || node.type() != pugi::node_element) {
    throw Error(kInvalidProcedureCall, kSource,
                fmt::format("the XPath \"{}\" selects no element but {}: select the element", xpath,
                            first.attribute() ? "an attribute" : "text"));
  }
  // A page or a group of options has no VALUE of its own: setting one would add a stray attribute.
  if (!node.attribute("VALUE") && HasChildElement(node)) {
    throw Error(kInvalidProcedureCall, kSource,
                fmt::format("the XPath \"{}\" selects {}, which holds other options: select "
                            "one of them",
                            xpath, DescribeOption(node)));
  }
  return node;
}

std::vector<std::string> OptionChoices(const pugi::xml_node& list, OptionsDocument& global) {
  pugi::xml_node source = list;
  // The workspace document repeats the computer encodings; the global one is where they are kept.
  if (std::string_view(list.attribute("NAME").value()) == "ObjectComputerEncoding") {
    const pugi::xml_node kept =
        global.View()->select_node("//LIST[@ID='ObjectComputerEncoding']").node();
    if (kept) source = kept;
  }
  std::vector<std::string> choices;
  for (const pugi::xml_node& entry : source.children("CASE")) {
    choices.emplace_back(entry.attribute("NAME").value());
  }
  return choices;
}

void SetOptionValue(pugi::xml_node option, const std::string& value, OptionsDocument& global) {
  const std::string_view kind = option.name();
  if (kind == "BOOL" && value != "true" && value != "false") {
    throw Error(kInvalidProcedureCall, kSource,
                fmt::format("{} takes true or false, not '{}'", DescribeOption(option), value));
  }
  if (kind == "LIST") {
    const std::vector<std::string> choices = OptionChoices(option, global);
    if (!choices.empty() && std::find(choices.begin(), choices.end(), value) == choices.end()) {
      throw Error(kInvalidProcedureCall, kSource,
                  fmt::format("{} takes one of {}, not '{}'", DescribeOption(option),
                              fmt::join(choices, ", "), value));
    }
  }
  if (!option.attribute("VALUE")) option.append_attribute("VALUE");
  option.attribute("VALUE").set_value(value.c_str());
}

}  // namespace svregistration::workspace
