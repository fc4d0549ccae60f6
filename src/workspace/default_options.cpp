// The default options documents of a new workspace.
#include "workspace/default_options.h"

#include <fmt/core.h>

#include <array>
#include <string_view>

namespace svregistration::workspace {

namespace {

struct TypeDefaults {
  std::string_view name;
  bool numeration;
  bool remove_lead_numeration;
  std::string_view extensions[3];
};

constexpr std::array<TypeDefaults, 5> kTypes = {{
    {"COBOL", true, false, {".cbl", ".cob", ""}},
    {"COPYBOOK", true, false, {".cpy", "", ""}},
    {"JCL", false, false, {".jcl", "", ""}},
    {"PLI", true, false, {".pli", ".pl1", ""}},
    {"BMS", true, false, {".bms", "", ""}},
}};

std::string_view Bool(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string DefaultWorkspaceOptions() {
  std::string types;
  for (const TypeDefaults& type : kTypes) {
    std::string extensions;
    for (std::string_view extension : type.extensions) {
      if (!extension.empty())
        extensions += fmt::format("          <STRING VALUE=\"{}\"/>\n", extension);
    }
    types += fmt::format(
        "      <CASE NAME=\"{}\">\n"
        "        <BOOL NAME=\"Numeration\" VALUE=\"{}\"/>\n"
        "        <BOOL NAME=\"RemoveLeadNumeration\" VALUE=\"{}\"/>\n"
        "        <STRINGS NAME=\"Extensions\">\n{}        </STRINGS>\n"
        "      </CASE>\n",
        type.name, Bool(type.numeration), Bool(type.remove_lead_numeration), extensions);
  }
  return fmt::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<OPTIONS>\n"
      "  <CASE ID=\"Registration\">\n"
      "    <BOOL ID=\"ExpandTabs\" VALUE=\"false\"/>\n"
      "    <BOOL ID=\"RemoveNumeration\" VALUE=\"false\"/>\n"
      "    <LIST NAME=\"Extension\" VALUE=\"COBOL\">\n{}    </LIST>\n"
      "  </CASE>\n"
      "  <CASE ID=\"Encoding\">\n"
      "    <FILE NAME=\"DefSourceDir\" VALUE=\"\"/>\n"
      "    <LIST ID=\"LegacySourcesEncoding\" VALUE=\"ASCII\">\n"
      "      <CASE NAME=\"ASCII\"/>\n"
      "      <CASE NAME=\"EBCDIC\"/>\n"
      "      <LIST NAME=\"SOSI\" VALUE=\"Retained\">\n"
      "        <CASE NAME=\"Retained\"/>\n"
      "        <CASE NAME=\"Removed\"/>\n"
      "        <CASE NAME=\"Replaced\"/>\n"
      "      </LIST>\n"
      "    </LIST>\n"
      "    <LIST NAME=\"ObjectComputerEncoding\" VALUE=\"English\">\n"
      "      <CASE NAME=\"English\">\n"
      "        <TEXT NAME=\"EncodingTable\" VALUE=\"\"/>\n"
      "        <TEXT NAME=\"SourceLocale\" VALUE=\"1033\"/>\n"
      "        <TEXT NAME=\"RegisteredLocale\" VALUE=\"1033\"/>\n"
      "      </CASE>\n"
      "      <CASE NAME=\"Japanese\">\n"
      "        <TEXT NAME=\"EncodingTable\" VALUE=\"\"/>\n"
      "        <TEXT NAME=\"SourceLocale\" VALUE=\"1041\"/>\n"
      "        <TEXT NAME=\"RegisteredLocale\" VALUE=\"1041\"/>\n"
      "      </CASE>\n"
      "      <CASE NAME=\"Japanese EBCDIC 930\">\n"
      "        <TEXT NAME=\"EncodingTable\" VALUE=\"ibm-930.tbl\"/>\n"
      "        <BOOL NAME=\"DBCS\" VALUE=\"true\"/>\n"
      "        <TEXT NAME=\"RegisteredLocale\" VALUE=\"1041\"/>\n"
      "      </CASE>\n"
      "      <CASE NAME=\"US EBCDIC 037\">\n"
      "        <TEXT NAME=\"EncodingTable\" VALUE=\"ibm-37.tbl\"/>\n"
      "        <BOOL NAME=\"DBCS\" VALUE=\"false\"/>\n"
      "        <TEXT NAME=\"RegisteredLocale\" VALUE=\"1033\"/>\n"
      "      </CASE>\n"
      "    </LIST>\n"
      "  </CASE>\n"
      "</OPTIONS>\n",
      types);
}

std::string DefaultGlobalOptions() {
  std::string types;
  for (const TypeDefaults& type : kTypes) {
    types += fmt::format(
        "      <CASE NAME=\"{}\">\n"
        "        <TEXT NAME=\"Directory\" VALUE=\"\"/>\n"
        "      </CASE>\n",
        type.name);
  }
  return fmt::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<OPTIONS>\n"
      "  <CASE ID=\"Inventory\">\n"
      "    <LIST NAME=\"Types\">\n{}    </LIST>\n"
      "  </CASE>\n"
      "</OPTIONS>\n",
      types);
}

}  // namespace svregistration::workspace
