// The extension lists of the Registration page: //CASE[@ID='Registration'], its
// LIST[@NAME='Extension'], a CASE per type and in it STRINGS[@NAME='Extensions'] of STRING
// elements whose VALUE is an extension with its dot.
#include "workspace/extension_types.h"

#include <cstring>
#include <pugixml.hpp>

#include "svregistration/workspace/workspace_host.h"
#include "workspace/repository/names.h"

namespace svregistration::workspace {

namespace {

bool Is(const pugi::xml_node& node, const char* element, const char* attribute, const char* value) {
  return std::strcmp(node.name(), element) == 0 &&
         std::strcmp(node.attribute(attribute).value(), value) == 0;
}

pugi::xml_node FindDeep(const pugi::xml_node& parent, const char* element, const char* attribute,
                        const char* value) {
  for (const pugi::xml_node& child : parent.children()) {
    if (Is(child, element, attribute, value)) return child;
    if (pugi::xml_node found = FindDeep(child, element, attribute, value)) return found;
  }
  return {};
}

}  // namespace

ExtensionTypes ExtensionTypes::Read(WorkspaceHost& workspace) {
  ExtensionTypes types;
  std::vector<std::string> known;
  for (const auto& type : workspace.workspace_repository()->ObjectTypes()) {
    if (!type.source_attribute.empty()) known.push_back(type.code);
  }
  pugi::xml_node page =
      FindDeep(*workspace.workspace_options()->View(), "CASE", "ID", "Registration");
  pugi::xml_node list = FindDeep(page, "LIST", "NAME", "Extension");
  for (const pugi::xml_node& entry : list.children("CASE")) {
    std::string type;
    for (const std::string& code : known) {
      if (EqualsIgnoreCase(code, entry.attribute("NAME").value())) type = code;
    }
    if (type.empty()) continue;
    for (const pugi::xml_node& strings : entry.children("STRINGS")) {
      if (!Is(strings, "STRINGS", "NAME", "Extensions")) continue;
      for (const pugi::xml_node& string : strings.children("STRING")) {
        std::string extension = FoldCase(string.attribute("VALUE").value());
        if (!extension.empty()) types.extensions_.emplace_back(std::move(extension), type);
      }
    }
  }
  return types;
}

std::string ExtensionTypes::ExtensionOf(std::string_view file) {
  std::size_t slash = file.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? file : file.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? std::string() : FoldCase(name.substr(dot));
}

std::string ExtensionTypes::TypeOf(std::string_view file) const {
  std::string extension = ExtensionOf(file);
  if (extension.empty()) return "";
  for (const auto& [listed, type] : extensions_) {
    if (listed == extension) return type;
  }
  return "";
}

bool ExtensionTypes::Lists(std::string_view type, std::string_view file) const {
  std::string extension = ExtensionOf(file);
  for (const auto& [listed, listed_type] : extensions_) {
    if (listed == extension && EqualsIgnoreCase(listed_type, type)) return true;
  }
  return false;
}

}  // namespace svregistration::workspace
